#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Grey 200 with a black frame: `rows` rows at the top and bottom, `columns`
// columns at each side.
CVelvix FramedScan(int w, int h, int rows, int columns)
{
    CVelvix image = vxtest::FilledImage(w, h, 200 * 0x010101u);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (y < rows || y >= h - rows || x < columns || x >= w - columns)
                image.Bytes(x, y) = 0;
    return image;
}

} // namespace

TEST(AutoCrop, RemovesExactlyTheDarkFrame)
{
    CVelvix image = FramedScan(100, 100, 5, 7);
    ASSERT_TRUE(image.AutoCropForScannedImage(40));
    EXPECT_EQ(image.GetWidth(), 86);
    EXPECT_EQ(image.GetHeight(), 90);
    for (int i = 0; i < 86 * 90; ++i)
        ASSERT_EQ(image.Bytes(i), 200 * 0x010101u);
}

TEST(AutoCrop, ToleranceZeroRemovesNothing)
{
    CVelvix image = FramedScan(100, 100, 5, 7);
    CVelvix before = image;
    EXPECT_TRUE(image.AutoCropForScannedImage(0));
    EXPECT_EQ(vxtest::FirstDifference(image, before), -1);
}

TEST(AutoCrop, UnevenFrameKeepsTheRightDisplayRows)
{
    // Three dark rows at the bottom of the picture only, one bright marker row
    // just above them.
    CVelvix image = vxtest::FilledImage(20, 30, 0x808080);
    for (int x = 0; x < 20; ++x) {
        for (int y = 0; y < 3; ++y)
            image.Bytes(x, y) = 0x101010;
        image.Bytes(x, 3) = 0xFFFFFF;
    }
    ASSERT_TRUE(image.AutoCropForScannedImage(40));
    ASSERT_EQ(image.GetHeight(), 27);
    EXPECT_EQ(image.Bytes(0, 0), 0xFFFFFFu) << "the marker is now the bottom row";
}

TEST(AutoCrop, ADarkImageIsLeftAsItWas)
{
    CVelvix image = vxtest::FilledImage(10, 10, 0x050505);
    EXPECT_FALSE(image.AutoCropForScannedImage(40));
    EXPECT_EQ(image.GetWidth(), 10);
    EXPECT_EQ(image.GetHeight(), 10);
    CVelvix empty;
    EXPECT_FALSE(empty.AutoCropForScannedImage(40));
}

TEST(AutoCrop, EachChannelMustBeDark)
{
    // Bright blue frame columns are not background even though red and green are 0.
    CVelvix image = vxtest::FilledImage(12, 12, 0x808080);
    for (int y = 0; y < 12; ++y)
        image.Bytes(0, y) = 0x0000FF;
    EXPECT_TRUE(image.AutoCropForScannedImage(40));
    EXPECT_EQ(image.GetWidth(), 12);
}
