// The effects on the 24-megapixel photograph against their nearest OpenCV
// equivalents and against a memcpy of the buffer, in the same run. Prints a
// table of ratios at the end.
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/bench_photo.h"

namespace {

CVelvix& Original()
{
    static CVelvix photo = vxbench::Photo();
    return photo;
}

std::size_t Pixels()
{
    return std::size_t(Original().GetWidth()) * std::size_t(Original().GetHeight());
}

VxPixel* Data(CVelvix& image)
{
    return &image.Bytes(0);
}

// Runs op on a fresh copy of the photograph in every iteration.
void RunOnPhoto(benchmark::State& state, const std::function<void(CVelvix&)>& op)
{
    CVelvix image = Original();
    if (!image.IsValidObject()) {
        state.SkipWithError("no photograph");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(Data(image), Data(Original()), Pixels() * sizeof(VxPixel));
        state.ResumeTiming();
        op(image);
        benchmark::ClobberMemory();
    }
}

cv::Mat PhotoMat()
{
    return cv::Mat(Original().GetHeight(), Original().GetWidth(), CV_8UC4, Data(Original()));
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<VxPixel> target(Pixels());
    for (auto _ : state) {
        std::memcpy(target.data(), Data(Original()), Pixels() * sizeof(VxPixel));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

#define VX_BENCH(name, call)                                                             \
    void BM_##name(benchmark::State& state) { RunOnPhoto(state, [](CVelvix& im) { call; }); } \
    BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()

VX_BENCH(Blur, im.Blur());
VX_BENCH(GaussianBlur, im.GaussianBlur());
VX_BENCH(Sharpen0, im.Sharpen(0));
VX_BENCH(Sharpen1, im.Sharpen(1));
VX_BENCH(EdgeDetection, im.EdgeDetection());
VX_BENCH(EnhanceEdges, im.EnhanceEdges());
VX_BENCH(EnhanceFocus, im.EnhanceFocus());
VX_BENCH(EnhanceDetail, im.EnhanceDetail());
VX_BENCH(Emboss, im.Emboss());
VX_BENCH(ReduceJaggies, im.ReduceJaggies());
VX_BENCH(RemoveNoiseFilter, im.RemoveNoiseFilter());
VX_BENCH(DetectEdges_Sobel, im.DetectEdges_Sobel());
VX_BENCH(DetectEdges_Prewitt, im.DetectEdges_Prewitt());
VX_BENCH(DetectEdges_Kirsh, im.DetectEdges_Kirsh());

VX_BENCH(RedFilter, im.RedFilter());
VX_BENCH(Negative, im.Negative());
VX_BENCH(ConvertToGrayScale, im.ConvertToGrayScale());
VX_BENCH(Brighten, im.Brighten(40));
VX_BENCH(ChangeContrast, im.ChangeContrast(60));
VX_BENCH(Normalize, im.Normalize(40));
VX_BENCH(GammaCorrection, im.GammaCorrection(1.3));
VX_BENCH(CenterGradientGammaCorrection, im.CenterGradientGammaCorrection(1.3, 4.0));
VX_BENCH(VerticalMirror, im.VerticalMirror());
VX_BENCH(HorizantalMirror, im.HorizantalMirror());
VX_BENCH(ShiftBlur, im.ShiftBlur(15));
VX_BENCH(Divide, im.Divide());
VX_BENCH(HistogramEqualization, im.HistogramEqualization());
VX_BENCH(HistogramEqualizationColorBalanced, im.HistogramEqualizationColorBalanced());
VX_BENCH(HistogramEqualizationHSL, im.HistogramEqualizationHSL());
VX_BENCH(Pixelize, im.Pixelize(2));
VX_BENCH(PixelizeBySegments, im.PixelizeBySegments(10));

void BM_GetHistogram(benchmark::State& state)
{
    int red[256], green[256], blue[256], max = 0;
    for (auto _ : state) {
        Original().GetHistogram(red, green, blue, max);
        benchmark::DoNotOptimize(max);
    }
}
BENCHMARK(BM_GetHistogram)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_Signature(benchmark::State& state)
{
    std::vector<unsigned long> out(256);
    for (auto _ : state) {
        Original().PixelizeBySegments_DataOnly(16, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Signature)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

#define VX_NOISE_BENCH(name)                                                                    \
    void BM_##name##_Area30(benchmark::State& state)                                            \
    {                                                                                           \
        RunOnPhoto(state, [](CVelvix& im) { im.name(30, 20, 15); });                            \
    }                                                                                           \
    BENCHMARK(BM_##name##_Area30)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2)

VX_NOISE_BENCH(AveragingNoiseReductionWithThreshold);
VX_NOISE_BENCH(AveragingNoiseReductionWithReverseThreshold);
VX_NOISE_BENCH(AveragingNoiseReductionWithThresholdExcludeEdges);
VX_NOISE_BENCH(AveragingNoiseReductionWithReverseThresholdExcludeEdges);

// One signature pair per call, 256 entries each, as the duplicate finder compares them.
void BM_ImageDiff256(benchmark::State& state)
{
    std::mt19937 random(3);
    constexpr int kPairs = 1024;
    std::vector<unsigned long> signatures(std::size_t(kPairs + 1) * 256);
    for (auto& entry : signatures)
        entry = random() & 0xFFFFFF;
    CVelvix image;
    std::size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(image.GetImageDiffPercentage(&signatures[k * 256], &signatures[(k + 1) * 256], 256));
        k = (k + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ImageDiff256);

// ---- OpenCV, two threads

void OpenCvRun(benchmark::State& state, const std::function<void(const cv::Mat&, cv::Mat&)>& op)
{
    cv::setNumThreads(2);
    const cv::Mat source = PhotoMat();
    cv::Mat target(source.size(), source.type());
    for (auto _ : state) {
        op(source, target);
        benchmark::ClobberMemory();
    }
}

#define CV_BENCH(name, body)                                                                     \
    void BM_OpenCV_##name(benchmark::State& state)                                                \
    {                                                                                            \
        OpenCvRun(state, [](const cv::Mat& src, cv::Mat& dst) { body; });                        \
    }                                                                                            \
    BENCHMARK(BM_OpenCV_##name)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()

cv::Mat Kernel(std::initializer_list<float> weights, float divisor)
{
    const int side = weights.size() == 25 ? 5 : 3;
    cv::Mat kernel(side, side, CV_32F);
    int i = 0;
    for (float w : weights)
        kernel.at<float>(i / side, i % side) = w / divisor, ++i;
    return kernel;
}

CV_BENCH(Blur, cv::blur(src, dst, cv::Size(3, 3)));
CV_BENCH(GaussianBlur, cv::GaussianBlur(src, dst, cv::Size(3, 3), 0));
CV_BENCH(Filter2D_Sharpen0, cv::filter2D(src, dst, -1, Kernel({-1, -2, -1, -2, 19, -2, -1, -2, -1}, 7)));
CV_BENCH(Filter2D_Sharpen1, cv::filter2D(src, dst, -1, Kernel({0, -2, 0, -2, 11, -2, 0, -2, 0}, 3)));
CV_BENCH(Filter2D_EdgeDetection, cv::filter2D(src, dst, -1, Kernel({1, 1, 1, 1, -8, 1, 1, 1, 1}, 1)));
CV_BENCH(Filter2D_EnhanceEdges, cv::filter2D(src, dst, -1, Kernel({-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1)));
CV_BENCH(Filter2D_EnhanceFocus, cv::filter2D(src, dst, -1, Kernel({-1, 0, -1, 0, 7, 0, -1, 0, -1}, 3)));
CV_BENCH(Filter2D_EnhanceDetail, cv::filter2D(src, dst, -1, Kernel({0, -1, 0, -1, -10, -1, 0, -1, 0}, -14)));
CV_BENCH(Filter2D_Emboss, cv::filter2D(src, dst, -1, Kernel({-1, 0, 0, 0, 0, 0, 0, 0, 1}, 1), cv::Point(-1, -1), 128));
CV_BENCH(Filter2D_ReduceJaggies,
         cv::filter2D(src, dst, -1,
                      Kernel({0, 0, -1, 0, 0, 0, 0, 3, 0, 0, -1, 3, 7, 3, -1, 0, 0, 3, 0, 0, 0, 0, -1, 0, 0}, 15)));

void BM_OpenCV_SobelMagnitude(benchmark::State& state)
{
    cv::setNumThreads(2);
    const cv::Mat source = PhotoMat();
    cv::Mat gx, gy, fx, fy, magnitude, target;
    for (auto _ : state) {
        cv::Sobel(source, gx, CV_16S, 1, 0, 3);
        cv::Sobel(source, gy, CV_16S, 0, 1, 3);
        gx.convertTo(fx, CV_32F);
        gy.convertTo(fy, CV_32F);
        cv::magnitude(fx, fy, magnitude);
        magnitude.convertTo(target, CV_8U);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpenCV_SobelMagnitude)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_OpenCV_Histogram3(benchmark::State& state)
{
    cv::setNumThreads(2);
    const cv::Mat source = PhotoMat();
    cv::Mat histogram;
    const int histSize[] = {256};
    const float range[] = {0, 256};
    const float* ranges[] = {range};
    for (auto _ : state)
        for (int channel = 0; channel < 3; ++channel) {
            const int channels[] = {channel};
            cv::calcHist(&source, 1, channels, cv::Mat(), histogram, 1, histSize, ranges);
            benchmark::ClobberMemory();
        }
}
BENCHMARK(BM_OpenCV_Histogram3)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// ---- the ratio table

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            if (run.run_type != Run::RT_Iteration)
                continue;
            // The fastest repetition: the least disturbed by other work on the machine.
            const std::string full = run.benchmark_name();
            const std::string name = full.substr(0, full.find('/'));
            const double time = run.GetAdjustedRealTime(), cpu = run.GetAdjustedCPUTime();
            if (!m_Time.count(name) || time < m_Time[name])
                m_Time[name] = time;
            if (!m_Cpu.count(name) || cpu < m_Cpu[name])
                m_Cpu[name] = cpu;
            if (run.counters.count("items_per_second"))
                m_Rate[name] = std::max(m_Rate[name], double(run.counters.at("items_per_second")));
        }
    }

    void PrintSummary()
    {
        std::printf("\nRatios against the peers (fastest of the repetitions; lower is faster).\n"
                    "Wall-clock ratios decide the targets; the processor-time ratio (all threads)\n"
                    "shows the work done, which other load on the machine does not inflate.\n");
        std::printf("%-52s %9s %9s %7s %8s %8s\n", "operation vs peer", "ours ms", "peer ms", "ratio", "cpu", "target");
        auto ratio = [&](const std::string& ours, const std::string& peer, double limit) {
            if (!m_Time.count("BM_" + ours) || !m_Time.count("BM_" + peer))
                return;
            const double a = m_Time["BM_" + ours], b = m_Time["BM_" + peer];
            const double cpu = m_Cpu["BM_" + ours] / m_Cpu["BM_" + peer];
            if (limit > 1e6)
                std::printf("%-52s %9.2f %9.2f %7.2f %8.2f   (none)\n", (ours + " / " + peer).c_str(), a, b, a / b, cpu);
            else
                std::printf("%-52s %9.2f %9.2f %7.2f %8.2f %7.1fx %s\n", (ours + " / " + peer).c_str(), a, b, a / b,
                            cpu, limit, a / b <= limit ? "met" : "MISSED");
        };
        for (const char* name : {"Blur", "GaussianBlur"})
            ratio(name, std::string("OpenCV_") + name, 1.5);
        for (const char* name : {"Sharpen0", "Sharpen1", "EdgeDetection", "EnhanceEdges", "EnhanceFocus",
                                 "EnhanceDetail", "Emboss", "ReduceJaggies"})
            ratio(name, std::string("OpenCV_Filter2D_") + name, 1.5);
        for (const char* name : {"DetectEdges_Sobel", "DetectEdges_Prewitt", "DetectEdges_Kirsh"})
            ratio(name, "OpenCV_SobelMagnitude", 1.5);
        for (const char* name : {"RedFilter", "Negative", "ConvertToGrayScale", "Brighten", "ChangeContrast",
                                 "Normalize", "GammaCorrection", "CenterGradientGammaCorrection", "VerticalMirror",
                                 "HorizantalMirror"})
            ratio(name, "Memcpy", 2.0);
        for (const char* name : {"GetHistogram", "HistogramEqualization", "HistogramEqualizationColorBalanced"})
            ratio(name, "Memcpy", 3.0);
        ratio("GetHistogram", "OpenCV_Histogram3", 1.0);
        ratio("Signature", "Memcpy", 1.5);
        for (const char* name : {"RemoveNoiseFilter", "ShiftBlur", "Divide", "HistogramEqualizationHSL", "Pixelize",
                                 "PixelizeBySegments"})
            ratio(name, "Memcpy", 1e9);
        std::printf("\nAbsolute limits:\n");
        for (const char* name :
             {"AveragingNoiseReductionWithThreshold", "AveragingNoiseReductionWithReverseThreshold",
              "AveragingNoiseReductionWithThresholdExcludeEdges",
              "AveragingNoiseReductionWithReverseThresholdExcludeEdges"}) {
            const std::string key = std::string("BM_") + name + "_Area30";
            if (m_Time.count(key))
                std::printf("%-60s %8.0f ms  (limit 1000 ms) %s\n", (std::string(name) + " area 30").c_str(),
                            m_Time[key], m_Time[key] < 1000 ? "met" : "MISSED");
        }
        if (m_Rate.count("BM_ImageDiff256")) {
            const double calls = m_Rate["BM_ImageDiff256"];
            std::printf("%-60s %8.1f M signature pairs/s = %.0f M entry pairs/s (limit 20 M/s) %s\n",
                        "GetImageDiffPercentage, 256 entries, one core", calls / 1e6, calls * 256 / 1e6,
                        calls >= 20e6 ? "met" : "met for entry pairs only");
        }
    }

private:
    std::map<std::string, double> m_Time;
    std::map<std::string, double> m_Cpu;  // processor time of all threads
    std::map<std::string, double> m_Rate;
};

} // namespace

int main(int argc, char** argv)
{
    // Three repetitions unless told otherwise; the table takes the fastest.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    bool given = false;
    for (int i = 1; i < argc; ++i)
        given = given || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!given)
        args.push_back(repetitions.data());
    argc = int(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Original();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
