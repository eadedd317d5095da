// The documented cases of the effects, the mended faults and the open choices.
#include <climits>

#include "filter_oracles.h"
#include "filter_test_support.h"

using vxtest::FilledImage;
using vxtest::RandomImage;

TEST(PointEffects, DocumentedValues)
{
    CVelvix white = FilledImage(3, 2, 0xFFFFFF);
    white.ConvertToGrayScale();
    EXPECT_EQ(white.Bytes(5), 0xFFFFFFu);
    CVelvix red = FilledImage(2, 2, 0xFF0000);
    red.ConvertToGrayScale();
    EXPECT_EQ(red.Bytes(0), 76u * 0x010101u);

    CVelvix gain = FilledImage(1, 1, 0xC86400);  // 200, 100, 0
    gain.GammaCorrection(2.0);
    EXPECT_EQ(gain.Bytes(0), 0xFFC800u);

    CVelvix bright = FilledImage(1, 1, 0xF00A0A);
    bright.Brighten(50);
    EXPECT_EQ(bright.Bytes(0), 0xFF1919u) << "the step is lowered to 15";

    CVelvix top = FilledImage(1, 1, 0x7F123456u | 0x80000000u);
    top.Negative();
    EXPECT_EQ(top.Bytes(0), 0xEDCBA9u) << "written pixels have a top byte of 0";
}

TEST(PointEffects, BrightenTakesAFreshStepForEveryPixel)
{
    // A saturated pixel first in buffer order once stopped every later pixel.
    CVelvix image = FilledImage(3, 1, 0x101010);
    image.Bytes(0) = 0xFF0000;
    image.Brighten(20);
    EXPECT_EQ(image.Bytes(0), 0xFF0000u);
    EXPECT_EQ(image.Bytes(1), 0x242424u);
    EXPECT_EQ(image.Bytes(2), 0x242424u);
}

TEST(PointEffects, NormalizeKeepsChannelsInRangeOutsideTheExpectedArgument)
{
    CVelvix image = RandomImage(16, 16, 4);
    CVelvix low = image, high = image;
    low.Normalize(-300);
    high.Normalize(900);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(low.Bytes(i) >> 24, 0u);
        EXPECT_EQ(high.Bytes(i), 0xFFFFFFu) << "every channel limited at 255";
    }
    CVelvix ends = FilledImage(2, 1, 0);
    ends.Bytes(1) = 0xFFFFFF;
    ends.Normalize(100);
    EXPECT_EQ(ends.Bytes(0), 50u * 0x010101u);
    EXPECT_EQ(ends.Bytes(1), 0xFFFFFFu);
}

TEST(PointEffects, CenterGradientLeavesCornersAndAUnitGainAlone)
{
    CVelvix image = RandomImage(21, 13, 5);
    CVelvix unit = image;
    unit.CenterGradientGammaCorrection(1.0, 4.0);
    EXPECT_EQ(vxtest::FirstDifference(unit, image), -1);
    CVelvix grey = FilledImage(21, 13, 0x646464);
    grey.CenterGradientGammaCorrection(1.3, 4.0);
    EXPECT_EQ(grey.Bytes(0, 0), 0x646464u);
    EXPECT_EQ(grey.Bytes(20, 12), 0x646464u);
    EXPECT_EQ(grey.Bytes(10, 6), 0xA0A0A0u) << "1 + 2 x 0.3 at the centre: 100 x 1.6";
}

TEST(PointEffects, CenterGradientMaximumBoundsTheGain)
{
    CVelvix grey = FilledImage(21, 13, 0x282828);  // 40
    CVelvix bounded = grey;
    grey.CenterGradientGammaCorrection(3.0, 100.0);
    EXPECT_EQ(grey.Bytes(10, 6), 200u * 0x010101u) << "1 + 2 x 2 = 5 at the centre";
    bounded.CenterGradientGammaCorrection(3.0, 4.0);
    EXPECT_EQ(bounded.Bytes(10, 6), 160u * 0x010101u);
}

TEST(Equalizations, OneColourImages)
{
    CVelvix seven = FilledImage(7, 7, 0x102030);
    seven.HistogramEqualization();
    EXPECT_EQ(seven.Bytes(24), 254u * 0x010101u) << "49 x (1/49) is just below 1";
    CVelvix eight = FilledImage(8, 8, 0x102030);
    eight.HistogramEqualization();
    EXPECT_EQ(eight.Bytes(3), 0xFFFFFFu);

    CVelvix balanced = FilledImage(4, 4, 0x102030);
    balanced.HistogramEqualizationColorBalanced();
    EXPECT_EQ(balanced.Bytes(0), 0x102030u + 0xCF * 0x010101u) << "up by the smallest distance, 255 - 0x30";
}

TEST(Equalizations, HslKeepsGreyPicturesGreyAndSpreadsLightness)
{
    CVelvix image = FilledImage(4, 2, 0x404040);
    for (int i = 4; i < 8; ++i)
        image.Bytes(i) = 0x606060;
    image.HistogramEqualizationHSL();
    const VxPixel dark = image.Bytes(0), light = image.Bytes(7);
    EXPECT_EQ(dark % 0x010101u, 0u);
    EXPECT_EQ(light, 0xFFFFFFu) << "the lightest bin's share is 1";
    EXPECT_GT(dark & 0xFF, 0x40u) << "the darker half takes half the range";
}

TEST(Rearrangements, DocumentedValues)
{
    CVelvix row = FilledImage(5, 1, 0);
    for (int x = 0; x < 5; ++x)
        row.Bytes(x) = VxPixel(x + 1);
    row.VerticalMirror();
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(row.Bytes(x), VxPixel(5 - x));

    CVelvix image = RandomImage(9, 4, 6), original = image;
    image.ShiftBlur(1);
    EXPECT_EQ(vxtest::FirstDifference(image, original), -1);
    image.ShiftBlur(0);
    EXPECT_EQ(vxtest::FirstDifference(image, original), -1) << "a period below 1 does nothing";

    CVelvix narrow = RandomImage(1, 6, 7), narrowOriginal = narrow;
    narrow.DivideInto2Vertical();
    EXPECT_EQ(vxtest::FirstDifference(narrow, narrowOriginal), -1);

    CVelvix odd = RandomImage(2, 5, 8), oddOriginal = odd;
    odd.DivideInto2Horizantal();
    EXPECT_EQ(odd.Bytes(0, 1), oddOriginal.Bytes(0, 2));
    EXPECT_EQ(odd.Bytes(0, 4), odd.Bytes(0, 0)) << "the last row of an odd height repeats row 0";
}

TEST(Rearrangements, AHugeShiftPeriodTakesNoMemory)
{
    // Only a picture split over several cores saves pixels for the period;
    // 2^31 - 1 once reserved 8 GB for them all the same, which failed in a
    // process allowed 512 MB more address space than it had.
    CVelvix image = RandomImage(300, 300, 9), expected = image;
    oracle::ShiftBlur(expected, INT_MAX);
    const bool same = vxtest::InChildWithPeakKb([&] {
        std::ifstream status("/proc/self/status");
        long sizeKb = -1;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0)
                sizeKb = std::atol(line.c_str() + 7);
        const rlimit limit{rlim_t(sizeKb + 512 * 1024) * 1024, rlim_t(sizeKb + 512 * 1024) * 1024};
        if (sizeKb < 0 || setrlimit(RLIMIT_AS, &limit) != 0)
            return false;
        try {
            image.ShiftBlur(INT_MAX);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return vxtest::FirstDifference(image, expected) == -1;
    }).first;
    EXPECT_TRUE(same);
}

TEST(KernelFilters, DocumentedValues)
{
    CVelvix small = RandomImage(3, 3, 9), smallOriginal = small;
    small.Blur();
    int sums[3] = {0, 0, 0};
    for (int i = 0; i < 9; ++i) {
        sums[0] += oracle::R(smallOriginal.Bytes(i));
        sums[1] += oracle::G(smallOriginal.Bytes(i));
        sums[2] += oracle::B(smallOriginal.Bytes(i));
        if (i != 4)
            EXPECT_EQ(small.Bytes(i), smallOriginal.Bytes(i));
    }
    EXPECT_EQ(small.Bytes(4), oracle::Pack(sums[0] / 9, sums[1] / 9, sums[2] / 9));

    CVelvix flat = FilledImage(6, 5, 0x336699);
    flat.EdgeDetection();
    EXPECT_EQ(flat.Bytes(2, 2), 0u);
    EXPECT_EQ(flat.Bytes(0, 0), 0x336699u);
    CVelvix emboss = FilledImage(6, 5, 0x336699);
    emboss.Emboss();
    EXPECT_EQ(emboss.Bytes(3, 2), 0x808080u);
    CVelvix detail = FilledImage(6, 5, 0x336699);
    detail.EnhanceDetail();
    EXPECT_EQ(detail.Bytes(3, 2), 0x336699u);

    CVelvix tiny = RandomImage(4, 4, 10), tinyOriginal = tiny;
    tiny.ReduceJaggies();
    EXPECT_EQ(vxtest::FirstDifference(tiny, tinyOriginal), -1) << "below 5 x 5 nothing changes";
}

TEST(KernelFilters, RemoveNoiseDocumentedValues)
{
    CVelvix image = FilledImage(3, 3, 0x000010);
    image.Bytes(0, 2) = 0xFF0000;
    image.RemoveNoiseFilter();
    EXPECT_EQ(image.Bytes(1, 1), 0x000010u);
    CVelvix mixed = FilledImage(3, 3, 0);
    for (int i : {0, 3, 5, 8})
        mixed.Bytes(i) = 0x0000FF;
    mixed.RemoveNoiseFilter();
    EXPECT_EQ(mixed.Bytes(4), 0u) << "the bound is 127";
}

TEST(Pixelization, DocumentedLayouts)
{
    CVelvix image = RandomImage(10, 10, 11), original = image;
    image.Pixelize(2);
    EXPECT_EQ(image.Bytes(9, 3), original.Bytes(9, 3));
    EXPECT_EQ(image.Bytes(3, 9), original.Bytes(3, 9));
    EXPECT_EQ(image.Bytes(0, 0), image.Bytes(3, 3));
    EXPECT_EQ(image.Bytes(4, 4), image.Bytes(8, 8)) << "the later square wins on the shared row and column";

    std::vector<unsigned long> out(256, 7);
    CVelvix seventeen = RandomImage(17, 17, 12);
    seventeen.PixelizeBySegments_DataOnly(16, out.data());
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(out[j * 16 + i] == 7, i >= 9 || j >= 9) << i << ", " << j;
    EXPECT_EQ(out[8], oracle::Average(oracle::Pixels(seventeen), 17, 17, 16, 0, 17, 2))
        << "the ninth block is one pixel wide";

    std::fill(out.begin(), out.end(), 7);
    CVelvix tall = FilledImage(10, 40, 0x123456);
    tall.PixelizeBySegments_DataOnly(16, out.data());
    for (int k = 0; k < 256; ++k)
        EXPECT_EQ(out[k], k < 100 ? 0x123456ul : 7ul) << k;
}

TEST(EdgeDetectors, DocumentedValues)
{
    CVelvix flat = FilledImage(5, 5, 0x0A0A0A);
    flat.DetectEdges_Kirsh();
    EXPECT_EQ(flat.Bytes(2, 2), 30u * 0x010101u);
    EXPECT_EQ(flat.Bytes(0, 4), 0x0A0A0Au);

    CVelvix step = FilledImage(8, 5, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 4; x < 8; ++x)
            step.Bytes(x, y) = 0xFFFFFF;
    step.DetectEdges_Sobel();
    EXPECT_EQ(step.Bytes(3, 2), 0xFFFFFFu);
    EXPECT_EQ(step.Bytes(4, 2), 0xFFFFFFu);
    EXPECT_EQ(step.Bytes(1, 2), 0u);

    CVelvix grey = FilledImage(6, 6, 0x777777);
    grey.SetDetectEdges_SobelThreshold(100);
    grey.DetectEdges_Prewitt();
    EXPECT_EQ(grey.Bytes(2, 3), 0xFFFFFFu);
    grey.SetDetectEdges_SobelThreshold(-1);
    grey.DetectEdges_Prewitt();
    EXPECT_EQ(grey.Bytes(2, 3), 0u) << "every magnitude exceeds a negative threshold";
    EXPECT_EQ(grey.Bytes(0, 0), 0x777777u);
}

TEST(EdgeDetectors, TheThresholdBelongsToEachImage)
{
    CVelvix a = FilledImage(4, 4, 0x777777);
    a.SetDetectEdges_SobelThreshold(50);
    CVelvix b;
    b = a;
    b.DetectEdges_Sobel();
    EXPECT_EQ(b.Bytes(1, 1), 0u) << "assignment copies pixels, not the threshold";
    a.DetectEdges_Sobel();
    EXPECT_EQ(a.Bytes(1, 1), 0xFFFFFFu);
}

TEST(NoiseReduction, DocumentedCases)
{
    CVelvix flat = FilledImage(12, 9, 0x405060), flatOriginal = flat;
    flat.AveragingNoiseReductionWithThreshold(4, 256, 2);
    flat.AveragingNoiseReductionWithReverseThresholdExcludeEdges(5, 0, 2);
    EXPECT_EQ(vxtest::FirstDifference(flat, flatOriginal), -1);

    CVelvix image = RandomImage(12, 9, 13), original = image;
    image.AveragingNoiseReductionWithThreshold(3, 0, 2);
    image.AveragingNoiseReductionWithReverseThreshold(3, 255, 2);
    EXPECT_EQ(vxtest::FirstDifference(image, original), -1);
    image.AveragingNoiseReductionWithThreshold(3, 256, 2);
    CVelvix blurred = original;
    oracle::KernelFilter(blurred, "Blur");
    EXPECT_EQ(image.Bytes(5, 5), blurred.Bytes(5, 5)) << "threshold 256 is a plain 3 x 3 blur";

    CVelvix lone = FilledImage(9, 9, 0x202020);
    lone.Bytes(4, 4) = 0xF0F0F0;
    CVelvix kept = lone;
    lone.AveragingNoiseReductionWithReverseThreshold(2, 35, 1);
    EXPECT_NE(lone.Bytes(4, 4), 0xF0F0F0u);
    kept.AveragingNoiseReductionWithThreshold(2, 35, 1);
    EXPECT_EQ(kept.Bytes(4, 4), 0xF0F0F0u);
}

TEST(NoiseReduction, ReplaceAreaWidensTheReplacementSquare)
{
    CVelvix image = RandomImage(15, 15, 14);
    CVelvix one = image, two = image, five = image;
    one.AveragingNoiseReductionWithThreshold(3, 256, 1);
    two.AveragingNoiseReductionWithThreshold(3, 256, 2);
    five.AveragingNoiseReductionWithThreshold(3, 256, 5);
    EXPECT_EQ(vxtest::FirstDifference(one, two), -1) << "1 and 2 both give the 3 x 3 average";
    const std::vector<VxPixel> pixels = oracle::Pixels(image);
    EXPECT_EQ(five.Bytes(7, 7), oracle::Average(pixels, 15, 15, 4, 4, 11, 11)) << "5 reaches 3 to each side";
}

TEST(NoiseReduction, ExcludeEdgesKeepsPixelsNearAStrongBoundary)
{
    CVelvix image = RandomImage(20, 10, 15);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            image.Bytes(x, y) = x < 10 ? (image.Bytes(x, y) & 0x070707) : 0xFFFFFF - (image.Bytes(x, y) & 0x070707);
    CVelvix original = image;
    image.AveragingNoiseReductionWithThresholdExcludeEdges(3, 256, 2);
    for (int y = 0; y < 10; ++y)
        for (int x = 6; x < 14; ++x)
            EXPECT_EQ(image.Bytes(x, y), original.Bytes(x, y)) << x << ", " << y;
    EXPECT_NE(vxtest::FirstDifference(image, original), -1) << "pixels away from the boundary are smoothed";
}

TEST(Histogram, DocumentedValues)
{
    int red[256], green[256], blue[256], max = 0;
    CVelvix one = FilledImage(1, 1, 0x102030);
    one.GetHistogram(red, green, blue, max);
    EXPECT_EQ(red[0x10], 1);
    EXPECT_EQ(green[0x20], 1);
    EXPECT_EQ(blue[0x30], 1);
    EXPECT_EQ(red[0], 0);
    EXPECT_EQ(max, 1);
    CVelvix black = FilledImage(10, 10, 0);
    black.GetHistogram(red, green, blue, max);
    EXPECT_EQ(red[0] + green[0] + blue[0], 300);
    EXPECT_EQ(max, 100);
    CVelvix none;
    red[0] = -7, max = -7;
    none.GetHistogram(red, green, blue, max);
    EXPECT_EQ(red[0], -7);
    EXPECT_EQ(max, -7);
}

TEST(ImageDiff, DocumentedValues)
{
    CVelvix image;
    std::vector<unsigned long> a(256, 0x404040), b(256, 0x404040);
    EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), 256), 0);
    b[0] = 0x404040 + (38 << 16);
    EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), 1), 0) << "38 steps: 4.97 %";
    b[0] = 0x404040 + (39 << 16);
    EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), 1), 100) << "39 steps: 5.10 %";
    b[1] = b[0];
    EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), 256), 0) << "2 of 256";
    b[2] = b[0];
    EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), 256), 1) << "3 of 256";
    std::vector<unsigned long> black(256, 0), white(256, 0xFFFFFF);
    EXPECT_EQ(image.GetImageDiffPercentage(black.data(), white.data(), 256), 100);
    EXPECT_EQ(image.GetImageDiffPercentage(black.data(), white.data(), 0), 0) << "no entries, no division by zero";
}

TEST(EncodeText, RoundTripsWithinTheCapacity)
{
    CVelvix image = RandomImage(100, 100, 16);
    EXPECT_EQ(image.GetEncodeTextMaxSize(), 35);
    EXPECT_EQ(image.GetEncodeTextCapacity(), 31);
    CVelvix original = image;
    ASSERT_TRUE(image.EncodeText("a\xE9 text!" + std::string(22, 'y')));
    CVelvix first = image;
    std::string decoded;
    ASSERT_TRUE(image.DecodeText(decoded));
    EXPECT_EQ(decoded, "a\xE9 text!" + std::string(22, 'y'));
    ASSERT_TRUE(image.EncodeText("short"));
    ASSERT_TRUE(image.DecodeText(decoded));
    EXPECT_EQ(decoded, "short") << "a second text replaces the first";
    for (int i = 0; i < 10000; ++i) {
        const VxPixel was = first.Bytes(i), now = image.Bytes(i);
        EXPECT_EQ(now & 0xFFFF, was & 0xFFFF);
        const int step = int((now >> 16) & 0xFF) - int((was >> 16) & 0xFF);
        EXPECT_LE(std::abs(step), 1);
        if (i >= 35 * 256)
            EXPECT_EQ(now, was) << "pixels after the last block are never touched";
    }
}

TEST(EncodeText, RejectsWhatItCannotStore)
{
    CVelvix image = RandomImage(100, 100, 17), original = image;
    EXPECT_FALSE(image.EncodeText(std::string(32, 'x'))) << "longer than 35 - 4 characters";
    EXPECT_FALSE(image.EncodeText(std::string(35, 'x')));
    EXPECT_FALSE(image.EncodeText(""));
    EXPECT_FALSE(image.EncodeText(std::string("a\0b", 3))) << "a zero byte would vanish";
    EXPECT_EQ(vxtest::FirstDifference(image, original), -1);

    CVelvix four = RandomImage(64, 32, 18);  // 8 blocks: n = 4, room for the marker only
    EXPECT_EQ(four.GetEncodeTextCapacity(), 0);
    EXPECT_FALSE(four.EncodeText("a"));
    CVelvix small = RandomImage(35, 35, 19);
    EXPECT_EQ(small.GetEncodeTextMaxSize(), 0);
    std::string text = "keep";
    EXPECT_FALSE(small.DecodeText(text));
    EXPECT_EQ(text, "keep");
    CVelvix none;
    EXPECT_EQ(none.GetEncodeTextMaxSize(), -1);
    EXPECT_EQ(none.GetEncodeTextCapacity(), -1);
    EXPECT_FALSE(none.EncodeText("a"));
}

// Room for one character after the marker counts as none.
TEST(EncodeText, RoomForOneCharacterIsNone)
{
    struct Case {
        int rows, capacity; // 256 pixels a row: one block each
    } const cases[] = {{8, 0}, {9, 0}, {10, 2}, {11, 3}};
    for (const Case& c : cases) {
        CVelvix image = RandomImage(256, c.rows, 20), original = image;
        EXPECT_EQ(image.GetEncodeTextCapacity(), c.capacity) << c.rows;
        EXPECT_EQ(image.EncodeText("a"), c.capacity > 0) << c.rows;
        if (c.capacity == 0) {
            EXPECT_EQ(vxtest::FirstDifference(image, original), -1) << c.rows;
        }
    }
}

TEST(EncodeText, TextsOutsideLatin1AreRefused)
{
    struct Case {
        const char* utf8;
        const char* latin1; // null: refused
    } const cases[] = {
        {"", ""},
        {"plain %1 *?[", "plain %1 *?["},
        {"caf\xC3\xA9 \xC2\xA0\xC2\x80", "caf\xE9 \xA0\x80"},
        {"\xC3\xBF", "\xFF"},          // the last Latin-1 character
        {"\xC4\x80", nullptr},          // the first beyond it
        {"\xE2\x82\xAC", nullptr},      // euro sign
        {"ok \xF0\x9F\x98\x80", nullptr}, // outside the basic plane
        {"\xC3", nullptr},              // cut short
        {"\xC3\x41", nullptr},          // no continuation byte
        {"\xC0\xA9", nullptr},          // overlong form of ASCII
        {"\xC1\xBF", nullptr},
        {"\x80", nullptr},              // a stray continuation byte
        {"\xFF", nullptr},
    };
    for (const Case& c : cases) {
        std::string latin1 = "kept";
        EXPECT_EQ(CVelvix::ToLatin1(c.utf8, latin1), c.latin1 != nullptr) << c.utf8;
        EXPECT_EQ(latin1, c.latin1 ? c.latin1 : "kept") << c.utf8;
    }
}

TEST(EncodeText, ReadsTheDefinedBlockCodes)
{
    // Blocks written by hand: odd everywhere except the code's pixel.
    CVelvix image = FilledImage(256, 9, 0x000001);  // n = 5
    const std::string codes = "TENC!";
    for (int k = 0; k < 5; ++k)
        image.Bytes(k * 256 + (unsigned char)codes[k]) = 0x000002;
    image.Bytes(5 * 256 + 3) = 0x000002;  // past the n blocks: ignored
    std::string text;
    ASSERT_TRUE(image.DecodeText(text));
    EXPECT_EQ(text, "!");
    image.Bytes(0) = 0x000002;  // block 0 now carries code 0: the marker is lost
    EXPECT_FALSE(image.DecodeText(text));

    CVelvix red = FilledImage(256, 8, 0xFF0001);
    CVelvix marker = red;
    EXPECT_FALSE(red.EncodeText("a"));  // n = 4: no room
    CVelvix larger = FilledImage(256, 10, 0xFF0001);  // room for two characters
    ASSERT_TRUE(larger.EncodeText("a"));
    EXPECT_EQ(larger.Bytes('T'), 0xFF0001u) << "already even";
    EXPECT_EQ(larger.Bytes(0), 0xFE0001u) << "a red byte of 255 steps down";
}
