#include "effects/noise_reduction.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "effects/row_filter.h"
#include "image/velvix.h"

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

void CVelvix_NoiseReduction::_Reduce(int area, int threshold, int replaceArea, bool reverse, bool excludeEdges)
{
    if (!IsValidObject() || area < 1 || !COPY_DATA())
        return;
    const int width = GetWidth(), height = GetHeight();
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    const int replaceHalf = ReplacementHalfSide(replaceArea);

    // Strong edges of the Sobel edge image (border pixels: the image's own),
    // counted by block sums so that the test over a square costs four reads.
    CVelvixBlockSums strongEdges;
    if (excludeEdges) {
        CVelvix edges;
        if (!static_cast<CVelvix_PixelInterface&>(edges).RawCreateImage(height, width)) {
            DELETE_DATA();
            return;
        }
        std::copy(m_pOldData, m_pOldData + pixels, &edges.Bytes(0));
        edges.DetectEdges_Sobel();
        std::vector<std::uint8_t> strong(pixels);
        const VxPixel* map = &edges.Bytes(0);
        VxParallelRanges(pixels, pixels >= (1u << 16), [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                strong[i] = map[i] > 0xEBEBEBu ? 1 : 0;
        });
        edges.DeleteObject();
        if (!strongEdges.Build(strong.data(), width, height)) {
            DELETE_DATA();
            return;
        }
    }

    PrepareAverages();
    VxPixel* data = GetImageData();
    VxParallelRanges(std::size_t(height), pixels >= (1u << 16), [&](std::size_t begin, std::size_t end) {
        for (int y = int(begin); y < int(end); ++y) {
            const int y0 = std::max(y - area, 0), y1 = std::min<long long>((long long)y + area + 1, height);
            for (int x = 0; x < width; ++x) {
                if (excludeEdges) {
                    const int x0 = std::max(x - area, 0);
                    const int x1 = int(std::min<long long>((long long)x + area + 1, width));
                    std::uint32_t found;
                    // A square too large for exact block sums: count in slices of rows.
                    if (strongEdges.Sum(x0, y0, x1, y1, &found)) {
                        if (found)
                            continue;
                    } else {
                        bool any = false;
                        for (int yy = y0; yy < y1 && !any; yy += 64) {
                            std::uint32_t part = 0;
                            strongEdges.Sum(x0, yy, x1, std::min(y1, yy + 64), &part);
                            any = part != 0;
                        }
                        if (any)
                            continue;
                    }
                }
                const VxPixel average = GetAverage(x, y, area);
                const VxPixel current = data[std::size_t(y) * width + x];
                const int dr = std::abs(int((current >> 16) & 0xFF) - int((average >> 16) & 0xFF));
                const int dg = std::abs(int((current >> 8) & 0xFF) - int((average >> 8) & 0xFF));
                const int db = std::abs(int(current & 0xFF) - int(average & 0xFF));
                const bool replace = reverse ? (dr > threshold || dg > threshold || db > threshold)
                                             : (dr < threshold && dg < threshold && db < threshold);
                if (replace)
                    data[std::size_t(y) * width + x] = GetAverage(x, y, replaceHalf);
            }
        }
    });
    DELETE_DATA();
}
