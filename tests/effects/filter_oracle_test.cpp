// Every fast effect against its plain definition on random and mixed pictures
// of many sizes, with every row-kernel table the processor can run.
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "filter_oracles.h"
#include "filter_test_support.h"
#include "image/parallel.h"

using filtertest::ExpectSame;
using filtertest::kSizes;
using filtertest::MixedImage;

namespace {

using Op = std::function<void(CVelvix&)>;

void CompareOnAllSizes(const std::string& name, const Op& fast, const Op& plain)
{
    std::uint32_t seed = 1;
    for (const auto& size : kSizes) {
        CVelvix random = vxtest::RandomImage(size.w, size.h, seed++);
        ExpectSame(random, fast, plain, name + " (random)");
        CVelvix mixed = MixedImage(size.w, size.h, seed++);
        ExpectSame(mixed, fast, plain, name + " (mixed)");
    }
}

} // namespace

TEST(PointEffects, EqualTheirDefinitions)
{
    auto channelOp = [](VxPixel keep) {
        return [keep](CVelvix& im) {
            for (int i = 0; i < oracle::N(im); ++i)
                im.Bytes(i) &= keep;
        };
    };
    CompareOnAllSizes("RedFilter", [](CVelvix& im) { im.RedFilter(); }, channelOp(0xFF0000));
    CompareOnAllSizes("GreenFilter", [](CVelvix& im) { im.GreenFilter(); }, channelOp(0x00FF00));
    CompareOnAllSizes("BlueFilter", [](CVelvix& im) { im.BlueFilter(); }, channelOp(0x0000FF));
    CompareOnAllSizes("Negative", [](CVelvix& im) { im.Negative(); }, [](CVelvix& im) {
        for (int i = 0; i < oracle::N(im); ++i) {
            const VxPixel p = im.Bytes(i);
            im.Bytes(i) = oracle::Pack(255 - oracle::R(p), 255 - oracle::G(p), 255 - oracle::B(p));
        }
    });
    CompareOnAllSizes("ConvertToGrayScale", [](CVelvix& im) { im.ConvertToGrayScale(); },
                      [](CVelvix& im) { oracle::ConvertToGrayScale(im); });
    for (int amount : {0, 1, 50, 200, 255})
        CompareOnAllSizes("Brighten " + std::to_string(amount),
                          [amount](CVelvix& im) { im.Brighten((unsigned char)amount); },
                          [amount](CVelvix& im) { oracle::Brighten(im, (unsigned char)amount); });
    for (int k : {-300, -255, -40, 0, 17, 128, 255, 1000})
        CompareOnAllSizes("ChangeContrast " + std::to_string(k), [k](CVelvix& im) { im.ChangeContrast(k); },
                          [k](CVelvix& im) { oracle::ChangeContrast(im, k); });
    for (double d : {0.0, 1.0, 33.3, 255.0, 509.0, 510.0})
        CompareOnAllSizes("Normalize " + std::to_string(d), [d](CVelvix& im) { im.Normalize(d); },
                          [d](CVelvix& im) { oracle::Normalize(im, d); });
    for (double gain : {0.0, 0.1, 0.5, 1.0, 1.3, 2.0, 30.0, -1.0})
        CompareOnAllSizes("GammaCorrection " + std::to_string(gain), [gain](CVelvix& im) { im.GammaCorrection(gain); },
                          [gain](CVelvix& im) { oracle::GammaCorrection(im, gain); });
}

TEST(PointEffects, CenterGradientEqualsItsDefinitionWithEveryKernelTable)
{
    filtertest::ForEachKernelTable([](const std::string& table) {
        // Negative factors and factors above 255 as well.
        for (double gain : {0.5, 1.0, 1.3, 2.5, -2.0, 300.0})
            for (double maximum : {4.0, 1.2, 100.0, 0.5, 1000.0})
                CompareOnAllSizes("CenterGradientGammaCorrection " + std::to_string(gain) + " " +
                                      std::to_string(maximum) + " [" + table + "]",
                                  [=](CVelvix& im) { im.CenterGradientGammaCorrection(gain, maximum); },
                                  [=](CVelvix& im) { oracle::CenterGradientGammaCorrection(im, gain, maximum); });
    });
}

// A gain of 1 leaves the picture as it is whatever the maximum; a maximum
// below 1 never darkens the disc (that left a step at its rim).
TEST(PointEffects, CenterGradientWithAGainOf1ChangesNothing)
{
    CVelvix source = MixedImage(31, 24, 7);
    for (double maximum : {0.1, 0.5, 0.99, 1.0, 4.0, 30.0}) {
        CVelvix image = source;
        image.CenterGradientGammaCorrection(1.0, maximum);
        EXPECT_EQ(vxtest::FirstDifference(image, source), -1) << maximum;
        image.CenterGradientGammaCorrection(2.0, maximum);
        for (int i = 0; i < 31 * 24; ++i)
            for (int shift : {0, 8, 16})
                ASSERT_GE((image.Bytes(i) >> shift) & 0xFF, (source.Bytes(i) >> shift) & 0xFF) << maximum;
    }
}

TEST(PointEffects, LargePicturesSplitOverTheCoresEqualTheirDefinitions)
{
    // Above the sizes that are split across the cores, with odd pixel counts
    // so that every part and every stretch within a part ends in a remainder
    // shorter than a vector.
    for (auto [w, h] : {std::pair{263, 251}, std::pair{4001, 17}, std::pair{521, 509}}) {
        CVelvix mixed = MixedImage(w, h, std::uint32_t(w));
        // Means exactly on an integer and just below one: a pixel left out or
        // counted twice moves the truncated mean.
        CVelvix even = vxtest::FilledImage(w, h, 0x64C832), below = even;
        below.Bytes(w * h - 1) = 0x63C731;
        for (CVelvix* image : {&mixed, &even, &below})
            for (int k : {-255, 60, 255})
                ExpectSame(*image, [k](CVelvix& im) { im.ChangeContrast(k); },
                           [k](CVelvix& im) { oracle::ChangeContrast(im, k); }, "ChangeContrast " + std::to_string(k));
        int red[256], green[256], blue[256], max = 0, expected[3][256];
        mixed.GetHistogram(red, green, blue, max);
        oracle::Histograms(mixed, expected);
        for (int v = 0; v < 256; ++v)
            ASSERT_TRUE(red[v] == expected[0][v] && green[v] == expected[1][v] && blue[v] == expected[2][v]) << v;
        ExpectSame(mixed, [](CVelvix& im) { im.HistogramEqualization(); },
                   [](CVelvix& im) { oracle::HistogramEqualization(im); }, "HistogramEqualization");
        filtertest::ForEachKernelTable([&](const std::string& table) {
            ExpectSame(mixed, [](CVelvix& im) { im.CenterGradientGammaCorrection(2.5, 100.0); },
                       [](CVelvix& im) { oracle::CenterGradientGammaCorrection(im, 2.5, 100.0); },
                       "CenterGradientGammaCorrection [" + table + "]");
            ExpectSame(mixed, [](CVelvix& im) { im.HistogramEqualizationColorBalanced(); },
                       [](CVelvix& im) { oracle::HistogramEqualizationColorBalanced(im); },
                       "HistogramEqualizationColorBalanced [" + table + "]");
        });
    }
}

TEST(Equalizations, EqualTheirDefinitions)
{
    CompareOnAllSizes("HistogramEqualization", [](CVelvix& im) { im.HistogramEqualization(); },
                      [](CVelvix& im) { oracle::HistogramEqualization(im); });
    filtertest::ForEachKernelTable([](const std::string& table) {
        CompareOnAllSizes("HistogramEqualizationColorBalanced [" + table + "]",
                          [](CVelvix& im) { im.HistogramEqualizationColorBalanced(); },
                          [](CVelvix& im) { oracle::HistogramEqualizationColorBalanced(im); });
    });
    filtertest::ForEachKernelTable([](const std::string& table) {
        CompareOnAllSizes("HistogramEqualizationHSL [" + table + "]",
                          [](CVelvix& im) { im.HistogramEqualizationHSL(); },
                          [](CVelvix& im) { oracle::HistogramEqualizationHSL(im); });
    });
}

// Grey and HSL lightness depend on the colour alone: every one of the 2^24
// colours, the vector loops against the plain ones.
TEST(PointEffects, EveryColourGivesTheSameResultOnEveryKernelTable)
{
    CVelvix colours = vxtest::FilledImage(4096, 4096, 0);
    for (int i = 0; i < 4096 * 4096; ++i)
        colours.Bytes(i) = VxPixel(i);
    const std::pair<const char*, Op> ops[] = {
        {"ConvertToGrayScale", [](CVelvix& im) { im.ConvertToGrayScale(); }},
        {"HistogramEqualizationHSL", [](CVelvix& im) { im.HistogramEqualizationHSL(); }},
    };
    for (const auto& [name, op] : ops) {
        CVelvix plain = colours, fast = colours;
        VxForceKernels(&VxPortableKernels());
        op(plain);
        if (VxAvx2Kernels()) {
            VxForceKernels(VxAvx2Kernels());
            op(fast);
            EXPECT_EQ(vxtest::FirstDifference(fast, plain), -1) << name;
        }
        VxForceKernels(nullptr);
    }
    CVelvix grey = colours;
    oracle::ConvertToGrayScale(grey);
    CVelvix fast = colours;
    fast.ConvertToGrayScale();
    EXPECT_EQ(vxtest::FirstDifference(fast, grey), -1);
}

TEST(Rearrangements, EqualTheirDefinitions)
{
    for (int n : {1, 2, 3, 15, 64, 1000, 100000})
        CompareOnAllSizes("ShiftBlur " + std::to_string(n), [n](CVelvix& im) { im.ShiftBlur(n); },
                          [n](CVelvix& im) { oracle::ShiftBlur(im, n); });
    CompareOnAllSizes("VerticalMirror", [](CVelvix& im) { im.VerticalMirror(); },
                      [](CVelvix& im) { oracle::VerticalMirror(im); });
    CompareOnAllSizes("HorizantalMirror", [](CVelvix& im) { im.HorizantalMirror(); },
                      [](CVelvix& im) { oracle::HorizantalMirror(im); });
    CompareOnAllSizes("DivideInto2Vertical", [](CVelvix& im) { im.DivideInto2Vertical(); },
                      [](CVelvix& im) { oracle::DivideInto2Vertical(im); });
    CompareOnAllSizes("DivideInto2Horizantal", [](CVelvix& im) { im.DivideInto2Horizantal(); },
                      [](CVelvix& im) { oracle::DivideInto2Horizantal(im); });
    CompareOnAllSizes("Divide", [](CVelvix& im) { im.Divide(); }, [](CVelvix& im) {
        oracle::DivideInto2Vertical(im);
        oracle::DivideInto2Horizantal(im);
    });
}

TEST(ShiftBlur, EqualsItsDefinitionAcrossTheBandsOfALargeImage)
{
    // Large enough to run on several cores: band ends read pixels of the next band.
    CVelvix image = vxtest::RandomImage(701, 257, 5);
    for (int n : {1, 2, 7, 255, 4096})
        ExpectSame(image, [n](CVelvix& im) { im.ShiftBlur(n); }, [n](CVelvix& im) { oracle::ShiftBlur(im, n); },
                   "ShiftBlur " + std::to_string(n));
}

TEST(KernelFilters, EqualTheirDefinitionsWithEveryKernelTable)
{
    const std::vector<std::pair<std::string, Op>> filters = {
        {"Blur", [](CVelvix& im) { im.Blur(); }},
        {"GaussianBlur", [](CVelvix& im) { im.GaussianBlur(); }},
        {"Sharpen0", [](CVelvix& im) { im.Sharpen(0); }},
        {"Sharpen1", [](CVelvix& im) { im.Sharpen(7); }},
        {"EdgeDetection", [](CVelvix& im) { im.EdgeDetection(); }},
        {"EnhanceEdges", [](CVelvix& im) { im.EnhanceEdges(); }},
        {"EnhanceFocus", [](CVelvix& im) { im.EnhanceFocus(); }},
        {"EnhanceDetail", [](CVelvix& im) { im.EnhanceDetail(); }},
        {"Emboss", [](CVelvix& im) { im.Emboss(); }},
        {"ReduceJaggies", [](CVelvix& im) { im.ReduceJaggies(); }},
    };
    filtertest::ForEachKernelTable([&](const std::string& table) {
        for (const auto& [name, fast] : filters)
            CompareOnAllSizes(name + " [" + table + "]", fast,
                              [name = name](CVelvix& im) { oracle::KernelFilter(im, name); });
        CompareOnAllSizes("RemoveNoiseFilter [" + table + "]", [](CVelvix& im) { im.RemoveNoiseFilter(); },
                          [](CVelvix& im) { oracle::RemoveNoiseFilter(im); });
    });
}

TEST(KernelFilters, KeepTheTopByteOfTheBorderAndClearItInside)
{
    // Decoded pictures may carry an alpha byte; written pixels never do.
    CVelvix image = vxtest::RandomImage(9, 6, 3);
    for (int i = 0; i < 54; ++i)
        image.Bytes(i) |= 0xAB000000u;
    CVelvix blurred = image;
    blurred.Blur();
    EXPECT_EQ(blurred.Bytes(0, 0), image.Bytes(0, 0));
    EXPECT_EQ(blurred.Bytes(4, 3) >> 24, 0u);
    CVelvix plain = image;
    for (int i = 0; i < 54; ++i)
        plain.Bytes(i) &= 0xFFFFFF;
    oracle::KernelFilter(plain, "Blur");
    EXPECT_EQ(blurred.Bytes(4, 3), plain.Bytes(4, 3));
}

TEST(EdgeDetectors, EqualTheirDefinitionsWithEveryKernelTable)
{
    filtertest::ForEachKernelTable([&](const std::string& table) {
        for (int method = 0; method < 3; ++method)
            for (int threshold : {0, 1, 30, 100, -1}) {
                auto fast = [=](CVelvix& im) {
                    im.SetDetectEdges_SobelThreshold(threshold);
                    if (method == 0)
                        im.DetectEdges_Sobel();
                    else if (method == 1)
                        im.DetectEdges_Prewitt();
                    else
                        im.DetectEdges_Kirsh();
                };
                CompareOnAllSizes("edges " + std::to_string(method) + "/" + std::to_string(threshold) + " [" +
                                      table + "]",
                                  fast, [=](CVelvix& im) { oracle::DetectEdges(im, method, threshold); });
            }
    });
}

TEST(Pixelization, EqualsItsDefinition)
{
    for (int n : {-1, 0, 1, 2, 3, 7, 40})
        CompareOnAllSizes("Pixelize " + std::to_string(n), [n](CVelvix& im) { im.Pixelize(n); },
                          [n](CVelvix& im) { oracle::Pixelize(im, n); });
    for (int n : {-3, 0, 1, 2, 3, 10, 16, 100})
        CompareOnAllSizes("PixelizeBySegments " + std::to_string(n), [n](CVelvix& im) { im.PixelizeBySegments(n); },
                          [n](CVelvix& im) { oracle::Segments(im, n, nullptr); });
}

TEST(Signature, EqualsItsDefinitionAndWritesOnlyTheVisitedEntries)
{
    std::uint32_t seed = 40;
    for (const auto& size : kSizes)
        for (int n : {0, 1, 3, 16, 70}) {
            CVelvix image = MixedImage(size.w, size.h, seed++);
            std::vector<unsigned long> fast(70 * 70 + 1, 0xDEADBEEFul), plain(70 * 70 + 1, 0xDEADBEEFul);
            image.PixelizeBySegments_DataOnly(n, fast.data());
            CVelvix copy = image;
            oracle::Segments(copy, n, plain.data());
            EXPECT_EQ(fast, plain) << size.w << " x " << size.h << ", n = " << n;
            CVelvix untouched = image;
            EXPECT_EQ(vxtest::FirstDifference(copy, untouched), -1);
        }
}

TEST(NoiseReduction, EqualsItsDefinitionForEveryVariant)
{
    std::uint32_t seed = 90;
    for (const auto& size : std::vector<filtertest::Size>{{1, 1}, {2, 3}, {5, 7}, {16, 9}, {40, 23}})
        for (bool reverse : {false, true})
            for (bool exclude : {false, true})
                for (int area : {0, 1, 2, 4})
                    for (int threshold : {0, 5, 35, 256})
                        for (int replace : {0, 1, 2, 3, 6}) {
                            CVelvix image = MixedImage(size.w, size.h, seed++);
                            auto fast = [=](CVelvix& im) {
                                if (!reverse && !exclude)
                                    im.AveragingNoiseReductionWithThreshold(area, threshold, replace);
                                else if (reverse && !exclude)
                                    im.AveragingNoiseReductionWithReverseThreshold(area, threshold, replace);
                                else if (!reverse)
                                    im.AveragingNoiseReductionWithThresholdExcludeEdges(area, threshold, replace);
                                else
                                    im.AveragingNoiseReductionWithReverseThresholdExcludeEdges(area, threshold,
                                                                                               replace);
                            };
                            ExpectSame(image, fast,
                                       [=](CVelvix& im) {
                                           oracle::NoiseReduction(im, area, threshold, replace, reverse, exclude);
                                       },
                                       "noise " + std::to_string(reverse) + std::to_string(exclude) + " area " +
                                           std::to_string(area) + " threshold " + std::to_string(threshold) +
                                           " replace " + std::to_string(replace));
                        }
}

TEST(NoiseReduction, EqualsItsDefinitionOnALargeImageWithAWideArea)
{
    // Several bands on several cores, squares wider than the picture's height.
    CVelvix image = MixedImage(300, 40, 7);
    for (bool exclude : {false, true})
        ExpectSame(image,
                   [=](CVelvix& im) {
                       exclude ? im.AveragingNoiseReductionWithThresholdExcludeEdges(30, 40, 2)
                               : im.AveragingNoiseReductionWithReverseThreshold(30, 20, 2);
                   },
                   [=](CVelvix& im) { oracle::NoiseReduction(im, 30, exclude ? 40 : 20, 2, !exclude, exclude); },
                   exclude ? "threshold exclude edges" : "reverse threshold");
}

TEST(Histogram, EqualsItsDefinition)
{
    std::uint32_t seed = 200;
    for (const auto& size : kSizes) {
        CVelvix image = MixedImage(size.w, size.h, seed++);
        int red[256], green[256], blue[256], max = -5, expected[3][256];
        image.GetHistogram(red, green, blue, max);
        oracle::Histograms(image, expected);
        int expectedMax = 0;
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(red[v], expected[0][v]);
            ASSERT_EQ(green[v], expected[1][v]);
            ASSERT_EQ(blue[v], expected[2][v]);
            expectedMax = std::max({expectedMax, red[v], green[v], blue[v]});
        }
        EXPECT_EQ(max, expectedMax);
    }
}

namespace {

// A colour exactly `steps` channel steps (at most 255) from `colour`.
unsigned long AtDistance(unsigned long colour, int steps, std::mt19937& random)
{
    unsigned long out = 0;
    for (int shift : {16, 8, 0}) {
        const int v = int((colour >> shift) & 0xFF);
        const int step = shift == 0 ? steps : int(random() % unsigned(steps + 1));
        steps -= step;
        out |= (unsigned long)(v + step <= 255 ? v + step : v - step) << shift;
    }
    return out;
}

} // namespace

TEST(ImageDiff, EqualsItsDefinitionForEveryCountAndDistance)
{
    filtertest::ForEachKernelTable([](const std::string& table) {
        std::mt19937 random(11);
        CVelvix image;
        for (int count : {1, 2, 3, 5, 7, 8, 9, 16, 255, 256, 257}) {
            for (int round = 0; round < 20; ++round) {
                std::vector<unsigned long> a(count), b(count);
                for (int i = 0; i < count; ++i) {
                    a[i] = random() & 0xFFFFFF;
                    // Any colour, or one 36 to 41 steps away, around the 5 % line (39
                    // steps); the last entry, which the vectors leave to the plain
                    // loop, exactly 38 or 39 away. Junk above the colour bytes.
                    const int steps = i == count - 1 ? 38 + round % 2 : 36 + int(random() % 6);
                    b[i] = (round % 4 == 0 ? random() & 0xFFFFFF : AtDistance(a[i], steps, random)) |
                           ((unsigned long)(random() & 0xFF) << 24);
                }
                EXPECT_EQ(image.GetImageDiffPercentage(a.data(), b.data(), count),
                          oracle::ImageDiffPercentage(a.data(), b.data(), count))
                    << count << " [" << table << "]";
            }
        }
    });
}

namespace {

// Reaches the saved copy and the block averages that the filters share.
class AverageProbe : public CVelvix {
public:
    explicit AverageProbe(const CVelvix& image) : CVelvix(image) {}
    bool Save() { return CVelvix_MatrixFilter::COPY_DATA(); }
    void Drop() { CVelvix_MatrixFilter::DELETE_DATA(); }
    VxPixel Square(int x, int y, int n) { return CVelvix_MatrixFilter::GetAverage(x, y, n); }
    VxPixel Rectangle(int x, int y, int w, int h) { return CVelvix_MatrixFilter::GetAverage(x, y, w, h); }
};

} // namespace

TEST(BlockAverages, EqualTheirDefinitionsInsideAndAcrossTheEdges)
{
    for (const auto& size : kSizes) {
        AverageProbe probe(MixedImage(size.w, size.h, 300));
        const std::vector<VxPixel> original = oracle::Pixels(probe);
        ASSERT_TRUE(probe.Save());
        // The saved copy is what the square form reads, whatever the image becomes.
        for (int i = 0; i < size.w * size.h; ++i)
            probe.Bytes(i) = 0x010203;
        for (int y = -1; y <= size.h; ++y)
            for (int x = -1; x <= size.w; ++x)
                for (int n : {0, 1, 2, 5, 100000}) {
                    // The plain average visits only the part inside the picture.
                    const int x0 = std::max(x - n, -1), y0 = std::max(y - n, -1);
                    const int x1 = std::min(x + n + 1, size.w + 1), y1 = std::min(y + n + 1, size.h + 1);
                    ASSERT_EQ(probe.Square(x, y, n), oracle::Average(original, size.w, size.h, x0, y0, x1, y1))
                        << x << ", " << y << ", n = " << n;
                }
        EXPECT_EQ(probe.Square(0, 0, -1), 0u) << "an empty square";
        probe.Drop();
        EXPECT_EQ(probe.Rectangle(0, 0, size.w, size.h), size.w * size.h != 0 ? 0x010203u : 0u)
            << "the rectangle form reads the current pixels";
        EXPECT_EQ(probe.Rectangle(-5, -5, 6, 6), 0x010203u);
        EXPECT_EQ(probe.Rectangle(0, 0, 0, 3), 0u);
        EXPECT_EQ(probe.Rectangle(size.w, 0, 2, 2), 0u);
    }
}

// A caller that runs one picture per core limits the library to its own
// thread; the pictures must come out the same as when it splits them.
TEST(Threads, ResultsDoNotDependOnTheThreadLimit)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: nothing is split";
    // Above every size from which the loops split (2^20 pixels).
    const CVelvix source = MixedImage(1031, 1019, 3);
    const std::vector<std::pair<std::string, Op>> ops = {
        {"GaussianBlur", [](CVelvix& im) { im.GaussianBlur(); }},
        {"ReduceJaggies", [](CVelvix& im) { im.ReduceJaggies(); }},
        {"RemoveNoiseFilter", [](CVelvix& im) { im.RemoveNoiseFilter(); }},
        {"DetectEdges_Kirsh", [](CVelvix& im) { im.DetectEdges_Kirsh(); }},
        {"ConvertToGrayScale", [](CVelvix& im) { im.ConvertToGrayScale(); }},
        {"ChangeContrast", [](CVelvix& im) { im.ChangeContrast(60); }},
        {"CenterGradientGammaCorrection", [](CVelvix& im) { im.CenterGradientGammaCorrection(1.3, 4.0); }},
        {"HistogramEqualization", [](CVelvix& im) { im.HistogramEqualization(); }},
        {"HistogramEqualizationColorBalanced", [](CVelvix& im) { im.HistogramEqualizationColorBalanced(); }},
        {"HistogramEqualizationHSL", [](CVelvix& im) { im.HistogramEqualizationHSL(); }},
        {"ShiftBlur", [](CVelvix& im) { im.ShiftBlur(15); }},
        {"Divide", [](CVelvix& im) { im.Divide(); }},
        {"Pixelize", [](CVelvix& im) { im.Pixelize(7); }},
        {"NoiseReduction", [](CVelvix& im) { im.AveragingNoiseReductionWithThresholdExcludeEdges(4, 5, 2); }},
        {"SwirlEffect", [](CVelvix& im) { im.SwirlEffect(0.01f); }},
        {"RotateAngle", [](CVelvix& im) { im.RotateAngle(30, 1); }},
        {"Resample_BSpline", [](CVelvix& im) { im.Resample_BSpline(1500, 1400); }},
    };
    for (const auto& [name, op] : ops) {
        CVelvix split = source, alone = source;
        op(split);
        {
            const VxThreadLimit limit(1);
            op(alone);
        }
        EXPECT_EQ(vxtest::FirstDifference(split, alone), -1) << name;
    }
}

TEST(Threads, ALimitOfOneKeepsTheWorkOnTheCallersThread)
{
    // The threads that ran the ranges of 1000 items, and the work each range started.
    auto threadsSeen = [] {
        std::mutex lock;
        std::set<std::thread::id> seen;
        std::size_t covered = 0;
        VxParallelRanges(1000, true, [&](std::size_t begin, std::size_t end) {
            std::set<std::thread::id> inner;
            std::mutex innerLock;
            VxParallelRanges(100, true, [&](std::size_t, std::size_t) {
                std::lock_guard guard(innerLock);
                inner.insert(std::this_thread::get_id());
            });
            std::lock_guard guard(lock);
            EXPECT_EQ(inner, std::set<std::thread::id>{std::this_thread::get_id()}) << "a range split again";
            seen.insert(std::this_thread::get_id());
            covered += end - begin;
        });
        EXPECT_EQ(covered, 1000u);
        return seen;
    };
    EXPECT_EQ(threadsSeen().size(), std::size_t(std::max(1u, std::thread::hardware_concurrency())));
    const VxThreadLimit limit(1);
    EXPECT_EQ(threadsSeen(), std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(Threads, PiecesCoverEveryItemOnceAndAStalledWorkerLeavesTheRestToTheOthers)
{
    const std::size_t workers = VxCores();
    for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(1000), std::size_t(99991)}) {
        std::mutex lock;
        std::vector<int> seen(count, 0);
        std::map<std::size_t, std::set<std::thread::id>> threadsOfWorker;
        VxParallelPieces(count, true, [&](std::size_t worker, std::size_t begin, std::size_t end) {
            std::lock_guard guard(lock);
            EXPECT_LT(worker, workers);
            threadsOfWorker[worker].insert(std::this_thread::get_id());
            for (std::size_t i = begin; i < end; ++i)
                ++seen[i];
        });
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), std::ptrdiff_t(count)) << count;
        for (const auto& [worker, threads] : threadsOfWorker)
            EXPECT_EQ(threads.size(), 1u) << "worker " << worker << " ran on several threads";
    }
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: nothing is shared";
    // Whichever worker takes a piece first waits there until the other
    // workers have done all the rest: its share ends far below an even split's.
    // (Waiting on a fixed worker would not do: the others may take every piece
    // before it starts.)
    constexpr std::size_t kCount = 1u << 20;
    std::mutex lock;
    std::condition_variable othersDone;
    std::size_t coveredByOthers = 0, stalledShare = 0;
    bool stalling = false, finished = false;
    VxParallelPieces(kCount, true, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::unique_lock guard(lock);
        if (stalling) {
            coveredByOthers += end - begin;
            othersDone.notify_all();
            return;
        }
        stalling = true;
        stalledShare = end - begin;
        finished = othersDone.wait_for(guard, std::chrono::seconds(20),
                                       [&] { return coveredByOthers == kCount - stalledShare; });
    });
    EXPECT_TRUE(finished) << "the other workers covered " << coveredByOthers << " of " << kCount;
    EXPECT_LE(stalledShare, kCount / workers / 2);
}
