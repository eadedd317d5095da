#include "geometry_test_support.h"

using geometry::SamePixels;
using vxtest::FilledImage;
using vxtest::RandomImage;

namespace {

constexpr VxPixel kGrey = 0x808080;

// A grey picture with a pure red disc of radius^2 <= r2 around (cx, cy).
CVelvix Disc(int w, int h, int cx, int cy, int r2, VxPixel colour = 0xFF0000)
{
    CVelvix image = FilledImage(w, h, kGrey);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r2)
                image.Bytes(x, y) = colour;
    return image;
}

} // namespace

TEST(RedEye, PictureWithoutRedIsUnchanged)
{
    CVelvix image = FilledImage(30, 20, 0x806040);
    CVelvix original = image;
    image.RedEyeReduce();
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(RedEye, PureRedBecomesDarkRed)
{
    CVelvix image = FilledImage(1, 1, 0xFF0000);
    image.RedEyeReduce();
    EXPECT_EQ(image.Bytes(0), 0x6B0000u) << "trunc(0.42 x 255) = 107";
}

TEST(RedEye, FringeRedIsFixedButNeverStartsTheSearch)
{
    // R 100, G 45, B 40 passes 2.05 but not 2.4.
    CVelvix fringe = FilledImage(9, 9, 0x642D28);
    CVelvix original = fringe;
    fringe.RedEyeReduce();
    EXPECT_TRUE(SamePixels(original, fringe));

    fringe.Bytes(4, 4) = 0xFF0000;
    fringe.RedEyeReduce();
    EXPECT_EQ(fringe.Bytes(4, 4), 0x6B0000u);
    EXPECT_EQ(fringe.Bytes(0, 0), VxPixel(int(40 * 0.29 + 45 * 0.29 + 100 * 0.42)) << 16 | 0x2D28u);
}

TEST(RedEye, DiscIsFixedWholeAndGrowthStopsAtItsRim)
{
    CVelvix image = Disc(41, 31, 20, 15, 25);
    CVelvix original = image;
    image.RedEyeReduce();
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 41; ++x)
            EXPECT_EQ(image.Bytes(x, y), original.Bytes(x, y) == 0xFF0000 ? 0x6B0000u : kGrey) << x << "," << y;
}

TEST(RedEye, OnlyTheEyeNearerTheCentreChanges)
{
    CVelvix image = Disc(101, 41, 30, 20, 9);
    CVelvix second = Disc(101, 41, 85, 20, 9);
    for (int i = 0; i < 101 * 41; ++i)
        if (second.Bytes(i) != kGrey)
            image.Bytes(i) = second.Bytes(i);
    image.RedEyeReduce();
    EXPECT_EQ(image.Bytes(30, 20), 0x6B0000u);
    EXPECT_EQ(image.Bytes(85, 20), 0xFF0000u);
}

TEST(RedEye, EqualsTheDefinition)
{
    // Random pictures with reddish pixels everywhere grow large regions;
    // discs off centre exercise the search; a red picture fills every ring.
    for (auto [w, h] : geometry::Sizes()) {
        CVelvix reddish = RandomImage(w, h, w * 3 + h);
        for (int i = 0; i < w * h; ++i)
            reddish.Bytes(i) = (reddish.Bytes(i) & 0xFF3F3F) | 0x800000;
        for (CVelvix source : {reddish, Disc(w, h, w / 3, h / 4, 4), FilledImage(w, h, 0xFF0000), RandomImage(w, h, 4)}) {
            CVelvix image = source;
            image.RedEyeReduce();
            CVelvix expected = oracle::RedEye(source);
            ASSERT_TRUE(SamePixels(expected, image)) << w << "x" << h;
        }
    }
}
