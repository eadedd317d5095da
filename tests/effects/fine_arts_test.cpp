#include <algorithm>
#include <functional>

#include "geometry_test_support.h"

using geometry::SamePixels;
using vxtest::FilledImage;
using vxtest::RandomImage;

namespace {

struct Effect {
    const char* name;
    std::function<void(CVelvix&)> run;
    std::function<CVelvix(CVelvix)> expected;
};

std::vector<Effect> Effects()
{
    return {
        {"fish eye", [](CVelvix& i) { i.FishEyeEffect(); }, oracle::FishEye},
        {"swirl 100", [](CVelvix& i) { i.SwirlEffect(100); }, [](CVelvix s) { return oracle::Swirl(s, 100); }},
        {"swirl 3", [](CVelvix& i) { i.SwirlEffect(3); }, [](CVelvix s) { return oracle::Swirl(s, 3); }},
        {"caricature", [](CVelvix& i) { i.Caricature(); }, oracle::Caricature},
        {"cylinder mirror", [](CVelvix& i) { i.CylinderMirror(); }, oracle::CylinderMirror},
        {"bathroom window 1", [](CVelvix& i) { i.BathroomWindowEffect1(); }, oracle::BathroomWindow1},
        {"bathroom window 2", [](CVelvix& i) { i.BathroomWindowEffect2(); }, oracle::BathroomWindow2},
        {"underwater 15", [](CVelvix& i) { i.UnderWater(15); }, [](CVelvix s) { return oracle::UnderWater(s, 15); }},
        {"underwater 50", [](CVelvix& i) { i.UnderWater(50); }, [](CVelvix s) { return oracle::UnderWater(s, 50); }},
        {"solarization", [](CVelvix& i) { i.ImageSolarization(); }, oracle::Solarization},
        {"relief map", [](CVelvix& i) { i.ReliefMap(); }, oracle::Relief},
        {"oil paint 1", [](CVelvix& i) { i.OilPaint(1); }, [](CVelvix s) { return oracle::OilPaint(s, 1); }},
        {"oil paint 3", [](CVelvix& i) { i.OilPaint(3); }, [](CVelvix s) { return oracle::OilPaint(s, 3); }},
        {"oil paint 5", [](CVelvix& i) { i.OilPaint(5); }, [](CVelvix s) { return oracle::OilPaint(s, 5); }},
    };
}

// Random pixels limited to a few nearby colours, so that the oil paint finds
// groups and the relief map sees both signs of differences.
CVelvix FewColours(int w, int h, std::uint32_t seed)
{
    CVelvix image = RandomImage(w, h, seed);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = (image.Bytes(i) % 5) * 0x040302u + 0x402010u;
    return image;
}

} // namespace

TEST(FineArts, EveryEffectEqualsTheDefinition)
{
    for (auto [w, h] : geometry::Sizes()) {
        for (bool fewColours : {false, true}) {
            CVelvix source = fewColours ? FewColours(w, h, w * 7 + h) : RandomImage(w, h, w * 5 + h);
            for (const Effect& effect : Effects()) {
                CVelvix image = source;
                effect.run(image);
                CVelvix expected = effect.expected(source);
                ASSERT_TRUE(SamePixels(expected, image)) << effect.name << " on " << w << "x" << h;
            }
        }
    }
}

TEST(FineArts, EffectsEqualTheDefinitionOnALargerPicture)
{
    CVelvix source = FewColours(301, 230, 3);  // large enough for both cores
    for (const Effect& effect : Effects()) {
        CVelvix image = source;
        effect.run(image);
        CVelvix expected = effect.expected(source);
        ASSERT_TRUE(SamePixels(expected, image)) << effect.name;
    }
}

TEST(FineArts, EmptyImagesAndInvalidValuesChangeNothing)
{
    CVelvix empty;
    for (const Effect& effect : Effects())
        effect.run(empty);
    empty.MeltEffect(1);
    EXPECT_FALSE(empty.IsValidObject());

    CVelvix image = RandomImage(12, 9);
    CVelvix original = image;
    image.OilPaint(0);
    image.OilPaint(6);
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(UnderWater, OneColourPictureStaysTheSame)
{
    CVelvix image = FilledImage(300, 140, 0x3366CC);
    CVelvix original = image;
    image.UnderWater(15);
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(BathroomWindow1, StripsShowTheirNeighbourhoodSqueezed)
{
    CVelvix image = RandomImage(16, 2);
    CVelvix original = image;
    image.BathroomWindowEffect1();
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(image.Bytes(x, 1), original.Bytes(x, 1)) << "no source left of column 0";
    for (int x = 8; x < 16; ++x)
        EXPECT_EQ(image.Bytes(x, 1), original.Bytes(2 * x - 16, 1));
}

TEST(Swirl, KeepsTheCentreAndTurnsByDistanceOverK)
{
    // On a picture that is a function of the angle only, a pixel at distance
    // r shows the colour r / k radians further round.
    CVelvix source = RandomImage(61, 41, 12);
    for (float k : {2.0f, 100.0f, 5000.0f}) {
        CVelvix image = source;
        image.SwirlEffect(k);
        EXPECT_EQ(image.Bytes(30, 20), source.Bytes(30, 20)) << k;
    }
    CVelvix rays = FilledImage(61, 61, 0);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 61; ++x)
            rays.Bytes(x, y) = std::abs(y - 30) <= 1 && x > 30 ? 0xFFFFFF : 0;
    CVelvix swirled = rays;
    swirled.SwirlEffect(20 / 1.5707964f);  // distance 20 turns a quarter
    EXPECT_EQ(swirled.Bytes(30, 10), 0xFFFFFFu) << "the ray at angle 0 appears a quarter turn back";
}

TEST(ReliefMap, OneColourGivesMidBlueExceptTheLastTwoRowsAndColumns)
{
    CVelvix image = FilledImage(7, 5, 0x808080);
    image.ReliefMap();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(image.Bytes(x, y), x < 5 && y < 3 ? 0x000080u : 0x808080u) << x << "," << y;
}

TEST(ReliefMap, DifferencesWrapAcrossChannelsButNeverIntoTheTopByte)
{
    CVelvix image = FilledImage(3, 3, 0);
    image.Bytes(2, 2) = 0x0000FF;
    image.ReliefMap();
    EXPECT_EQ(image.Bytes(0, 0), 0xFFFF81u) << "0 - 0xFF + 128 borrows through green and red";
}

TEST(ImageSolarization, ColumnZeroInvertsOnlyBlack)
{
    CVelvix image = FilledImage(4, 2, 0xFFFFFF);
    image.Bytes(0, 0) = 0;
    image.ImageSolarization();
    EXPECT_EQ(image.Bytes(0, 0), 0xFFFFFFu);
    EXPECT_EQ(image.Bytes(0, 1), 0xFFFFFFu);
    EXPECT_EQ(image.Bytes(1, 1), 0xFFFFFFu) << "white exceeds 4 x 1 x 127.5";

    CVelvix wide = FilledImage(70000 / 100, 1, 0x800000);
    wide.ImageSolarization();
    // 0x800000 = 8388608 <= 700 x x x 127.5 from x = 94 on.
    EXPECT_EQ(wide.Bytes(93, 0), 0x800000u);
    EXPECT_EQ(wide.Bytes(94, 0), 0x7FFFFFu);
}

TEST(OilPaint, SizeOneFollowsTheFirstColourOfTheSquare)
{
    // The first in-image pixel of the 3 x 3 square seeds the only group.
    CVelvix image = FilledImage(3, 3, 0x101010);
    image.Bytes(1, 1) = 0xFFFFFF;
    CVelvix painted = image;
    painted.OilPaint(1);
    EXPECT_EQ(painted.Bytes(1, 1), 0x101010u) << "eight pixels close to the first";

    CVelvix lonely = RandomImage(3, 3, 4);
    for (int i = 0; i < 9; ++i)
        lonely.Bytes(i) = VxPixel(i) * 0x200000u;  // all far apart
    CVelvix result = lonely;
    result.OilPaint(1);
    EXPECT_TRUE(SamePixels(lonely, result)) << "every colour met once: pixels keep their value";
}

TEST(CylinderMirror, PortraitIsTheLandscapeMappingTurnedOnItsSide)
{
    // Transposing, mirroring as landscape and transposing back gives the
    // portrait result up to the order of the bilinear blend.
    CVelvix portrait = RandomImage(23, 41, 6);
    CVelvix mirrored = portrait;
    mirrored.CylinderMirror();
    CVelvix transposed = FilledImage(41, 23, 0);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 23; ++x)
            transposed.Bytes(y, x) = portrait.Bytes(x, y);
    transposed.CylinderMirror();
    int changed = 0;
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 23; ++x) {
            changed += mirrored.Bytes(x, y) != portrait.Bytes(x, y);
            for (int shift : {0, 8, 16})
                ASSERT_NEAR(oracle::Channel(mirrored.Bytes(x, y), shift),
                            oracle::Channel(transposed.Bytes(y, x), shift), 1)
                    << x << "," << y;
        }
    EXPECT_GT(changed, 23 * 41 / 2) << "portrait pictures are mirrored too";
}

TEST(CylinderMirror, LandscapeReferenceAngleIsAQuarterTurn)
{
    CVelvix image = RandomImage(8, 4);
    EXPECT_EQ(oracle::I(image).GetAngle(0, 2), 1.5707964f);
}

namespace {

std::vector<VxPixel> Column(CVelvix& image, int x)
{
    std::vector<VxPixel> column;
    for (int y = 0; y < image.GetHeight(); ++y)
        column.push_back(image.Bytes(x, y));
    return column;
}

// Sum over pixels of value x row: smaller when large values sit lower.
double Moment(CVelvix& image)
{
    double moment = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            moment += double(image.Bytes(x, y)) * y;
    return moment;
}

} // namespace

TEST(MeltEffect, KeepsEveryColumnsPixelsAndDrawsLargeValuesDown)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 2}, {1, 30}, {30, 2}, {64, 48}, {48, 64}}) {
        CVelvix source = RandomImage(w, h, w + h);
        CVelvix melted = source;
        melted.MeltEffect(12345u);
        for (int x = 0; x < w; ++x) {
            std::vector<VxPixel> before = Column(source, x), after = Column(melted, x);
            std::sort(before.begin(), before.end());
            std::sort(after.begin(), after.end());
            ASSERT_EQ(before, after) << "pixels only move within their column, " << w << "x" << h;
        }
        EXPECT_LT(Moment(melted), Moment(source)) << w << "x" << h;
    }
}

TEST(MeltEffect, SameSeedSameResultAndSortedColumnsStay)
{
    CVelvix source = RandomImage(40, 30, 2);
    CVelvix a = source, b = source, c = source;
    a.MeltEffect(7u);
    b.MeltEffect(7u);
    c.MeltEffect(8u);
    EXPECT_TRUE(SamePixels(a, b));
    EXPECT_FALSE(SamePixels(a, c));

    // Strictly decreasing upward: no pair is ever swapped.
    CVelvix sorted = FilledImage(5, 6, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x)
            sorted.Bytes(x, y) = VxPixel(60 - 10 * y + x);
    CVelvix melted = sorted;
    melted.MeltEffect();
    EXPECT_TRUE(SamePixels(sorted, melted));

    CVelvix row = RandomImage(9, 1);
    CVelvix original = row;
    row.MeltEffect();
    EXPECT_TRUE(SamePixels(original, row)) << "a single row has no neighbour above";
}
