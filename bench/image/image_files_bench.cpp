// Image files and buffer copies on the 24-megapixel photograph, each beside
// a peer in the same run: ReadImage of the JPEG against libjpeg-turbo's own
// decode into a 32-bit buffer, operator= and the 24-bit block against memcpy,
// the bitmap writer against memcpy and against writing the raw buffer. The
// peak memory of ReadImage is measured in a fresh process. Ratios (of the
// fastest of five repetitions) are printed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/bench_photo.h"

namespace {

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Files are written to memory-backed storage where there is one, so that the
// writers are timed rather than the disk.
std::string OutputPath(const std::string& name)
{
    return (access("/dev/shm", W_OK) == 0 ? "/dev/shm/ambrel-" : "") + name;
}

CVelvix& Photo()
{
    static CVelvix photo = vxbench::Photo();
    return photo;
}

std::size_t PhotoBytes()
{
    return std::size_t(Photo().GetWidth()) * Photo().GetHeight() * 4;
}

void ReadImageJpeg(benchmark::State& state)
{
    const std::string path = vxbench::PhotoPath();
    CVelvix image;
    for (auto _ : state)
        if (!image.ReadImage(path.c_str()))
            state.SkipWithError("ReadImage failed");
}

// The peer: read the file, decode it into a fresh 32-bit buffer as an
// application using TurboJPEG would.
void TurboJpegDecode(benchmark::State& state, bool reuseBuffer)
{
    const std::string path = vxbench::PhotoPath();
    tjhandle handle = tjInitDecompress();
    std::unique_ptr<unsigned char[]> kept;
    for (auto _ : state) {
        const auto file = ReadFile(path);
        int width = 0, height = 0, subsampling = 0, colours = 0;
        tjDecompressHeader3(handle, file.data(), file.size(), &width, &height, &subsampling, &colours);
        const std::size_t bytes = std::size_t(width) * height * 4;
        unsigned char* buffer = reuseBuffer ? (kept ? kept.get() : (kept.reset(new unsigned char[bytes]), kept.get()))
                                            : static_cast<unsigned char*>(std::malloc(bytes));
        if (tjDecompress2(handle, file.data(), file.size(), buffer, width, 0, height, TJPF_BGRX, 0) != 0)
            state.SkipWithError(tjGetErrorStr2(handle));
        benchmark::DoNotOptimize(buffer);
        if (!reuseBuffer)
            std::free(buffer);
    }
    tjDestroy(handle);
}

void Assign(benchmark::State& state)
{
    CVelvix target = Photo();  // same size: operator= reuses the buffer
    for (auto _ : state) {
        target = Photo();
        benchmark::ClobberMemory();
    }
}

void MemcpyReused(benchmark::State& state)
{
    std::vector<unsigned char> target(PhotoBytes());
    CVelvix& photo = Photo();
    const void* source = &photo.Bytes(0);
    for (auto _ : state) {
        std::memcpy(target.data(), source, target.size());
        benchmark::ClobberMemory();
    }
}

void MemcpyFresh(benchmark::State& state)
{
    CVelvix& photo = Photo();
    const void* source = &photo.Bytes(0);
    for (auto _ : state) {
        auto* target = static_cast<unsigned char*>(std::malloc(PhotoBytes()));
        std::memcpy(target, source, PhotoBytes());
        benchmark::DoNotOptimize(target);
        std::free(target);
    }
}

void Create24Bit(benchmark::State& state)
{
    auto& pixels = static_cast<CVelvix_PixelInterface&>(Photo());
    for (auto _ : state) {
        int size = 0;
        std::unique_ptr<unsigned char[]> block(pixels.Create24BitDWORDAlignedBuffer(size));
        benchmark::DoNotOptimize(block.get());
    }
}

void SaveBitmap(benchmark::State& state)
{
    const std::string path = OutputPath("bench-save.bmp");
    for (auto _ : state)
        if (!Photo().SaveBitmapImage(path.c_str()))
            state.SkipWithError("save failed");
    std::remove(path.c_str());
}

// The floor for any writer: the raw buffer in one fwrite.
void WriteRawBuffer(benchmark::State& state)
{
    const std::string path = OutputPath("bench-raw.bin");
    const void* source = &Photo().Bytes(0);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(source, 1, PhotoBytes(), file);
        std::fclose(file);
    }
    std::remove(path.c_str());
}

void SaveFormat(benchmark::State& state, const char* name)
{
    const std::string path = OutputPath(name);
    for (auto _ : state)
        if (!Photo().SaveImage(path.c_str()))
            state.SkipWithError("save failed");
    std::remove(path.c_str());
}

long MaxRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs in a process of its own: the high-water mark before and after one
// ReadImage, against the size of the decoded buffer.
int MeasurePeakMemory(const char* path)
{
    const long before = MaxRssKb();
    CVelvix image;
    if (!image.ReadImage(path))
        return 1;
    const long after = MaxRssKb();
    const double buffer = double(image.GetWidth()) * image.GetHeight() * 4 / 1024.0;
    std::printf("%.3f %.1f %.1f\n", double(after - before) / buffer, double(after - before) / 1024.0, buffer / 1024.0);
    return 0;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        // The fastest repetition: the least disturbed by other work on the machine.
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" && !run.error_occurred)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> seconds;
};

void PrintRatios(const std::map<std::string, double>& seconds, const char* self)
{
    auto time = [&](const std::string& name) {
        for (const auto& [key, value] : seconds)
            if (key.rfind(name, 0) == 0)
                return value;
        return -1.0;
    };
    std::printf("\n%-52s %8s %8s\n", "target", "ratio", "limit");
    auto ratio = [&](const char* label, const char* ours, const char* peer, double limit) {
        const double a = time(ours), b = time(peer);
        if (a < 0 || b <= 0)
            return;
        std::printf("%-52s %8.2f %8.2f  %s\n", label, a / b, limit, a / b <= limit ? "met" : "NOT MET");
    };
    ratio("ReadImage(JPEG) / tjDecompress2 (fresh buffer)", "ReadImage/jpeg", "TurboJPEG/fresh_buffer", 1.10);
    ratio("ReadImage(JPEG) / tjDecompress2 (reused buffer)", "ReadImage/jpeg", "TurboJPEG/reused_buffer", 1.10);
    ratio("operator= / memcpy (reused buffer)", "CVelvix/operator=", "memcpy/reused_buffer", 1.2);
    ratio("Create24BitDWORDAlignedBuffer / memcpy (fresh)", "CVelvix/Create24BitDWORDAlignedBuffer", "memcpy/fresh_buffer", 2);
    ratio("SaveBitmapImage / memcpy (fresh)", "CVelvix/SaveBitmapImage", "memcpy/fresh_buffer", 2);
    ratio("SaveBitmapImage / fwrite of the raw buffer", "CVelvix/SaveBitmapImage", "fwrite/raw_buffer", 2);

    // Peak memory of ReadImage, in a fresh process.
    const std::string command = std::string(self) + " --peak-memory " + vxbench::PhotoPath();
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        double factor = 0, peakMb = 0, bufferMb = 0;
        if (std::fscanf(pipe, "%lf %lf %lf", &factor, &peakMb, &bufferMb) == 3)
            std::printf("%-52s %8.2f %8.2f  %s  (%.0f MB beyond the baseline for a %.0f MB picture)\n",
                        "ReadImage(JPEG) peak memory / final buffer", factor, 1.3, factor <= 1.3 ? "met" : "NOT MET",
                        peakMb, bufferMb);
        pclose(pipe);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--peak-memory") == 0)
        return MeasurePeakMemory(argv[2]);
    if (vxbench::PhotoPath().empty()) {
        std::fprintf(stderr, "the test photograph is missing\n");
        return 1;
    }
    auto ms = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(5)
            ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
            ->DisplayAggregatesOnly(true);
    };
    ms(benchmark::RegisterBenchmark("ReadImage/jpeg", ReadImageJpeg));
    ms(benchmark::RegisterBenchmark("TurboJPEG/fresh_buffer", TurboJpegDecode, false));
    ms(benchmark::RegisterBenchmark("TurboJPEG/reused_buffer", TurboJpegDecode, true));
    ms(benchmark::RegisterBenchmark("CVelvix/operator=", Assign));
    ms(benchmark::RegisterBenchmark("memcpy/reused_buffer", MemcpyReused));
    ms(benchmark::RegisterBenchmark("memcpy/fresh_buffer", MemcpyFresh));
    ms(benchmark::RegisterBenchmark("CVelvix/Create24BitDWORDAlignedBuffer", Create24Bit));
    ms(benchmark::RegisterBenchmark("CVelvix/SaveBitmapImage", SaveBitmap));
    ms(benchmark::RegisterBenchmark("fwrite/raw_buffer", WriteRawBuffer));
    ms(benchmark::RegisterBenchmark("SaveImage/png", SaveFormat, "bench-save.png"));
    ms(benchmark::RegisterBenchmark("SaveImage/jpeg", SaveFormat, "bench-save.jpg"));
    ms(benchmark::RegisterBenchmark("SaveImage/gif", SaveFormat, "bench-save.gif"));
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    PrintRatios(reporter.seconds, length > 0 ? self : argv[0]);
    benchmark::Shutdown();
    return 0;
}
