#include "twain/twain.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

struct ChannelSums {
    double red = 0, green = 0, blue = 0;

    void Add(VxPixel p)
    {
        red += (p >> 16) & 0xFF;
        green += (p >> 8) & 0xFF;
        blue += p & 0xFF;
    }
    bool IsBackground(int length, int tolerance) const
    {
        return red / length < tolerance && green / length < tolerance && blue / length < tolerance;
    }
};

std::uint32_t Read32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

} // namespace

bool CVelvix_Twain::ReadPackedBitmap(const void* block, CVelvix_PixelInterface& image)
{
    const auto* header = static_cast<const std::uint8_t*>(block);
    const auto width = std::int32_t(Read32(header + 4));
    const auto height = std::int32_t(Read32(header + 8));
    const int bits = header[14] | header[15] << 8;
    const std::uint32_t used = Read32(header + 32);
    if (Read32(header) < 40 || Read32(header + 16) != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24) ||
        !VxSizeAllowed(width, height))
        return false;
    // A short colour table is as long as the colours-used field says.
    const std::uint32_t colours = bits == 24 ? 0 : (used && used < (1u << bits) ? used : 1u << bits);
    const std::uint8_t* palette = header + 40;
    const std::uint8_t* rows = palette + 4 * colours;
    const std::size_t rowBytes = (std::size_t(width) * bits + 31) / 32 * 4;
    if (!image.RawCreateImage(height, width))
        throw std::bad_alloc();
    VxPixel* out = image.GetImageData();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rows + rowBytes * std::size_t(y);
        for (int x = 0; x < width; ++x, ++out) {
            if (bits == 24) {
                *out = VxPixel(row[3 * x + 2]) << 16 | VxPixel(row[3 * x + 1]) << 8 | row[3 * x];
                continue;
            }
            const unsigned index = bits == 8   ? row[x]
                                   : bits == 4 ? (row[x >> 1] >> (x & 1 ? 0 : 4)) & 0x0F
                                               : (row[x >> 3] >> (7 - (x & 7))) & 1;
            // An index past a short table reads its first colour.
            const std::uint8_t* entry = palette + 4 * (index < colours ? index : 0);
            *out = VxPixel(entry[2]) << 16 | VxPixel(entry[1]) << 8 | entry[0];
        }
    }
    return true;
}

bool CVelvix_Twain::AutoCropForScannedImage(int tolerance)
{
    if (!IsValidObject())
        return false;
    const int width = GetWidth(), height = GetHeight();
    const VxPixel* pixels = GetImageData();

    auto rowIsBackground = [&](int y) {
        ChannelSums sums;
        for (int x = 0; x < width; ++x)
            sums.Add(pixels[std::size_t(y) * width + x]);
        return sums.IsBackground(width, tolerance);
    };
    // Columns are averaged over every row, whatever the row scans removed.
    std::vector<ChannelSums> columns(width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            columns[x].Add(pixels[std::size_t(y) * width + x]);

    int left = 0, top = 0, right = width, bottom = height;  // display coordinates
    for (int y = 0; y < height - 2 && rowIsBackground(y); ++y)
        --bottom;
    for (int y = height - 1; y > 2 && rowIsBackground(y); --y)
        ++top;
    for (int x = 0; x < width - 2 && columns[x].IsBackground(height, tolerance); ++x)
        ++left;
    for (int x = width - 1; x > 2 && columns[x].IsBackground(height, tolerance); --x)
        --right;
    if (right <= left || bottom <= top)
        return false;
    if (left == 0 && top == 0 && right == width && bottom == height)
        return true;

    // Keep display rows top..bottom-1, i.e. buffer rows height-bottom..height-top-1.
    const int newWidth = right - left, newHeight = bottom - top;
    std::vector<VxPixel> kept(std::size_t(newWidth) * newHeight);
    for (int y = 0; y < newHeight; ++y)
        std::memcpy(&kept[std::size_t(y) * newWidth], pixels + std::size_t(height - bottom + y) * width + left,
                    std::size_t(newWidth) * sizeof(VxPixel));
    if (!RawCreateImage(newHeight, newWidth))
        return false;
    std::memcpy(GetImageData(), kept.data(), kept.size() * sizeof(VxPixel));
    return true;
}
