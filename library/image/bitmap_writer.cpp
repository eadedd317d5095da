#include "image/bitmap_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

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
    FILE* file = std::fopen(path, "wbe");
    if (!file)
        return false;
    bool written = WriteBitmapFile(file);
    written = std::fflush(file) == 0 && written;
    return std::fclose(file) == 0 && written;
}

bool CVelvix_BitmapWriter::WriteBitmapFile(std::FILE* file)
{
    if (!IsValidObject() || !file)
        return false;
    const int width = GetWidth(), height = GetHeight();
    const int padding = width & 3;
    const std::size_t rowBytes = std::size_t(width) * 3 + padding;
    const std::size_t size = rowBytes * std::size_t(height);

    // 14-byte file header, 40-byte info header and one empty colour slot:
    // the pixel data starts at 58.
    unsigned char header[58] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, unsigned(58 + size));
    Put32(header + 10, 58);
    Put32(header + 14, 40);
    Put32(header + 18, unsigned(width));
    Put32(header + 22, unsigned(height));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 38, 1);
    Put32(header + 42, 1);

    // The pixel block is the one Create24BitDWORDAlignedBuffer makes, packed
    // and written in slices of about 1 MB: no picture-sized block to
    // allocate, and each slice is still in the cache when it is written.
    const std::size_t sliceRows = std::max<std::size_t>(1, (std::size_t(1) << 20) / rowBytes);
    std::unique_ptr<unsigned char[]> slice(new (std::nothrow) unsigned char[sliceRows * rowBytes]);
    if (!slice)
        return false;
    bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    VxPixel* pixels = GetImageData();
    for (std::size_t first = 0; written && first < std::size_t(height); first += sliceRows) {
        const std::size_t rows = std::min(sliceRows, std::size_t(height) - first);
        for (std::size_t r = 0; r < rows; ++r) {
            const VxPixel* row = pixels + (first + r) * std::size_t(width);
            unsigned char* out = slice.get() + r * rowBytes;
            int x = 0;
            // Four bytes at a time; the fourth is overwritten by the next pixel.
            for (; x + 1 < width; ++x, out += 3)
                std::memcpy(out, &row[x], 4);
            out[0] = row[x] & 0xFF;
            out[1] = (row[x] >> 8) & 0xFF;
            out[2] = (row[x] >> 16) & 0xFF;
            std::memset(out + 3, 0, padding);
        }
        written = std::fwrite(slice.get(), 1, rows * rowBytes, file) == rows * rowBytes;
    }
    return written;
}
