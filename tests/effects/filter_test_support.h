#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/kernels.h"
#include "test_support.h"

namespace filtertest {

struct Size {
    int w, h;
};

// Odd, even, degenerate and wider-than-a-vector sizes.
inline const std::vector<Size> kSizes = {{1, 1}, {2, 2}, {3, 3}, {1, 5}, {5, 1}, {4, 3}, {5, 7}, {7, 5},
                                         {7, 7}, {16, 9}, {64, 33}, {33, 64}, {131, 19}};

// A picture with smooth areas, noise and hard steps, so that thresholds and
// strong edges are met as well as missed.
inline CVelvix MixedImage(int w, int h, std::uint32_t seed)
{
    CVelvix image = vxtest::RandomImage(w, h, seed);
    std::mt19937 random(seed * 7919u + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if ((x / 5 + y / 3 + seed) % 3 == 0)
                continue;  // keep the random pixel
            const int base = (x * 255 / std::max(1, w - 1) + int(seed)) & 0xFF;
            const int step = (x > w / 2) ? 200 : 0;
            auto jitter = [&](int v) { return std::clamp(v + int(random() % 7) - 3, 0, 255); };
            image.Bytes(x, y) = VxPixel(jitter(base)) << 16 | VxPixel(jitter((base + step) & 0xFF)) << 8 |
                                VxPixel(jitter(255 - base));
        }
    return image;
}

// Runs check once with every row-kernel table this processor can run.
inline void ForEachKernelTable(const std::function<void(const std::string&)>& check)
{
    std::vector<const VxKernelTable*> tables = {&VxPortableKernels()};
    if (VxAvx2Kernels())
        tables.push_back(VxAvx2Kernels());
    for (const VxKernelTable* table : tables) {
        VxForceKernels(table);
        check(table->name);
    }
    VxForceKernels(nullptr);
}

// Applies fast and plain to copies of image and expects equal pixels.
inline void ExpectSame(CVelvix& image, const std::function<void(CVelvix&)>& fast,
                       const std::function<void(CVelvix&)>& plain, const std::string& what)
{
    CVelvix a = image, b = image;
    fast(a);
    plain(b);
    const long at = vxtest::FirstDifference(a, b);
    EXPECT_EQ(at, -1) << what << " on " << image.GetWidth() << " x " << image.GetHeight() << ": pixel " << at
                      << " is " << std::hex << (at >= 0 ? a.Bytes(int(at)) : 0) << ", expected "
                      << (at >= 0 ? b.Bytes(int(at)) : 0);
}

} // namespace filtertest
