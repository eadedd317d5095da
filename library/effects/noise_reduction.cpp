#include "effects/noise_reduction.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "effects/kernels.h"
#include "effects/row_filter.h"

void CVelvix_NoiseReduction::AveragingNoiseReductionWithThreshold(int area, int threshold, int replaceArea)
{
    _Reduce(area, threshold, replaceArea, false, false);
}

void CVelvix_NoiseReduction::AveragingNoiseReductionWithReverseThreshold(int area, int threshold, int replaceArea)
{
    _Reduce(area, threshold, replaceArea, true, false);
}

void CVelvix_NoiseReduction::AveragingNoiseReductionWithThresholdExcludeEdges(int area, int threshold,
                                                                              int replaceArea)
{
    _Reduce(area, threshold, replaceArea, false, true);
}

void CVelvix_NoiseReduction::AveragingNoiseReductionWithReverseThresholdExcludeEdges(int area, int threshold,
                                                                                     int replaceArea)
{
    _Reduce(area, threshold, replaceArea, true, true);
}

namespace {

// Sums over a square window sliding down a band of rows: per column the sum
// over the window's rows (updated by one row in, one row out), then prefix
// sums along the row, so any window's sum is a difference of two prefixes.
class SlidingWindow {
public:
    SlidingWindow(int width, int height, int half, int channels)
        : m_nWidth(width), m_nHeight(height), m_nHalf(half), m_nChannels(channels),
          m_Columns(std::size_t(channels) * width, 0), m_Prefix(std::size_t(channels) * (width + 1), 0)
    {
    }

    // Moves the window to row y: rows [y - half, y + half] inside the image.
    template <typename AddRow>
    void MoveTo(int y, bool first, AddRow addRow)
    {
        if (first) {
            std::fill(m_Columns.begin(), m_Columns.end(), 0);
            for (long long r = std::max(0LL, (long long)y - m_nHalf);
                 r < std::min<long long>(m_nHeight, (long long)y + m_nHalf + 1); ++r)
                addRow(m_Columns.data(), int(r), +1);
        } else {
            if ((long long)y + m_nHalf < m_nHeight)
                addRow(m_Columns.data(), int(y + m_nHalf), +1);
            if ((long long)y - m_nHalf - 1 >= 0)
                addRow(m_Columns.data(), int(y - m_nHalf - 1), -1);
        }
        m_nRows = int(std::min<long long>(m_nHeight, (long long)y + m_nHalf + 1) - std::max(0LL, (long long)y - m_nHalf));
        for (int c = 0; c < m_nChannels; ++c) {
            const std::uint32_t* column = &m_Columns[std::size_t(c) * m_nWidth];
            std::uint64_t* prefix = &m_Prefix[std::size_t(c) * (m_nWidth + 1)];
            std::uint64_t run = 0;
            for (int x = 0; x < m_nWidth; ++x)
                prefix[x + 1] = run += column[x];
        }
    }

    const std::uint64_t* Prefix(int channel) const { return &m_Prefix[std::size_t(channel) * (m_nWidth + 1)]; }
    int Rows() const { return m_nRows; }

private:
    int m_nWidth, m_nHeight, m_nHalf, m_nChannels, m_nRows = 0;
    std::vector<std::uint32_t> m_Columns;  // channel-major
    std::vector<std::uint64_t> m_Prefix;
};

} // namespace

void CVelvix_NoiseReduction::_Reduce(int area, int threshold, int replaceArea, bool reverse, bool excludeEdges)
{
    if (!IsValidObject() || area < 1 || !COPY_DATA())
        return;
    const int width = GetWidth(), height = GetHeight();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    const int replaceHalf = ReplacementHalfSide(replaceArea);
    const VxPixel* saved = m_pOldData;
    const bool parallel = pixels >= (1u << 16);

    // Strong edges: grey level 236 or more in the Sobel edge image of the
    // unchanged picture, whose one-pixel border is the picture's own pixels
    // (tested as whole values, like the grey ones).
    std::vector<std::uint8_t> strong;
    if (excludeEdges) {
        try {
            strong.assign(pixels, 0);
        } catch (const std::bad_alloc&) {
            DELETE_DATA();
            return;
        }
        const VxKernelTable& kernels = VxKernels();
        VxParallelRanges(std::size_t(height), parallel, [&](std::size_t begin, std::size_t end) {
            std::vector<VxPixel> row(static_cast<std::size_t>(width));
            for (int y = int(begin); y < int(end); ++y) {
                const VxPixel* source = saved + std::size_t(y) * width;
                std::copy(source, source + width, row.begin());
                if (y >= 1 && y + 1 < height && width >= 3)
                    kernels.edges(0, false, 0, source - width, source, source + width, row.data(), width);
                std::uint8_t* flags = &strong[std::size_t(y) * width];
                for (int x = 0; x < width; ++x)
                    flags[x] = row[x] > 0xEBEBEBu ? 1 : 0;
            }
        });
    }

    auto addPixels = [&](std::uint32_t* columns, int y, int sign) {
        const VxPixel* row = saved + std::size_t(y) * width;
        std::uint32_t *r = columns, *g = columns + width, *b = columns + 2 * std::size_t(width);
        const std::uint32_t s = std::uint32_t(sign);
        for (int x = 0; x < width; ++x) {
            r[x] += s * ((row[x] >> 16) & 0xFF);
            g[x] += s * ((row[x] >> 8) & 0xFF);
            b[x] += s * (row[x] & 0xFF);
        }
    };
    auto addFlags = [&](std::uint32_t* columns, int y, int sign) {
        const std::uint8_t* row = &strong[std::size_t(y) * width];
        const std::uint32_t s = std::uint32_t(sign);
        for (int x = 0; x < width; ++x)
            columns[x] += s * row[x];
    };

    VxPixel* data = GetImageData();
    const std::int64_t t = threshold;
    VxParallelRanges(std::size_t(height), parallel, [&](std::size_t begin, std::size_t end) {
        SlidingWindow compare(width, height, area, 3), replace(width, height, replaceHalf, 3);
        SlidingWindow edges(width, height, excludeEdges ? area : 0, excludeEdges ? 1 : 0);
        for (int y = int(begin); y < int(end); ++y) {
            const bool first = y == int(begin);
            compare.MoveTo(y, first, addPixels);
            replace.MoveTo(y, first, addPixels);
            if (excludeEdges)
                edges.MoveTo(y, first, addFlags);
            VxPixel* row = data + std::size_t(y) * width;
            for (int x = 0; x < width; ++x) {
                const int x0 = int(std::max(0LL, (long long)x - area));
                const int x1 = int(std::min<long long>(width, (long long)x + area + 1));
                if (excludeEdges && edges.Prefix(0)[x1] != edges.Prefix(0)[x0])
                    continue;
                // |v - trunc(S / count)| against the threshold, decided on the
                // integer sum itself: trunc(S / count) >= q exactly when S >= q x count.
                const std::int64_t count = std::int64_t(x1 - x0) * compare.Rows();
                const VxPixel current = row[x];
                bool near = true, far = false;
                for (int c = 0; c < 3; ++c) {
                    const std::int64_t v = (current >> (16 - 8 * c)) & 0xFF;
                    const std::int64_t sum = std::int64_t(compare.Prefix(c)[x1] - compare.Prefix(c)[x0]);
                    near = near && sum >= (v - t + 1) * count && sum < (v + t) * count;
                    far = far || sum >= (v + t + 1) * count || sum < (v - t) * count;
                }
                const bool change = reverse ? far : near;
                if (!change)
                    continue;
                const int r0 = std::max(0, x - replaceHalf), r1 = std::min(width, x + replaceHalf + 1);
                row[x] = VxAveragePixel(double(replace.Prefix(0)[r1] - replace.Prefix(0)[r0]),
                                        double(replace.Prefix(1)[r1] - replace.Prefix(1)[r0]),
                                        double(replace.Prefix(2)[r1] - replace.Prefix(2)[r0]),
                                        double(r1 - r0) * replace.Rows());
            }
        }
    });
    DELETE_DATA();
}
