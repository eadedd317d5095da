#pragma once

// Driver of the neighbourhood filters: every output row of the interior is
// computed from copies of the original rows around it, so the filter runs in
// place with a few rows of working memory instead of a copy of the image, and
// bands of rows run on all cores (each output depends on original pixels only).
// Internal to the library.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "image/parallel.h"
#include "image/pixel_interface.h"

// Calls rowFn(rows, out) for y = R .. height - R - 1, where rows[k] holds the
// original row y - R + k and out is row y of the image; rowFn fills columns
// R .. width - R - 1 of out. `storage` holds the working rows during the call
// (null again afterwards). False, with the image unchanged, without memory.
template <int R, typename RowFn>
bool VxFilterRows(VxPixel* data, int width, int height, VxPixel*& storage, RowFn&& rowFn)
{
    constexpr int kRing = 2 * R + 1;
    if (width < kRing || height < kRing)
        return true;
    const std::size_t w = std::size_t(width);
    const int first = R, count = height - 2 * R;
    const bool parallel = w * std::size_t(height) >= (1u << 16);
    const int bands = parallel ? int(std::min<std::size_t>(VxCores(), std::size_t(count))) : 1;
    // Per band: the ring of 2R + 1 rows and the R rows after the band, which
    // the next band overwrites while this one still needs them.
    const std::size_t perBand = std::size_t(kRing + R) * w;
    storage = new (std::nothrow) VxPixel[perBand * std::size_t(bands)];
    if (!storage)
        return false;
    auto bandStart = [&](int b) { return first + int(std::int64_t(count) * b / bands); };
    for (int b = 0; b < bands; ++b) {
        const int y0 = bandStart(b), y1 = bandStart(b + 1);
        VxPixel* ring = storage + perBand * std::size_t(b);
        VxPixel* after = ring + std::size_t(kRing) * w;
        for (int yy = y0 - R; yy < y0; ++yy)
            std::memcpy(ring + std::size_t(yy % kRing) * w, data + std::size_t(yy) * w, w * sizeof(VxPixel));
        for (int k = 0; k < R; ++k)
            std::memcpy(after + std::size_t(k) * w, data + std::size_t(y1 + k) * w, w * sizeof(VxPixel));
    }
    VxParallelRanges(std::size_t(bands), bands > 1, [&](std::size_t bBegin, std::size_t bEnd) {
        for (int b = int(bBegin); b < int(bEnd); ++b) {
            const int y0 = bandStart(b), y1 = bandStart(b + 1);
            VxPixel* ring = storage + perBand * std::size_t(b);
            const VxPixel* after = ring + std::size_t(kRing) * w;
            auto load = [&](int yy) {
                const VxPixel* from = yy < y1 ? data + std::size_t(yy) * w : after + std::size_t(yy - y1) * w;
                std::memcpy(ring + std::size_t(yy % kRing) * w, from, w * sizeof(VxPixel));
            };
            for (int yy = y0; yy < y0 + R; ++yy)
                load(yy);
            const VxPixel* rows[kRing];
            for (int y = y0; y < y1; ++y) {
                load(y + R);
                for (int k = 0; k < kRing; ++k)
                    rows[k] = ring + std::size_t((y - R + k) % kRing) * w;
                rowFn(static_cast<const VxPixel* const*>(rows), data + std::size_t(y) * w);
            }
        }
    });
    delete[] storage;
    storage = nullptr;
    return true;
}
