#include "effects/support_helper.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "effects/row_filter.h"

template <typename Value>
bool CVelvixBlockSums::BuildFrom(const Value* values, int width, int height, int channels)
{
    Clear();
    if (width < 1 || height < 1)
        return false;
    const std::size_t w = std::size_t(width), stride = (w + 1) * std::size_t(channels);
    try {
        m_Table.resize(stride * (std::size_t(height) + 1));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_nWidth = width;
    m_nChannels = channels;
    std::uint32_t* table = m_Table.data();
    const bool parallel = w * std::size_t(height) >= (1u << 18);
    // Row prefix sums first (rows are independent), then each row adds the
    // row below it (columns are independent).
    VxParallelRanges(std::size_t(height), parallel, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y) {
            const Value* in = values + y * w;
            std::uint32_t* out = table + (y + 1) * stride;
            std::uint32_t run[3] = {0, 0, 0};
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint32_t v = in[x];
                if (channels == 1) {
                    run[0] += v & 0xFF;
                    out[x + 1] = run[0];
                } else {
                    run[0] += (v >> 16) & 0xFF;
                    run[1] += (v >> 8) & 0xFF;
                    run[2] += v & 0xFF;
                    out[(x + 1) * 3] = run[0];
                    out[(x + 1) * 3 + 1] = run[1];
                    out[(x + 1) * 3 + 2] = run[2];
                }
            }
        }
    });
    VxParallelRanges(stride, parallel, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = 2; y <= std::size_t(height); ++y) {
            const std::uint32_t* below = table + (y - 1) * stride;
            std::uint32_t* row = table + y * stride;
            for (std::size_t k = begin; k < end; ++k)
                row[k] += below[k];
        }
    });
    return true;
}

bool CVelvixBlockSums::Build(const VxPixel* pixels, int width, int height, int channels)
{
    return BuildFrom(pixels, width, height, channels == 1 ? 1 : 3);
}

bool CVelvixBlockSums::Build(const std::uint8_t* values, int width, int height)
{
    return BuildFrom(values, width, height, 1);
}

void CVelvixBlockSums::Clear()
{
    std::vector<std::uint32_t>().swap(m_Table);
    m_nWidth = m_nChannels = 0;
}

bool CVelvix_SupportHelper::COPY_DATA()
{
    DELETE_DATA();
    const std::size_t pixels = std::size_t(GetWidth()) * std::size_t(GetHeight());
    if (!m_OldBitmap.Allocate(pixels))
        return false;
    m_pOldData = m_OldBitmap.Data();
    const VxPixel* from = GetImageData();
    VxPixel* to = m_pOldData;
    VxParallelRanges(pixels, pixels >= (1u << 20), [&](std::size_t begin, std::size_t end) {
        std::memcpy(to + begin, from + begin, (end - begin) * sizeof(VxPixel));
    });
    return true;
}

void CVelvix_SupportHelper::DELETE_DATA()
{
    m_OldBitmap.Free();
    m_pOldData = nullptr;
    m_OldSums.Clear();
    m_bOldSumsTried = false;
}

namespace {

// Clips [x0, x1) x [y0, y1) to the buffer; false when nothing is left.
bool Clip(long long& x0, long long& y0, long long& x1, long long& y1, int width, int height)
{
    x0 = std::max(x0, 0LL);
    y0 = std::max(y0, 0LL);
    x1 = std::min(x1, (long long)width);
    y1 = std::min(y1, (long long)height);
    return x1 > x0 && y1 > y0;
}

template <typename Pixel>
VxPixel AverageOver(int x0, int y0, int x1, int y1, Pixel pixel)
{
    std::uint64_t r = 0, g = 0, b = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            const VxPixel p = pixel(x, y);
            r += (p >> 16) & 0xFF;
            g += (p >> 8) & 0xFF;
            b += p & 0xFF;
        }
    return VxAveragePixel(double(r), double(g), double(b), double(std::int64_t(x1 - x0) * (y1 - y0)));
}

} // namespace

void CVelvix_SupportHelper::PrepareAverages()
{
    if (m_pOldData && !m_bOldSumsTried) {
        m_bOldSumsTried = true;
        m_OldSums.Build(m_pOldData, GetWidth(), GetHeight(), 3);
    }
}

VxPixel CVelvix_SupportHelper::GetAverage(int x, int y, int n)
{
    PrepareAverages();
    long long x0 = (long long)x - n, y0 = (long long)y - n, x1 = (long long)x + n + 1, y1 = (long long)y + n + 1;
    if (!Clip(x0, y0, x1, y1, GetWidth(), GetHeight()))
        return 0;
    std::uint32_t sums[3];
    if (m_OldSums.IsBuilt() && m_OldSums.Sum(int(x0), int(y0), int(x1), int(y1), sums))
        return VxAveragePixel(sums[0], sums[1], sums[2], double((x1 - x0) * (y1 - y0)));
    return AverageOver(int(x0), int(y0), int(x1), int(y1), [this](int px, int py) { return OldBytes(px, py); });
}

VxPixel CVelvix_SupportHelper::GetAverage(int x, int y, int w, int h)
{
    long long x0 = x, y0 = y, x1 = (long long)x + w, y1 = (long long)y + h;
    if (!Clip(x0, y0, x1, y1, GetWidth(), GetHeight()))
        return 0;
    return AverageOver(int(x0), int(y0), int(x1), int(y1), [this](int px, int py) { return Bytes(px, py); });
}
