// The bitmap reader on arbitrary bytes.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CVelvix image;
    if (image.ReadBitmapMemory(data, size))
        TouchPixels(image);
    return 0;
}
