// Bitmaps from the program's Qt resources (test_resources.qrc holds 4242).
#include <gtest/gtest.h>

#include "test_support.h"

TEST(LoadBitmapImage, ReadsTheResourceWithThatNumber)
{
    CVelvix image;
    ASSERT_EQ(image.LoadBitmapImage(4242), 1);
    ASSERT_EQ(image.GetWidth(), 4);
    ASSERT_EQ(image.GetHeight(), 3);
    // The file's rows are bottom-up: pixel (x, y) is blue 60x, green 100y, red 200-10x.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(image.Bytes(x, y), VxPixel(200 - 10 * x) << 16 | VxPixel(100 * y) << 8 | VxPixel(60 * x));
}

TEST(LoadBitmapImage, AMissingResourceGivesZeroAndLeavesThePicture)
{
    CVelvix image = vxtest::FilledImage(2, 2, 5);
    EXPECT_EQ(image.LoadBitmapImage(4243), 0);
    EXPECT_EQ(image.GetWidth(), 2);
}
