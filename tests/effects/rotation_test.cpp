#include "geometry_test_support.h"

using geometry::SamePixels;
using vxtest::FilledImage;
using vxtest::RandomImage;

TEST(SimpleRotate, QuarterTurnsRestoreThePicture)
{
    for (auto [w, h] : geometry::Sizes()) {
        CVelvix image = RandomImage(w, h, w + 17 * h);
        CVelvix original = image;
        image.SimpleRotate(true);
        ASSERT_EQ(image.GetWidth(), h);
        ASSERT_EQ(image.GetHeight(), w);
        image.SimpleRotate(false);
        EXPECT_TRUE(SamePixels(original, image)) << w << "x" << h;
        for (int i = 0; i < 4; ++i)
            image.SimpleRotate(false);
        EXPECT_TRUE(SamePixels(original, image)) << w << "x" << h;
    }
}

TEST(SimpleRotate, TurnsLeftAndRightOnScreen)
{
    // Buffer row 0 is the bottom of the picture: turning left brings the
    // bottom-right corner to the top right.
    CVelvix image = FilledImage(3, 2, 0);
    image.Bytes(2, 0) = 7;
    CVelvix left = image, right = image;
    left.SimpleRotate(true);
    EXPECT_EQ(left.Bytes(1, 2), 7u);
    right.SimpleRotate(false);
    EXPECT_EQ(right.Bytes(0, 0), 7u);
}

TEST(SimpleRotateAndFlip, EqualTheDefinition)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {1, 9}, {9, 1}, {16, 16}, {33, 17}, {17, 70}, {700, 390}}) {
        CVelvix source = RandomImage(w, h, w * h);
        for (bool flag : {false, true}) {
            CVelvix turned = source;
            turned.SimpleRotate(flag);
            CVelvix expected = oracle::SimpleRotate(source, flag);
            ASSERT_TRUE(SamePixels(expected, turned)) << w << "x" << h << " left " << flag;
            CVelvix flipped = source;
            flipped.SimpleFlip(flag);
            expected = oracle::SimpleFlip(source, flag);
            ASSERT_TRUE(SamePixels(expected, flipped)) << w << "x" << h << " vertical " << flag;
        }
    }
}

TEST(SimpleFlip, OneRowPictureIsItsOwnHorizontalMirror)
{
    CVelvix image = RandomImage(9, 1);
    CVelvix original = image;
    image.SimpleFlip(false);
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(RotateAngle, CanvasGrowsByTheCornerMargin)
{
    CVelvix small = RandomImage(4, 2);
    small.RotateAngle(90, 0);
    EXPECT_EQ(small.GetWidth(), 6);
    EXPECT_EQ(small.GetHeight(), 4);

    CVelvix photo = RandomImage(640, 480);
    photo.RotateAngle(45, 0);
    EXPECT_EQ(photo.GetWidth(), 952);
    EXPECT_EQ(photo.GetHeight(), 792);

    // No margin for whole and half turns, one-pixel-wide pictures included:
    // they once got a black frame (1 x 5 turned by 0 degrees became 3 x 7).
    for (auto [w, h] : {std::pair{1, 2}, std::pair{1, 5}, std::pair{2, 6}, std::pair{7, 1}}) {
        CVelvix source = RandomImage(w, h, 3);
        for (int angle : {0, 360, -720, 180})
            for (int method : {0, 1}) {
                CVelvix image = source;
                image.RotateAngle(angle, method);
                CVelvix expected = oracle::RotateAngle(source, angle, method);
                EXPECT_EQ(image.GetWidth(), w);
                EXPECT_EQ(image.GetHeight(), h);
                EXPECT_TRUE(SamePixels(expected, image)) << w << "x" << h << " by " << angle << ", " << method;
            }
    }
    CVelvix strip = RandomImage(1, 5, 3), turned = strip;
    turned.RotateAngle(0, 0);
    EXPECT_TRUE(SamePixels(strip, turned));
}

TEST(RotateAngle, CentreKeepsItsPixelAndBilinearLeavesTheCornersBlack)
{
    CVelvix source = FilledImage(41, 30, 0xFFFFFF);
    source.Bytes(20, 15) = 0x123456;
    for (int angle : {-30, 17, 45, 90}) {
        CVelvix image = source;
        image.RotateAngle(angle, 0);
        const int pad = (image.GetWidth() - 41) / 2;
        EXPECT_EQ(image.Bytes(20 + pad, 15 + pad), 0x123456u) << angle;
        EXPECT_EQ(image.Bytes(0, 0), 0u) << angle;
        EXPECT_EQ(image.Bytes(image.GetWidth() - 1, image.GetHeight() - 1), 0u) << angle;
    }
}

TEST(RotateAngle, BSplineWritesEveryPixelAndFadesTheEdges)
{
    // No margin at 0 degrees for this size: every pixel of the old canvas is
    // written, and the edge pixels lose the taps that fall outside.
    CVelvix image = FilledImage(10, 10, 0xFFFFFF);
    ASSERT_EQ(oracle::RotationMargin(image, 0), 0);
    image.RotateAngle(0, 1);
    EXPECT_EQ(image.GetWidth(), 10);
    EXPECT_EQ(image.Bytes(0, 0), 177 * 0x010101u);
}

TEST(RotateAngle, TurnsBeyondAQuarterKeepTheWholePicture)
{
    // A half turn keeps the canvas of no turn and point-mirrors the whole
    // picture through its middle, even sizes included: bilinear sampling
    // moves every pixel unchanged (black margin), B-spline mirrors its
    // 0-degree result.
    for (auto [w, h] : {std::pair{30, 20}, std::pair{31, 21}, std::pair{30, 21}, std::pair{2, 2}, std::pair{1, 4}}) {
        CVelvix source = RandomImage(w, h, 5);
        for (int method : {0, 1}) {
            CVelvix flat = source;
            flat.RotateAngle(0, method);
            const int cw = flat.GetWidth(), ch = flat.GetHeight(), pad = (cw - w) / 2;
            for (int angle : {180, -180, 540}) {
                CVelvix image = source;
                image.RotateAngle(angle, method);
                ASSERT_EQ(image.GetWidth(), cw);
                ASSERT_EQ(image.GetHeight(), ch);
                for (int y = 0; y < ch; ++y)
                    for (int x = 0; x < cw; ++x) {
                        const bool inside = x >= pad && x < pad + w && y >= pad && y < pad + h;
                        const VxPixel want = method != 0 ? flat.Bytes(cw - 1 - x, ch - 1 - y)
                                             : inside    ? source.Bytes(w - 1 - (x - pad), h - 1 - (y - pad))
                                                         : 0u;
                        ASSERT_EQ(image.Bytes(x, y), want) << w << "x" << h << " " << angle << " " << method << " at "
                                                           << x << "," << y;
                    }
            }
        }
    }
    CVelvix source = RandomImage(30, 20, 5);
    CVelvix turned = source;
    turned.RotateAngle(150, 0);
    CVelvix folded = source;
    folded.RotateAngle(30, 0);
    EXPECT_EQ(turned.GetWidth(), folded.GetWidth()) << "150 degrees has the bounding box of 30";
    EXPECT_EQ(turned.GetHeight(), folded.GetHeight());
}

TEST(RotateAngle, EqualsTheDefinitionForEveryMethodAndSize)
{
    for (auto [w, h] : geometry::Sizes()) {
        CVelvix source = RandomImage(w, h, 3 * w + h);
        for (int angle : {0, 1, -7, 45, 90, -135, 180, -180, 200, 359}) {
            for (int method : {0, 1}) {
                CVelvix image = source;
                image.RotateAngle(angle, method);
                CVelvix expected = oracle::RotateAngle(source, angle, method);
                ASSERT_TRUE(SamePixels(expected, image)) << w << "x" << h << " angle " << angle << " method " << method;
            }
        }
    }
}

TEST(RotateAngle, LargerPictureEqualsTheDefinition)
{
    CVelvix source = RandomImage(320, 213, 8);
    for (int method : {0, 1}) {
        CVelvix image = source;
        image.RotateAngle(33, method);
        CVelvix expected = oracle::RotateAngle(source, 33, method);
        ASSERT_TRUE(SamePixels(expected, image)) << method;
    }
}

TEST(RotateAngle, EmptyImageStaysEmpty)
{
    CVelvix empty;
    empty.RotateAngle(45, 0);
    empty.SimpleRotate(true);
    empty.SimpleFlip(false);
    EXPECT_FALSE(empty.IsValidObject());
}
