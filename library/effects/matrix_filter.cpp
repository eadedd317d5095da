#include "effects/matrix_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/kernels.h"
#include "effects/row_filter.h"

void CVelvix_MatrixFilter::_Filter3(VxKernel3 kind)
{
    if (!IsValidObject())
        return;
    const VxKernelTable& kernels = VxKernels();
    const int width = GetWidth();
    VxPixel* storage = nullptr;
    VxFilterRows<1>(GetImageData(), width, GetHeight(), storage, [&](const VxPixel* const* rows, VxPixel* out) {
        kernels.convolve3(kind, rows[0], rows[1], rows[2], out, width);
    });
}

void CVelvix_MatrixFilter::Blur() { _Filter3(VxKernel3::Blur); }
void CVelvix_MatrixFilter::GaussianBlur() { _Filter3(VxKernel3::GaussianBlur); }
void CVelvix_MatrixFilter::Sharpen(int kind) { _Filter3(kind == 0 ? VxKernel3::Sharpen : VxKernel3::Sharpen1); }
void CVelvix_MatrixFilter::EdgeDetection() { _Filter3(VxKernel3::EdgeDetection); }
void CVelvix_MatrixFilter::EnhanceEdges() { _Filter3(VxKernel3::EnhanceEdges); }
void CVelvix_MatrixFilter::EnhanceFocus() { _Filter3(VxKernel3::EnhanceFocus); }
void CVelvix_MatrixFilter::EnhanceDetail() { _Filter3(VxKernel3::EnhanceDetail); }
void CVelvix_MatrixFilter::Emboss() { _Filter3(VxKernel3::Emboss); }

void CVelvix_MatrixFilter::ReduceJaggies()
{
    if (!IsValidObject())
        return;
    const VxKernelTable& kernels = VxKernels();
    const int width = GetWidth();
    VxPixel* storage = nullptr;
    VxFilterRows<2>(GetImageData(), width, GetHeight(), storage, [&](const VxPixel* const* rows, VxPixel* out) {
        kernels.reduceJaggies(rows, out, width);
    });
}

void CVelvix_MatrixFilter::RemoveNoiseFilter()
{
    if (!IsValidObject())
        return;
    const VxKernelTable& kernels = VxKernels();
    const int width = GetWidth();
    VxPixel* storage = nullptr;
    VxFilterRows<1>(GetImageData(), width, GetHeight(), storage, [&](const VxPixel* const* rows, VxPixel* out) {
        kernels.removeNoise(rows[0], rows[1], rows[2], out, width);
    });
}

void CVelvix_MatrixFilter::Pixelize(int n)
{
    if (!IsValidObject() || n < 1)
        return;
    const int width = GetWidth(), height = GetHeight();
    // Sample points n, 3n, 5n, ... in each direction.
    const int columns = n < width ? int((std::int64_t(width) - n - 1) / (2LL * n) + 1) : 0;
    const int rows = n < height ? int((std::int64_t(height) - n - 1) / (2LL * n) + 1) : 0;
    if (columns == 0 || rows == 0)
        return;
    // Every square's average comes from the unchanged picture, so all of them
    // are taken before any is painted; no saved copy is needed.
    VxPixel* data = GetImageData();
    const std::int64_t span = 2LL * n;
    std::vector<VxPixel> averages(std::size_t(columns) * std::size_t(rows));
    const bool parallel = std::size_t(width) * std::size_t(height) >= (1u << 16);
    VxParallelRanges(std::size_t(rows), parallel, [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint64_t> sums(std::size_t(columns) * 3);
        for (std::size_t j = begin; j < end; ++j) {
            const std::int64_t y0 = std::max<std::int64_t>(0, span * std::int64_t(j));
            const std::int64_t y1 = std::min<std::int64_t>(height, span * std::int64_t(j) + span + 1);
            std::fill(sums.begin(), sums.end(), 0);
            for (std::int64_t y = y0; y < y1; ++y) {
                const VxPixel* row = data + std::size_t(y) * width;
                for (int i = 0; i < columns; ++i) {
                    const std::int64_t x1 = std::min<std::int64_t>(width, span * i + span + 1);
                    std::uint32_t r = 0, g = 0, b = 0;
                    for (std::int64_t x = span * i; x < x1; ++x) {
                        r += (row[x] >> 16) & 0xFF;
                        g += (row[x] >> 8) & 0xFF;
                        b += row[x] & 0xFF;
                    }
                    sums[3 * i] += r, sums[3 * i + 1] += g, sums[3 * i + 2] += b;
                }
            }
            for (int i = 0; i < columns; ++i) {
                const std::int64_t x1 = std::min<std::int64_t>(width, span * i + span + 1);
                averages[j * columns + i] = VxAveragePixel(double(sums[3 * i]), double(sums[3 * i + 1]),
                                                           double(sums[3 * i + 2]),
                                                           double((x1 - span * i) * (y1 - y0)));
            }
        }
    });
    // Squares painted later win on the rows and columns they share: a row
    // takes the last block row that covers it, and within it the last square
    // covering each column.
    const std::int64_t lastRow = std::min<std::int64_t>(height, span * rows + 1);
    VxParallelRanges(std::size_t(lastRow), parallel, [&](std::size_t begin, std::size_t end) {
        for (std::int64_t y = std::int64_t(begin); y < std::int64_t(end); ++y) {
            const std::int64_t j = std::min<std::int64_t>(rows - 1, y / span);
            const VxPixel* values = &averages[std::size_t(j) * columns];
            VxPixel* row = data + std::size_t(y) * width;
            for (int i = 0; i < columns; ++i)
                std::fill(row + span * i, row + std::min<std::int64_t>(width, span * i + span + 1), values[i]);
        }
    });
}

void CVelvix_MatrixFilter::_Segments(int n, unsigned long* out)
{
    if (!IsValidObject() || n < 1)
        return;
    const int width = GetWidth(), height = GetHeight();
    const int m = std::min(std::min(n, width), height);
    const int bw = int(std::ceil(double(width) / m)), bh = int(std::ceil(double(height) / m));
    const int blockRows = std::min(m, (height + bh - 1) / bh);
    const int blockColumns = std::min(m, (width + bw - 1) / bw);
    VxPixel* data = GetImageData();
    const bool parallel = std::size_t(width) * std::size_t(height) >= (1u << 16);
    VxParallelRanges(std::size_t(blockRows), parallel, [&](std::size_t begin, std::size_t end) {
        std::vector<std::uint64_t> sums(std::size_t(blockColumns) * 3);
        for (int j = int(begin); j < int(end); ++j) {
            const int y0 = j * bh, y1 = std::min(height, y0 + bh);
            std::fill(sums.begin(), sums.end(), 0);
            for (int y = y0; y < y1; ++y) {
                const VxPixel* row = data + std::size_t(y) * width;
                for (int i = 0; i < blockColumns; ++i) {
                    const int x0 = i * bw, x1 = std::min(width, x0 + bw);
                    std::uint32_t r = 0, g = 0, b = 0;
                    for (int x = x0; x < x1; ++x) {
                        const VxPixel p = row[x];
                        r += (p >> 16) & 0xFF;
                        g += (p >> 8) & 0xFF;
                        b += p & 0xFF;
                    }
                    sums[3 * i] += r;
                    sums[3 * i + 1] += g;
                    sums[3 * i + 2] += b;
                }
            }
            for (int i = 0; i < blockColumns; ++i) {
                const int x0 = i * bw, x1 = std::min(width, x0 + bw);
                const VxPixel average = VxAveragePixel(double(sums[3 * i]), double(sums[3 * i + 1]),
                                                       double(sums[3 * i + 2]),
                                                       double(std::int64_t(x1 - x0) * (y1 - y0)));
                if (out) {
                    out[std::size_t(j) * m + i] = average;
                    continue;
                }
                for (int y = y0; y < y1; ++y)
                    std::fill(data + std::size_t(y) * width + x0, data + std::size_t(y) * width + x1, average);
            }
        }
    });
}

void CVelvix_MatrixFilter::PixelizeBySegments(int n)
{
    _Segments(n, nullptr);
}

void CVelvix_MatrixFilter::PixelizeBySegments_DataOnly(int n, unsigned long* out)
{
    if (out)
        _Segments(n, out);
}
