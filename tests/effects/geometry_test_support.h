#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geometry_oracles.h"

namespace geometry {

// Sizes that reach the edge cases of the samplers: single pixels, single rows
// and columns, odd and even halves, landscape and portrait.
inline const std::vector<std::pair<int, int>>& Sizes()
{
    static const std::vector<std::pair<int, int>> sizes = {
        {1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 1}, {5, 3}, {16, 9}, {9, 16}, {31, 17}, {40, 90}, {101, 80}};
    return sizes;
}

inline std::string Name(CVelvix& image)
{
    return std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight());
}

// Equal size and pixels; on a difference, says where.
inline ::testing::AssertionResult SamePixels(CVelvix& expected, CVelvix& actual)
{
    if (expected.IsValidObject() != actual.IsValidObject())
        return ::testing::AssertionFailure() << "one image is empty";
    if (expected.GetWidth() != actual.GetWidth() || expected.GetHeight() != actual.GetHeight())
        return ::testing::AssertionFailure() << "size " << Name(actual) << ", expected " << Name(expected);
    const long index = vxtest::FirstDifference(expected, actual);
    if (index < 0)
        return ::testing::AssertionSuccess();
    const int w = expected.GetWidth();
    return ::testing::AssertionFailure() << "pixel (" << index % w << ", " << index / w << ") is " << std::hex
                                         << actual.Bytes(int(index)) << ", expected "
                                         << expected.Bytes(int(index));
}

} // namespace geometry
