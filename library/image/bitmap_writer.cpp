#include "image/bitmap_writer.h"

#include <cstdio>
#include <memory>

namespace {

void Put16(unsigned char* at, unsigned value)
{
    at[0] = value & 0xFF;
    at[1] = (value >> 8) & 0xFF;
}

void Put32(unsigned char* at, unsigned value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

} // namespace

bool CVelvix_BitmapWriter::SaveBitmapImage(const char* path)
{
    if (!IsValidObject() || !path)
        return false;
    int size = 0;
    std::unique_ptr<unsigned char[]> pixels(Create24BitDWORDAlignedBuffer(size));
    if (!pixels)
        return false;

    // 14-byte file header, 40-byte info header and one empty colour slot:
    // the pixel data starts at 58.
    unsigned char header[58] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, 58u + unsigned(size));
    Put32(header + 10, 58);
    Put32(header + 14, 40);
    Put32(header + 18, unsigned(GetWidth()));
    Put32(header + 22, unsigned(GetHeight()));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 38, 1);
    Put32(header + 42, 1);

    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
                   std::fwrite(pixels.get(), 1, std::size_t(size), file) == std::size_t(size);
    written = std::fflush(file) == 0 && written;
    return std::fclose(file) == 0 && written;
}
