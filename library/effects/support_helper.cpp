#include "effects/support_helper.h"

#include <cstring>
#include <new>

bool CVelvix_SupportHelper::COPY_DATA()
{
    DELETE_DATA();
    const std::size_t pixels = std::size_t(GetWidth()) * std::size_t(GetHeight());
    m_pOldData = new (std::nothrow) VxPixel[pixels];
    if (!m_pOldData)
        return false;
    std::memcpy(m_pOldData, GetImageData(), pixels * sizeof(VxPixel));
    return true;
}

void CVelvix_SupportHelper::DELETE_DATA()
{
    delete[] m_pOldData;
    m_pOldData = nullptr;
}

namespace {

template <typename Pixel>
VxPixel AverageOver(int x0, int y0, int x1, int y1, int width, int height, Pixel pixel)
{
    double r = 0, g = 0, b = 0;
    long count = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            if (x < 0 || x >= width || y < 0 || y >= height)
                continue;
            const VxPixel p = pixel(x, y);
            r += (p >> 16) & 0xFF;
            g += (p >> 8) & 0xFF;
            b += p & 0xFF;
            ++count;
        }
    if (count == 0)
        return 0;
    return VxPixel(int(r / count)) << 16 | VxPixel(int(g / count)) << 8 | VxPixel(int(b / count));
}

} // namespace

VxPixel CVelvix_SupportHelper::GetAverage(int x, int y, int n)
{
    return AverageOver(x - n, y - n, x + n + 1, y + n + 1, GetWidth(), GetHeight(),
                       [this](int px, int py) { return OldBytes(px, py); });
}

VxPixel CVelvix_SupportHelper::GetAverage(int x, int y, int w, int h)
{
    return AverageOver(x, y, x + w, y + h, GetWidth(), GetHeight(),
                       [this](int px, int py) { return Bytes(px, py); });
}
