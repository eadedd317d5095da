#include "twain/twain.h"

#include <cstring>
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

} // namespace

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
