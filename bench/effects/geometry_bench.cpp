// Resampling, rotation, distortions and red-eye reduction on the 24-megapixel
// photograph, against OpenCV in the same run on the same cores. Prints the
// ratios of the targets at the end.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/bench_photo.h"

namespace {

CVelvix& Photo()
{
    static CVelvix photo = vxbench::Photo();
    return photo;
}

// The photograph's pixels as a four-channel matrix (no copy).
cv::Mat PhotoMat()
{
    CVelvix& photo = Photo();
    return cv::Mat(photo.GetHeight(), photo.GetWidth(), CV_8UC4, &photo.Bytes(0));
}

// Times `operation` on a fresh copy of the photograph each iteration; the
// copy itself is not timed.
void TimeOnPhoto(benchmark::State& state, const std::function<void(CVelvix&)>& operation)
{
    if (!Photo().IsValidObject()) {
        state.SkipWithError("no photograph");
        return;
    }
    CVelvix image;
    for (auto _ : state) {
        image = Photo();
        const auto start = std::chrono::steady_clock::now();
        operation(image);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(image.Bytes(0));
    }
}

void Velvix(benchmark::State& state, std::function<void(CVelvix&)> operation)
{
    TimeOnPhoto(state, operation);
}

void OpenCv(benchmark::State& state, std::function<void(const cv::Mat&, cv::Mat&)> operation)
{
    cv::setNumThreads(2);
    const cv::Mat source = PhotoMat();
    cv::Mat target;
    for (auto _ : state) {
        operation(source, target);
        benchmark::DoNotOptimize(target.data);
    }
}

// The enlarged canvas of RotateAngle(45, 0) and the same turn about its
// centre, as an inverse map like ours.
void WarpAffine45(const cv::Mat& source, cv::Mat& target)
{
    CVelvix_PixelInterface& raw = Photo();
    const int hw = raw.GetHalfWidth(), hh = raw.GetHalfHeight();
    float r0, theta0, cx, cy;
    raw.CartesianToPolar(hw, hh, r0, theta0);
    raw.fPolarToCartesian(r0, 45 * 0.017453292f + theta0, cx, cy);
    const int pad = int(hw > hh ? std::ceil(cy - hh) : std::ceil(hw - cx));
    cv::Mat rotation = cv::getRotationMatrix2D(cv::Point2f(float(hw + pad), float(hh + pad)), 45, 1.0);
    rotation.at<double>(0, 2) -= pad;
    rotation.at<double>(1, 2) -= pad;
    cv::warpAffine(source, target, rotation, cv::Size(source.cols + 2 * pad, source.rows + 2 * pad),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
}

// A red disc of radius 1500 in the middle of the photograph: the region
// grows over about seven million pixels.
void RedDisc(CVelvix& image)
{
    CVelvix_PixelInterface& raw = image;
    const int hw = raw.GetHalfWidth(), hh = raw.GetHalfHeight();
    for (int y = hh - 1500; y <= hh + 1500; ++y)
        for (int x = hw - 1500; x <= hw + 1500; ++x)
            if ((x - hw) * (x - hw) + (y - hh) * (y - hh) <= 1500 * 1500)
                image.Bytes(x, y) = 0xE01010;
}

// The machine is shared: each side's best of a few repetitions is the
// estimate least disturbed by other work.
constexpr int kRepetitions = 3;

void Register()
{
    auto velvix = [](const char* name, std::function<void(CVelvix&)> operation) {
        benchmark::RegisterBenchmark(name, Velvix, operation)
            ->UseManualTime()
            ->Repetitions(kRepetitions)
            ->Unit(benchmark::kMillisecond);
    };
    auto opencv = [](const char* name, std::function<void(const cv::Mat&, cv::Mat&)> operation) {
        benchmark::RegisterBenchmark(name, OpenCv, operation)
            ->UseRealTime()
            ->Repetitions(kRepetitions)
            ->Unit(benchmark::kMillisecond);
    };
    velvix("Velvix/Resample_Bilinear/50%", [](CVelvix& i) { i.Resample_Bilinear(i.GetHeight() / 2, i.GetWidth() / 2, false); });
    opencv("OpenCV/resize_linear/50%", [](const cv::Mat& s, cv::Mat& t) { cv::resize(s, t, cv::Size(s.cols / 2, s.rows / 2), 0, 0, cv::INTER_LINEAR); });
    velvix("Velvix/Resample_Bilinear/200%", [](CVelvix& i) { i.Resample_Bilinear(i.GetHeight() * 2, i.GetWidth() * 2, false); });
    opencv("OpenCV/resize_linear/200%", [](const cv::Mat& s, cv::Mat& t) { cv::resize(s, t, cv::Size(s.cols * 2, s.rows * 2), 0, 0, cv::INTER_LINEAR); });
    velvix("Velvix/Resample_BSpline/50%", [](CVelvix& i) { i.Resample_BSpline(i.GetHeight() / 2, i.GetWidth() / 2); });
    opencv("OpenCV/resize_cubic/50%", [](const cv::Mat& s, cv::Mat& t) { cv::resize(s, t, cv::Size(s.cols / 2, s.rows / 2), 0, 0, cv::INTER_CUBIC); });
    velvix("Velvix/SimpleRotate", [](CVelvix& i) { i.SimpleRotate(false); });
    opencv("OpenCV/rotate", [](const cv::Mat& s, cv::Mat& t) { cv::rotate(s, t, cv::ROTATE_90_CLOCKWISE); });
    velvix("Velvix/SimpleFlip", [](CVelvix& i) { i.SimpleFlip(true); });
    opencv("OpenCV/flip", [](const cv::Mat& s, cv::Mat& t) { cv::flip(s, t, 1); });
    velvix("Velvix/RotateAngle/45", [](CVelvix& i) { i.RotateAngle(45, 0); });
    opencv("OpenCV/warpAffine/45", WarpAffine45);
    velvix("Velvix/FishEyeEffect", [](CVelvix& i) { i.FishEyeEffect(); });
    velvix("Velvix/SwirlEffect", [](CVelvix& i) { i.SwirlEffect(100); });
    velvix("Velvix/Caricature", [](CVelvix& i) { i.Caricature(); });
    velvix("Velvix/CylinderMirror", [](CVelvix& i) { i.CylinderMirror(); });
    velvix("Velvix/BathroomWindowEffect2", [](CVelvix& i) { i.BathroomWindowEffect2(); });
    velvix("Velvix/UnderWater", [](CVelvix& i) { i.UnderWater(15); });
    velvix("Velvix/OilPaint/5", [](CVelvix& i) { i.OilPaint(5); });
    velvix("Velvix/RedEyeReduce/photo", [](CVelvix& i) { i.RedEyeReduce(); });
    velvix("Velvix/RedEyeReduce/disc", [](CVelvix& i) {
        RedDisc(i);  // part of the timing, a few milliseconds
        i.RedEyeReduce();
    });
}

// Keeps each benchmark's best time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double time = run.GetAdjustedRealTime() / 1e3;  // reported in ms
            // The name without its "/repeats:N" part.
            std::string name = run.benchmark_name();
            const std::size_t repeats = name.find("/repeats:");
            if (repeats != std::string::npos)
                name.erase(repeats, name.find('/', repeats + 1) - repeats);
            auto [it, added] = seconds.emplace(name, time);
            if (!added && time < it->second)
                it->second = time;
        }
    }
    std::map<std::string, double> seconds;
};

void PrintRatios(const std::map<std::string, double>& seconds)
{
    auto time = [&](const std::string& name) {
        auto it = seconds.find(name);
        return it == seconds.end() ? -1.0 : it->second;
    };
    std::printf("\nbest of %d repetitions on each side\n%-44s %10s %10s\n", kRepetitions, "target", "ratio", "limit");
    auto ratio = [&](const std::string& label, const std::string& ours, const std::string& peer, double limit) {
        const double a = time(ours), b = time(peer);
        if (a < 0 || b <= 0)
            return;
        std::printf("%-44s %10.2f %10.2f  %s\n", label.c_str(), a / b, limit, a / b <= limit ? "met" : "NOT MET");
    };
    auto absolute = [&](const std::string& label, const std::string& ours, double limit) {
        const double a = time(ours);
        if (a < 0)
            return;
        std::printf("%-44s %9.3fs %9.3fs  %s\n", label.c_str(), a, limit, a <= limit ? "met" : "NOT MET");
    };
    ratio("Resample_Bilinear 50% / resize linear", "Velvix/Resample_Bilinear/50%/manual_time", "OpenCV/resize_linear/50%/real_time", 3);
    ratio("Resample_Bilinear 200% / resize linear", "Velvix/Resample_Bilinear/200%/manual_time", "OpenCV/resize_linear/200%/real_time", 4);
    ratio("Resample_BSpline 50% / resize cubic", "Velvix/Resample_BSpline/50%/manual_time", "OpenCV/resize_cubic/50%/real_time", 3);
    ratio("SimpleRotate / rotate", "Velvix/SimpleRotate/manual_time", "OpenCV/rotate/real_time", 2);
    ratio("SimpleFlip / flip", "Velvix/SimpleFlip/manual_time", "OpenCV/flip/real_time", 2);
    ratio("RotateAngle 45 / warpAffine", "Velvix/RotateAngle/45/manual_time", "OpenCV/warpAffine/45/real_time", 8);
    for (const char* effect : {"FishEyeEffect", "SwirlEffect", "Caricature", "CylinderMirror", "BathroomWindowEffect2", "UnderWater"})
        ratio(std::string(effect) + " / RotateAngle 45", std::string("Velvix/") + effect + "/manual_time",
              "Velvix/RotateAngle/45/manual_time", 1.5);
    absolute("OilPaint(5)", "Velvix/OilPaint/5/manual_time", 3);
    absolute("RedEyeReduce (no red pupil)", "Velvix/RedEyeReduce/photo/manual_time", 1);
    absolute("RedEyeReduce (pupil of 7 Mpixels)", "Velvix/RedEyeReduce/disc/manual_time", 1);
}

} // namespace

int main(int argc, char** argv)
{
    Register();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter.seconds);
    benchmark::Shutdown();
    return 0;
}
