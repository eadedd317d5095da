#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "test_support.h"

namespace {

struct DibShape {
    int width, height, bits;
    std::uint32_t used = 0;  // colours-used field; 0 = the full table
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
};

void Put32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        data[at + i] = std::uint8_t(v >> (8 * i));
}

// Writes random indices (or colours) into a packed bitmap whose padding bits
// and bytes are all ones, and keeps the picture they stand for.
std::vector<std::uint8_t> MakeDib(const DibShape& s, CVelvix& picture)
{
    std::mt19937 random(s.width * 31 + s.bits);
    const int colours = s.bits > 8 ? 0 : s.used ? int(s.used) : 1 << s.bits;
    const std::size_t rowBytes = (std::size_t(std::max(s.width, 0)) * s.bits + 31) / 32 * 4;
    std::vector<std::uint8_t> dib(40 + 4 * colours + rowBytes * std::size_t(std::max(s.height, 0)), 0xFF);
    std::memset(dib.data(), 0, 40);
    Put32(dib, 0, s.headerSize);
    Put32(dib, 4, std::uint32_t(s.width));
    Put32(dib, 8, std::uint32_t(s.height));
    dib[12] = 1;
    dib[14] = std::uint8_t(s.bits);
    Put32(dib, 16, s.compression);
    Put32(dib, 32, s.used);
    std::vector<VxPixel> palette(colours);
    for (int i = 0; i < colours; ++i) {
        palette[i] = random() & 0xFFFFFF;
        Put32(dib, 40 + 4 * i, palette[i]);
    }
    if (s.width <= 0 || s.height <= 0 || s.width > 4096 || (colours == 0 && s.bits != 24))
        return dib;
    picture = vxtest::FilledImage(s.width, s.height, 0);
    for (int y = 0; y < s.height; ++y) {
        std::uint8_t* row = dib.data() + 40 + 4 * colours + rowBytes * y;
        for (int x = 0; x < s.width; ++x) {
            if (s.bits == 24) {
                const VxPixel p = random() & 0xFFFFFF;
                row[3 * x] = std::uint8_t(p), row[3 * x + 1] = std::uint8_t(p >> 8), row[3 * x + 2] = std::uint8_t(p >> 16);
                picture.Bytes(x, y) = p;
                continue;
            }
            const unsigned index = random() % colours;
            const int shift = s.bits == 8 ? 0 : s.bits == 4 ? (x & 1 ? 0 : 4) : 7 - (x & 7);
            const std::size_t at = std::size_t(x) * s.bits / 8;
            row[at] = std::uint8_t((row[at] & ~(((1u << s.bits) - 1) << shift)) | index << shift);
            picture.Bytes(x, y) = palette[index];
        }
    }
    return dib;
}

} // namespace

TEST(PackedBitmap, ReadsEveryPixelPastPaddingAndShortColourTables)
{
    const DibShape shapes[] = {
        {33, 3, 1},      // 5 bytes of pixels, rows of 8
        {1, 1, 1},  {7, 2, 4}, {5, 3, 4, 3},  // 4 bits with a table of three colours
        {5, 3, 8},  {3, 4, 8, 2}, {3, 2, 24}, {1, 5, 24},
    };
    for (const DibShape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " " << s.bits << " bits");
        CVelvix expected, image;
        const std::vector<std::uint8_t> dib = MakeDib(s, expected);
        ASSERT_TRUE(CVelvix_Twain::ReadPackedBitmap(dib.data(), image));
        EXPECT_EQ(vxtest::FirstDifference(image, expected), -1);
    }
}

TEST(PackedBitmap, RefusesWhatItCannotReadAndKeepsThePicture)
{
    const DibShape shapes[] = {
        {4, 4, 8, 0, 1},       // run-length coded
        {4, 4, 16},  {4, 4, 32}, {4, 4, 2}, {4, 4, 0},
        {4, 0, 8},   {4, -3, 8},  // top-down rows
        {0, 4, 8},   {-4, 4, 8}, {70000, 1, 8},
        {4, 4, 8, 0, 0, 12},   // an older, shorter header
    };
    for (const DibShape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " " << s.bits << " bits");
        CVelvix unused;
        const std::vector<std::uint8_t> dib = MakeDib(s, unused);
        CVelvix image = vxtest::FilledImage(2, 3, 0x123456);
        CVelvix before = image;
        EXPECT_FALSE(CVelvix_Twain::ReadPackedBitmap(dib.data(), image));
        EXPECT_EQ(vxtest::FirstDifference(image, before), -1);
    }
}
