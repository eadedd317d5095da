// The fast effects against their plain definitions on a real photograph
// (decoded by Qt), where smooth skies, textures and hard edges meet.
#include <QImage>
#include <QString>

#include "filter_oracles.h"
#include "filter_test_support.h"

namespace {

using Op = std::function<void(CVelvix&)>;

QImage PhotoImage()
{
    return QImage(QString::fromStdString(vxtest::TestData("jpeg/exif-orientation-examples/Landscape_1.jpg")));
}

CVelvix Photo(int width = 0)
{
    QImage source = PhotoImage();
    if (width > 0)
        source = source.scaledToWidth(width, Qt::SmoothTransformation);
    CVelvix image;
    image.CreateImage(nullptr, source);
    return image;
}

class PhotoFilters : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(PhotoImage().isNull()) << "missing: " << vxtest::TestData("jpeg/exif-orientation-examples");
    }
};

} // namespace

TEST_F(PhotoFilters, KernelFiltersAndEdgeDetectorsEqualTheirDefinitions)
{
    CVelvix photo = Photo();
    ASSERT_EQ(photo.GetWidth(), 1800);
    const std::vector<std::pair<std::string, Op>> filters = {
        {"Blur", [](CVelvix& im) { im.Blur(); }},
        {"GaussianBlur", [](CVelvix& im) { im.GaussianBlur(); }},
        {"Sharpen0", [](CVelvix& im) { im.Sharpen(0); }},
        {"Sharpen1", [](CVelvix& im) { im.Sharpen(1); }},
        {"EdgeDetection", [](CVelvix& im) { im.EdgeDetection(); }},
        {"EnhanceEdges", [](CVelvix& im) { im.EnhanceEdges(); }},
        {"EnhanceFocus", [](CVelvix& im) { im.EnhanceFocus(); }},
        {"EnhanceDetail", [](CVelvix& im) { im.EnhanceDetail(); }},
        {"Emboss", [](CVelvix& im) { im.Emboss(); }},
        {"ReduceJaggies", [](CVelvix& im) { im.ReduceJaggies(); }},
    };
    filtertest::ForEachKernelTable([&](const std::string& table) {
        for (const auto& [name, fast] : filters)
            filtertest::ExpectSame(photo, fast, [name = name](CVelvix& im) { oracle::KernelFilter(im, name); },
                                   name + " [" + table + "]");
        filtertest::ExpectSame(photo, [](CVelvix& im) { im.RemoveNoiseFilter(); },
                               [](CVelvix& im) { oracle::RemoveNoiseFilter(im); }, "RemoveNoiseFilter [" + table + "]");
        for (int method = 0; method < 3; ++method)
            for (int threshold : {0, 60})
                filtertest::ExpectSame(
                    photo,
                    [=](CVelvix& im) {
                        im.SetDetectEdges_SobelThreshold(threshold);
                        method == 0 ? im.DetectEdges_Sobel() : method == 1 ? im.DetectEdges_Prewitt()
                                                                           : im.DetectEdges_Kirsh();
                    },
                    [=](CVelvix& im) { oracle::DetectEdges(im, method, threshold); },
                    "edges " + std::to_string(method) + " [" + table + "]");
    });
}

TEST_F(PhotoFilters, PointEffectsAndRearrangementsEqualTheirDefinitions)
{
    CVelvix photo = Photo();
    const std::vector<std::tuple<std::string, Op, Op>> ops = {
        {"ConvertToGrayScale", [](CVelvix& im) { im.ConvertToGrayScale(); },
         [](CVelvix& im) { oracle::ConvertToGrayScale(im); }},
        {"Brighten", [](CVelvix& im) { im.Brighten(40); }, [](CVelvix& im) { oracle::Brighten(im, 40); }},
        {"ChangeContrast", [](CVelvix& im) { im.ChangeContrast(90); },
         [](CVelvix& im) { oracle::ChangeContrast(im, 90); }},
        {"Normalize", [](CVelvix& im) { im.Normalize(77.7); }, [](CVelvix& im) { oracle::Normalize(im, 77.7); }},
        {"GammaCorrection", [](CVelvix& im) { im.GammaCorrection(1.3); },
         [](CVelvix& im) { oracle::GammaCorrection(im, 1.3); }},
        {"CenterGradientGammaCorrection", [](CVelvix& im) { im.CenterGradientGammaCorrection(1.3, 4.0); },
         [](CVelvix& im) { oracle::CenterGradientGammaCorrection(im, 1.3, 4.0); }},
        {"ShiftBlur", [](CVelvix& im) { im.ShiftBlur(15); }, [](CVelvix& im) { oracle::ShiftBlur(im, 15); }},
        {"Divide", [](CVelvix& im) { im.Divide(); },
         [](CVelvix& im) {
             oracle::DivideInto2Vertical(im);
             oracle::DivideInto2Horizantal(im);
         }},
        {"Mirrors", [](CVelvix& im) { im.VerticalMirror(), im.HorizantalMirror(); },
         [](CVelvix& im) { oracle::VerticalMirror(im), oracle::HorizantalMirror(im); }},
        {"Pixelize", [](CVelvix& im) { im.Pixelize(7); }, [](CVelvix& im) { oracle::Pixelize(im, 7); }},
        {"PixelizeBySegments", [](CVelvix& im) { im.PixelizeBySegments(10); },
         [](CVelvix& im) { oracle::Segments(im, 10, nullptr); }},
    };
    for (const auto& [name, fast, plain] : ops)
        filtertest::ExpectSame(photo, fast, plain, name);

    std::vector<unsigned long> fast(256, 1), plain(256, 1);
    photo.PixelizeBySegments_DataOnly(16, fast.data());
    oracle::Segments(photo, 16, plain.data());
    EXPECT_EQ(fast, plain);

    int red[256], green[256], blue[256], max = 0, expected[3][256];
    photo.GetHistogram(red, green, blue, max);
    oracle::Histograms(photo, expected);
    EXPECT_TRUE(std::equal(red, red + 256, expected[0]) && std::equal(green, green + 256, expected[1]) &&
                std::equal(blue, blue + 256, expected[2]));
}

TEST_F(PhotoFilters, EqualizationsAndNoiseReductionsEqualTheirDefinitions)
{
    // A smaller copy: the plain versions recompute sums for every pixel.
    CVelvix photo = Photo(360);
    const std::vector<std::tuple<std::string, Op, Op>> ops = {
        {"HistogramEqualization", [](CVelvix& im) { im.HistogramEqualization(); },
         [](CVelvix& im) { oracle::HistogramEqualization(im); }},
        {"HistogramEqualizationColorBalanced", [](CVelvix& im) { im.HistogramEqualizationColorBalanced(); },
         [](CVelvix& im) { oracle::HistogramEqualizationColorBalanced(im); }},
        {"HistogramEqualizationHSL", [](CVelvix& im) { im.HistogramEqualizationHSL(); },
         [](CVelvix& im) { oracle::HistogramEqualizationHSL(im); }},
        {"Threshold", [](CVelvix& im) { im.AveragingNoiseReductionWithThreshold(4, 5, 2); },
         [](CVelvix& im) { oracle::NoiseReduction(im, 4, 5, 2, false, false); }},
        {"ReverseThreshold", [](CVelvix& im) { im.AveragingNoiseReductionWithReverseThreshold(5, 35, 2); },
         [](CVelvix& im) { oracle::NoiseReduction(im, 5, 35, 2, true, false); }},
        {"ThresholdExcludeEdges", [](CVelvix& im) { im.AveragingNoiseReductionWithThresholdExcludeEdges(4, 5, 2); },
         [](CVelvix& im) { oracle::NoiseReduction(im, 4, 5, 2, false, true); }},
        {"ReverseThresholdExcludeEdges",
         [](CVelvix& im) { im.AveragingNoiseReductionWithReverseThresholdExcludeEdges(5, 35, 2); },
         [](CVelvix& im) { oracle::NoiseReduction(im, 5, 35, 2, true, true); }},
        {"ThresholdArea30", [](CVelvix& im) { im.AveragingNoiseReductionWithThreshold(30, 12, 15); },
         [](CVelvix& im) { oracle::NoiseReduction(im, 30, 12, 15, false, false); }},
    };
    for (const auto& [name, fast, plain] : ops)
        filtertest::ExpectSame(photo, fast, plain, name);
}

TEST_F(PhotoFilters, HiddenTextSurvivesInThePhotograph)
{
    CVelvix photo = Photo();
    const int capacity = photo.GetEncodeTextCapacity();
    ASSERT_EQ(capacity, 1800 * 1200 / 256 - 8);
    std::string text;
    EXPECT_FALSE(photo.DecodeText(text)) << "a photograph carries no marker";
    std::string message;
    for (int i = 0; i < capacity; ++i)
        message.push_back(char(1 + i % 255));
    ASSERT_TRUE(photo.EncodeText(message));
    ASSERT_TRUE(photo.DecodeText(text));
    EXPECT_EQ(text, message);
}
