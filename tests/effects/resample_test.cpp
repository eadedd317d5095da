#include <limits>
#include <string>

#include "geometry_test_support.h"

using geometry::SamePixels;
using vxtest::FilledImage;
using vxtest::RandomImage;

TEST(ResampleBilinear, SameSizeReproducesThePicture)
{
    CVelvix image = RandomImage(37, 23, 4);
    CVelvix original = image;
    image.Resample_Bilinear(23, 37, false);
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(ResampleBilinear, DoublingARowBlendsAndClampsTheLastSample)
{
    CVelvix image = FilledImage(2, 1, 0);
    image.Bytes(1, 0) = 100 * 0x010101u;
    image.Resample_Bilinear(1, 4, false);
    ASSERT_EQ(image.GetWidth(), 4);
    const VxPixel expected[] = {0, 50 * 0x010101u, 100 * 0x010101u, 100 * 0x010101u};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(image.Bytes(x, 0), expected[x]) << x;
}

TEST(ResampleBilinear, KeepingTheAspectFitsInsideTheBox)
{
    CVelvix wide = RandomImage(400, 200);
    wide.Resample_Bilinear(100, 100, true);
    EXPECT_EQ(wide.GetWidth(), 100);
    EXPECT_EQ(wide.GetHeight(), 50);

    CVelvix tall = RandomImage(200, 400);
    tall.Resample_Bilinear(100, 100, true);
    EXPECT_EQ(tall.GetWidth(), 50);
    EXPECT_EQ(tall.GetHeight(), 100);
}

TEST(ResampleBilinear, AThinPictureFittedIntoABoxKeepsAtLeastOneRow)
{
    // 1000 / 100 = 10 per pixel leaves trunc(1 / 10) = 0 rows; an empty
    // result would lose the picture.
    CVelvix line = RandomImage(1000, 1, 9);
    line.Resample_Bilinear(100, 100, true);
    ASSERT_TRUE(line.IsValidObject());
    EXPECT_EQ(line.GetWidth(), 100);
    EXPECT_EQ(line.GetHeight(), 1);
}

// Boxes near the int range: the fitted side is computed without overflow
// (a sanitizer build reports one), and sizes beyond the library's limit
// change nothing.
TEST(ResampleBilinear, HugeBoxesAreFittedWithoutOverflow)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    struct Case {
        int w, h, boxW, boxH, wantW, wantH; // want 0: unchanged
    } const cases[] = {
        {3, 3, kMax, kMax, 0, 0},     {2, 1, kMax, kMax, 0, 0},         {1, 2, kMax, kMax, 0, 0},
        {2, 1, 4, kMax, 4, 2},        {1, 2, kMax, 4, 2, 4},            {5, 5, kMax - 1, kMax, 0, 0},
        {65535, 1, kMax, 1, 0, 0},    {4, 4, 65535, kMax, 0, 0},        {8, 2, 16, kMax, 16, 4},
    };
    for (const Case& c : cases) {
        CVelvix image = RandomImage(c.w, c.h, c.w + c.h);
        CVelvix original = image;
        image.Resample_Bilinear(c.boxH, c.boxW, true);
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " into " + std::to_string(c.boxW));
        if (c.wantW == 0 || c.wantH == 0) {
            EXPECT_TRUE(SamePixels(original, image));
        } else {
            EXPECT_EQ(image.GetWidth(), c.wantW);
            EXPECT_EQ(image.GetHeight(), c.wantH);
        }
    }
}

TEST(ResampleBilinear, OnePixelBecomesAUniformSquare)
{
    CVelvix image = FilledImage(1, 1, 0x123456);
    image.Resample_Bilinear(3, 3, false);
    ASSERT_EQ(image.GetWidth(), 3);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(image.Bytes(i), 0x123456u);
}

TEST(Resample, InvalidRequestsChangeNothing)
{
    CVelvix image = RandomImage(5, 4);
    CVelvix original = image;
    image.Resample_Bilinear(0, 5, false);
    image.Resample_Bilinear(4, -1, true);
    image.Resample_BSpline(4, 0);
    EXPECT_TRUE(SamePixels(original, image));
    CVelvix empty;
    empty.Resample_Bilinear(3, 3, false);
    empty.Resample_BSpline(3, 3);
    EXPECT_FALSE(empty.IsValidObject());
}

TEST(Resample, ASizeBeyondTheLimitLeavesThePictureAsItWas)
{
    CVelvix image = RandomImage(6, 5, 2);
    CVelvix original = image;
    image.Resample_Bilinear(5, 70000, false);
    EXPECT_TRUE(SamePixels(original, image));
    image.Resample_BSpline(70000, 70000);
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(ResampleBSpline, SameSizeBlursWithTheCubicWeights)
{
    // A white dot on black: centre 16/36, edge neighbours 4/36, corners 1/36.
    CVelvix dot = FilledImage(5, 5, 0);
    dot.Bytes(2, 2) = 0xFFFFFF;
    dot.Resample_BSpline(5, 5);
    EXPECT_EQ(dot.Bytes(2, 2), 113 * 0x010101u);
    EXPECT_EQ(dot.Bytes(1, 2), 28 * 0x010101u);
    EXPECT_EQ(dot.Bytes(2, 3), 28 * 0x010101u);
    EXPECT_EQ(dot.Bytes(1, 1), 7 * 0x010101u);
    EXPECT_EQ(dot.Bytes(0, 0), 0u);
}

TEST(ResampleBSpline, EdgesDarkenBecauseTapsOutsideAreSkipped)
{
    CVelvix white = FilledImage(6, 4, 0xFFFFFF);
    white.Resample_BSpline(4, 6);
    EXPECT_EQ(white.Bytes(0, 0), 177 * 0x010101u) << "255 x (5/6)^2";
    EXPECT_EQ(white.Bytes(0, 2), 212 * 0x010101u) << "one column of taps skipped: 255 x 5/6";
    EXPECT_EQ(white.Bytes(3, 1), 0xFFFFFFu) << "inside, the weights sum to 1";
}

TEST(Resample, EqualsTheDefinitionOnEverySizeAndScale)
{
    const std::pair<int, int> targets[] = {{1, 1}, {2, 3}, {5, 1}, {1, 9}, {13, 7}, {64, 40}, {40, 64}, {7, 150}};
    for (auto [w, h] : geometry::Sizes()) {
        CVelvix source = RandomImage(w, h, w * 131 + h);
        for (auto [tw, th] : targets) {
            for (bool keep : {false, true}) {
                CVelvix image = source;
                image.Resample_Bilinear(th, tw, keep);
                CVelvix expected = oracle::Resample(source, th, tw, keep, false);
                ASSERT_TRUE(SamePixels(expected, image)) << w << "x" << h << " -> " << tw << "x" << th << " keep " << keep;
            }
            CVelvix image = source;
            image.Resample_BSpline(th, tw);
            CVelvix expected = oracle::Resample(source, th, tw, false, true);
            ASSERT_TRUE(SamePixels(expected, image)) << "B-spline " << w << "x" << h << " -> " << tw << "x" << th;
        }
    }
}

TEST(Resample, HalvingAndDoublingALargerPictureEqualTheDefinition)
{
    // Large enough to run on both cores; halving hits exact source columns.
    CVelvix source = RandomImage(600, 401, 77);
    for (auto [tw, th] : {std::pair{300, 200}, std::pair{1200, 802}, std::pair{457, 333}}) {
        CVelvix image = source;
        image.Resample_Bilinear(th, tw, false);
        CVelvix expected = oracle::Resample(source, th, tw, false, false);
        ASSERT_TRUE(SamePixels(expected, image)) << tw << "x" << th;
        image = source;
        image.Resample_BSpline(th, tw);
        expected = oracle::Resample(source, th, tw, false, true);
        ASSERT_TRUE(SamePixels(expected, image)) << "B-spline " << tw << "x" << th;
    }
}
