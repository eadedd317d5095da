#include "effect_table.h"

#include "image/velvix.h"

namespace {

using Kind = CEffectPrompt::Kind;
using Needs = CEffectCommand::Needs;
using Values = const std::vector<double>&;

const QString kTools = QStringLiteral("&Tools");
const QString kColour = QStringLiteral("&Tools/&Color");
const QString kGeometry = QStringLiteral("&Tools/&Rotate and Flip");
const QString kMirror = QStringLiteral("&Tools/&Mirror and Divide");
const QString kFilters = QStringLiteral("&Advanced Tools/&Filters");
const QString kEdges = QStringLiteral("&Advanced Tools/&Edge Detection");
const QString kNoise = QStringLiteral("&Advanced Tools/&Noise Reduction");
const QString kArts = QStringLiteral("&Advanced Tools/&Fine Arts");
const QString kBathroom = QStringLiteral("&Advanced Tools/&Fine Arts/&Bathroom Window");

CEffectPrompt Integer(const char* text, int value, int minimum, int maximum)
{
    return {Kind::Integer, QString::fromLatin1(text), double(value), double(minimum), double(maximum)};
}

CEffectPrompt Double(const char* text, double value, double minimum, double maximum)
{
    return {Kind::Double, QString::fromLatin1(text), value, minimum, maximum};
}

const CEffectPrompt kGamma = Double("Enter the value of the gamma correction", 1.3, 0.1, 30.0);
const CEffectPrompt kOffset = Integer("Enter the value of offset around each pixel", 2, 1, 20);

std::vector<CEffectPrompt> NoisePrompts(int area, int threshold, bool reverse)
{
    const char* thresholdText =
        reverse ? "Enter the value of the threshold\nPixel's difference > threshold, will be modified\n"
                  "Decrease value to increase effect"
                : "Enter the value of the threshold\nPixel's difference < threshold, will be modified\n"
                  "Increase value to increase effect";
    return {Integer("Enter the value of the area\nAverage of the area will be compared to the pixel being "
                    "processed",
                    area, 1, 30),
            Integer(thresholdText, threshold, 1, 255),
            {Kind::HalfOfPrevious, QStringLiteral("Enter the value of the area to replace the processed pixel\n"), 0,
             1, 30}};
}

CEffectCommand Plain(int id, const char* menuText, const char* name, const QString& menu,
                     std::function<void(CVelvix&)> run)
{
    return {id, QString::fromLatin1(menuText), QString::fromLatin1(name), menu, {}, Needs::Anything, false,
            [run](CVelvix& image, Values) { run(image); }};
}

std::vector<CEffectCommand> BuildTable()
{
    std::vector<CEffectCommand> table = {
        Plain(144, "&Negative", "Negative", kColour, [](CVelvix& i) { i.Negative(); }),
        Plain(267, "&Gray Scale", "Gray Scale", kColour, [](CVelvix& i) { i.ConvertToGrayScale(); }),
        Plain(135, "&Red Filter", "Red Filter", kColour, [](CVelvix& i) { i.RedFilter(); }),
        Plain(137, "Gr&een Filter", "Green Filter", kColour, [](CVelvix& i) { i.GreenFilter(); }),
        Plain(136, "&Blue Filter", "Blue Filter", kColour, [](CVelvix& i) { i.BlueFilter(); }),
        {198, QStringLiteral("G&amma Correction"), QStringLiteral("Gamma Correction"), kColour, {kGamma},
         Needs::Anything, false, [](CVelvix& i, Values v) { i.GammaCorrection(v[0]); }},
        {199, QStringLiteral("Cen&tral Gamma Correction (Spot light)"), QStringLiteral("Center Gamma Correction"),
         kColour, {kGamma, Double("Enter the value of the Maximum gamma correction", 4.0, 0.1, 30.0)},
         Needs::Anything, false, [](CVelvix& i, Values v) { i.CenterGradientGammaCorrection(v[0], v[1]); }},
        Plain(153, "Histogram &Equalization", "Histogram Equalization", kColour,
              [](CVelvix& i) { i.HistogramEqualization(); }),
        Plain(236, "&Color Balanced Histogram Equalization", "Color Balanced Histogram Equalization", kColour,
              [](CVelvix& i) { i.HistogramEqualizationColorBalanced(); }),
        {166, QStringLiteral("&Shift Blur"), QStringLiteral("Shift Blur"), kFilters,
         {Integer("Enter the value of pixels to be shifted", 15, 1, 1000)}, Needs::Anything, false,
         [](CVelvix& i, Values v) { i.ShiftBlur(int(v[0])); }},
        Plain(168, "&Vertical Mirror", "Vertical Mirror", kMirror, [](CVelvix& i) { i.VerticalMirror(); }),
        Plain(169, "&Horizantal Mirror", "Horizantal Mirror", kMirror, [](CVelvix& i) { i.HorizantalMirror(); }),
        Plain(171, "&Vertical Divide", "Divide Into 2 Vertical", kMirror, [](CVelvix& i) { i.DivideInto2Vertical(); }),
        Plain(172, "&Horizantal Divide", "Divide Into 2 Horizantal", kMirror,
              [](CVelvix& i) { i.DivideInto2Horizantal(); }),
        Plain(173, "&Combined Divide", "Divide", kMirror, [](CVelvix& i) { i.Divide(); }),
        Plain(163, "&Sharpen Type I", "Sharpen I", kFilters, [](CVelvix& i) { i.Sharpen(0); }),
        Plain(279, "Sharpen Type &II", "Sharpen II", kFilters, [](CVelvix& i) { i.Sharpen(1); }),
        Plain(165, "&Filter Blur", "Blur", kFilters, [](CVelvix& i) { i.Blur(); }),
        Plain(278, "&Gaussian Blur", "Gaussian Blur", kFilters, [](CVelvix& i) { i.GaussianBlur(); }),
        Plain(178, "Enhance &Edges", "Enhance Edges", kFilters, [](CVelvix& i) { i.EnhanceEdges(); }),
        Plain(179, "Enhance &Focus", "Enhance Focus", kFilters, [](CVelvix& i) { i.EnhanceFocus(); }),
        Plain(180, "Enhance &Detail", "Enhance Details", kFilters, [](CVelvix& i) { i.EnhanceDetail(); }),
        Plain(181, "&Reduce Jaggies", "Reduce Jaggies", kFilters, [](CVelvix& i) { i.ReduceJaggies(); }),
        Plain(221, "&Emboss", "Emboss", kFilters, [](CVelvix& i) { i.Emboss(); }),
        {176, QStringLiteral("&Pixelize"), QStringLiteral("Pixelize"), kFilters, {kOffset}, Needs::Anything, false,
         [](CVelvix& i, Values v) { i.Pixelize(int(v[0])); }},
        {292, QStringLiteral("Pixelize by Dividing &Segment"), QStringLiteral("Pixelize By Segments"), kFilters,
         {Integer("Enter the value of segments that the picture will be divided into", 10, 2, 100)}, Needs::Anything,
         false, [](CVelvix& i, Values v) { i.PixelizeBySegments(int(v[0])); }},
        Plain(174, "&Matrix Method", "Edge Detection", kEdges, [](CVelvix& i) { i.EdgeDetection(); }),
        Plain(161, "&Sobel Method", "Sobel Edge Detection", kEdges, [](CVelvix& i) { i.DetectEdges_Sobel(); }),
        Plain(275, "&Prewitt Method", "Prewitt Edge Detection", kEdges, [](CVelvix& i) { i.DetectEdges_Prewitt(); }),
        Plain(276, "&Kirsh Method", "&Kirsh Edge Detection", kEdges, [](CVelvix& i) { i.DetectEdges_Kirsh(); }),
        {202, QStringLiteral("&Average using threshold"), QStringLiteral("Noise Reduction with Threshold"), kNoise,
         NoisePrompts(4, 5, false), Needs::Anything, false,
         [](CVelvix& i, Values v) { i.AveragingNoiseReductionWithThreshold(int(v[0]), int(v[1]), int(v[2])); }},
        {203, QStringLiteral("Average using &reverse threshold"),
         QStringLiteral("Noise Reduction with Reverse Threshold"), kNoise, NoisePrompts(5, 35, true), Needs::Anything, false,
         [](CVelvix& i, Values v) {
             i.AveragingNoiseReductionWithReverseThreshold(int(v[0]), int(v[1]), int(v[2]));
         }},
        {204, QStringLiteral("Average using threshold (exclude edges)"),
         QStringLiteral("Noise Reduction with Threshold Exclude Edges"), kNoise, NoisePrompts(4, 5, false), Needs::Anything,
         false,
         [](CVelvix& i, Values v) {
             i.AveragingNoiseReductionWithThresholdExcludeEdges(int(v[0]), int(v[1]), int(v[2]));
         }},
        {205, QStringLiteral("Average using &reverse threshold (exclude edges)"),
         QStringLiteral("Noise Reduction with Reverse Threshold Exclude Edges"), kNoise, NoisePrompts(5, 35, true),
         Needs::Anything, false,
         [](CVelvix& i, Values v) {
             i.AveragingNoiseReductionWithReverseThresholdExcludeEdges(int(v[0]), int(v[1]), int(v[2]));
         }},
        {264, QStringLiteral("&Red Eye"), QStringLiteral("Red Eye Reduction"), kTools, {}, Needs::Selection, false,
         [](CVelvix& i, Values) { i.RedEyeReduce(); }},
        Plain(257, "Rotate &Right\tR", "Rotate Right", kGeometry, [](CVelvix& i) { i.SimpleRotate(false); }),
        Plain(258, "Rotate &Left", "Rotate Left", kGeometry, [](CVelvix& i) { i.SimpleRotate(true); }),
        Plain(261, "&Horizantal Flip", "Horizantal Flip", kGeometry, [](CVelvix& i) { i.SimpleFlip(false); }),
        Plain(262, "&Vertical Flip", "Vertical Flip", kGeometry, [](CVelvix& i) { i.SimpleFlip(true); }),
        {281, QStringLiteral("Rotate &Angle"), QStringLiteral("Rotate Angle"), kGeometry,
         {Integer("Enter the value of the Angle", 45, -360, 360),
          {Kind::Choice, QStringLiteral("Enter the Interpolation method to be used"), 0, 0, 1,
           {QStringLiteral("Bilinear"), QStringLiteral("B-Spline")}}},
         Needs::Anything, false, [](CVelvix& i, Values v) { i.RotateAngle(int(v[0]), int(v[1])); }},
        {188, QStringLiteral("&Oil Paint Effect"), QStringLiteral("Oil Paint"), kArts,
         {Integer("Enter the value of offset around each pixel", 2, 1, 5)}, Needs::Anything, false,
         [](CVelvix& i, Values v) { i.OilPaint(int(v[0])); }},
        Plain(189, "&Melt Effect", "Melt Effect", kArts, [](CVelvix& i) { i.MeltEffect(); }),
        Plain(190, "&Fish Eye Effect", "Fish Eye Effect", kArts, [](CVelvix& i) { i.FishEyeEffect(); }),
        {191, QStringLiteral("S&wirl Effect"), QStringLiteral("Swirl Effect"), kArts,
         {Integer("Enter the value of the coeficient", 100, 2, 5000)}, Needs::Anything, false,
         [](CVelvix& i, Values v) { i.SwirlEffect(float(v[0])); }},
        Plain(214, "Image &Solarization", "Image Solarization", kArts, [](CVelvix& i) { i.ImageSolarization(); }),
        Plain(215, "&Relief Map", "Relief Map", kArts, [](CVelvix& i) { i.ReliefMap(); }),
        Plain(216, "&Caricature", "Caricature", kArts, [](CVelvix& i) { i.Caricature(); }),
        Plain(217, "Cylinder Mi&rror Effect", "Cylinder Mirror", kArts, [](CVelvix& i) { i.CylinderMirror(); }),
        {280, QStringLiteral("&Underwater Effect"), QStringLiteral("Underwater Effect"), kArts,
         {Integer("Enter the value of the Wave", 15, 1, 50)}, Needs::Anything, false,
         [](CVelvix& i, Values v) { i.UnderWater(int(v[0])); }},
        Plain(219, "Effect &1", "Bathroom window Effect 1", kBathroom, [](CVelvix& i) { i.BathroomWindowEffect1(); }),
        Plain(220, "Effect &2", "Bathroom window Effect 2", kBathroom, [](CVelvix& i) { i.BathroomWindowEffect2(); }),
        // Values: new width, new height, width ratio, height ratio, filter.
        {kResampleId, QStringLiteral("Resamp&le"), QStringLiteral("Bilinear Resample"), kGeometry, {},
         Needs::NoSelection, true,
         [](CVelvix& i, Values v) {
             if (v[4] == 0)
                 i.Resample_Bilinear(int(v[1]), int(v[0]), false);
             else
                 i.Resample_BSpline(int(v[1]), int(v[0]));
         },
         [](const CVelvix& i, Values v) {
             auto& image = const_cast<CVelvix&>(i);
             return image.GetWidth() == int(v[0]) && image.GetHeight() == int(v[1]);
         }},
    };
    return table;
}

} // namespace

const std::vector<CEffectCommand>& EffectCommands()
{
    static const std::vector<CEffectCommand> table = BuildTable();
    return table;
}

const CEffectCommand* FindEffectCommand(int id)
{
    for (const CEffectCommand& command : EffectCommands())
        if (command.id == id)
            return &command;
    return nullptr;
}
