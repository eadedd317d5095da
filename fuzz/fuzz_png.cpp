// The PNG decoder on arbitrary bytes.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzCodec(VxDecodePng, data, size);
}
