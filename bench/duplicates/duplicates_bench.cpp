// The duplicate finder. Compare: signature pairs per second of the grouping
// on 20,000 signatures of distinct photograph crops, beside the plain pairing
// loop over the library's image difference (on a part of the same database,
// quadratic, so its pairs per second are comparable), and the read of the
// database that the comparison starts with. Scan: a folder tree of
// real JPEG photographs, decoded in the walking thread, on every core, and
// from a warm signature cache, beside the bare decodes of the same files
// (the ratio to the decode floor is printed with each scan).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/bench_photo.h"
#include "duplicates/duplicate_groups.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"

namespace fs = std::filesystem;

namespace {

const std::string kRoot = "ambrel-dup-bench";

CVelvix Crop(CVelvix& photo, int x, int y, int w, int h)
{
    CVelvix crop;
    static_cast<CVelvix_PixelInterface&>(crop).RawCreateImage(h, w);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            crop.Bytes(row * w + col) = photo.Bytes((y + row) * photo.GetWidth() + x + col);
    return crop;
}

// 20,000 signatures of random crops (64 .. 400 pixels a side) of the test
// photograph reduced to 1200 x 800: distinct pictures with a photograph's
// smooth blocks.
const std::string& DistinctDatabase()
{
    static const std::string path = [] {
        const std::string file = kRoot + "/distinct.dat";
        fs::create_directories(kRoot);
        if (fs::exists(file) && fs::file_size(file) == 20000 * dif::kRecordSize)
            return file;
        CVelvix photo = vxbench::Photo();
        photo.Resample_Bilinear(800, 1200, false);
        std::mt19937 random(42);
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 20000; ++i) {
            const int w = 64 + int(random() % 337), h = 64 + int(random() % 337);
            const int x = int(random() % unsigned(1200 - w)), y = int(random() % unsigned(800 - h));
            CVelvix crop = Crop(photo, x, y, w, h);
            unsigned long values[256] = {};
            crop.PixelizeBySegments_DataOnly(16, values);
            dif::Signature signature{};
            for (int k = 0; k < 256; ++k)
                signature[std::size_t(k)] = std::uint32_t(values[k]);
            dif::RecordBytes record;
            dif::EncodeRecord("/photos/crop" + std::to_string(i) + ".jpg", signature, record);
            out.write(reinterpret_cast<const char*>(record.data()), std::streamsize(record.size()));
        }
        return file;
    }();
    return path;
}

void Pairs(benchmark::State& state, std::size_t count)
{
    state.counters["pairs/s"] = benchmark::Counter(double(count) * double(count - 1) / 2 * double(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_Group20000(benchmark::State& state)
{
    dif::CSignatureDatabase db;
    db.Open(DistinctDatabase(), false);
    dif::SGroupingOptions options;
    options.threads = unsigned(state.range(0));
    const int threshold = int(state.range(1));
    std::atomic<int> stop{0};
    std::size_t groups = 0;
    for (auto _ : state)
        groups = dif::BuildDuplicateGroups(db, threshold, options, stop, nullptr).size();
    Pairs(state, db.GetCount());
    state.counters["groups"] = double(groups);
}
BENCHMARK(BM_Group20000)->Args({1, 90})->Args({2, 90})->Args({2, 100})->Args({2, 80})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// Opening reads the whole database (25.7 MB here) before the comparison:
// its time beside BM_Group20000's shows what the read adds.
void BM_Open20000(benchmark::State& state)
{
    const std::string& file = DistinctDatabase();
    for (auto _ : state) {
        dif::CSignatureDatabase db;
        benchmark::DoNotOptimize(db.Open(file, false));
    }
    state.counters["MB/s"] = benchmark::Counter(double(fs::file_size(file)) * double(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Open20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

void BM_Group20000Options(benchmark::State& state)
{
    dif::CSignatureDatabase db;
    db.Open(DistinctDatabase(), false);
    dif::SGroupingOptions options;
    options.compare.rotations = true;
    options.compare.greyscale = true;
    std::atomic<int> stop{0};
    for (auto _ : state)
        benchmark::DoNotOptimize(dif::BuildDuplicateGroups(db, 90, options, stop, nullptr));
    Pairs(state, db.GetCount());
}
BENCHMARK(BM_Group20000Options)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The pairing loop written plainly: every pair through the library's image
// difference, on the first 2,000 records, one core.
void BM_PlainPairs2000(benchmark::State& state)
{
    dif::CSignatureDatabase db;
    db.Open(DistinctDatabase(), false);
    const std::size_t count = 2000;
    std::vector<std::vector<unsigned long>> signatures(count, std::vector<unsigned long>(256));
    for (std::size_t i = 0; i < count; ++i) {
        const dif::Signature s = dif::RecordSignature(db.Record(i));
        std::copy(s.begin(), s.end(), signatures[i].begin());
    }
    CVelvix image;
    for (auto _ : state) {
        std::vector<char> grouped(count, 0);
        std::size_t groups = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (grouped[i])
                continue;
            bool head = false;
            for (std::size_t j = i + 1; j < count; ++j) {
                if (grouped[j])
                    continue;
                if (100 - image.GetImageDiffPercentage(signatures[i].data(), signatures[j].data(), 256) >= 90) {
                    grouped[j] = 1;
                    groups += !head;
                    head = true;
                }
            }
        }
        benchmark::DoNotOptimize(groups);
    }
    Pairs(state, count);
}
BENCHMARK(BM_PlainPairs2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// 120 JPEG photographs of 1600 x 1067 in 6 folders: crops of the test
// photograph, saved by Qt at quality 90.
const std::string& PhotoTree()
{
    static const std::string root = [] {
        const std::string folder = kRoot + "/photos";
        if (fs::exists(folder + "/done"))
            return folder;
        QImage photo(QString::fromStdString(vxbench::PhotoPath()));
        std::mt19937 random(7);
        for (int i = 0; i < 120; ++i) {
            const std::string dir = folder + "/d" + std::to_string(i % 6);
            fs::create_directories(dir);
            const int x = int(random() % 4000), y = int(random() % 2600);
            photo.copy(x, y, 2000, 1333)
                .scaled(1600, 1067, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .save(QString::fromStdString(dir + "/p" + std::to_string(i) + ".jpg"), "JPG", 90);
        }
        std::ofstream(folder + "/done") << "1";
        return folder;
    }();
    return root;
}

std::vector<std::string> PhotoFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(PhotoTree()))
        if (entry.path().extension() == ".jpg")
            files.push_back(entry.path().string());
    return files;
}

void Files(benchmark::State& state, std::size_t files)
{
    state.counters["files/s"] = benchmark::Counter(double(files) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// Every file decoded once in one thread, each into a new picture as any
// reader of a file does: the decode time the scan is bound by.
double ProcessCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double DecodeSeconds(const std::vector<std::string>& files, bool reuse, double* cpu = nullptr)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    CVelvix kept;
    for (const std::string& file : files) {
        CVelvix fresh;
        benchmark::DoNotOptimize((reuse ? kept : fresh).ReadImage(file.c_str()));
    }
    if (cpu)
        *cpu += ProcessCpuSeconds() - cpuStart;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_DecodeOnly(benchmark::State& state)
{
    const auto files = PhotoFiles();
    for (auto _ : state)
        DecodeSeconds(files, false);
    Files(state, files.size());
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(2);

// The scan beside the decode floor, measured in the same repetition (the
// machine is shared, its load drifts): floor time = single-thread decode
// time / cores. "x floor" = scan time / floor time, the target is 1.20 or
// less; "x floor reused" takes the floor from decodes into one kept picture
// (no new buffer per file), the stricter measure. On a loaded machine the
// wall times say little; "cpu x decode" = processor time of the scan (all
// its threads) / processor time of the decodes shows the work it adds. With
// a warm cache the target is 2,000 files/s.
void BM_Scan(benchmark::State& state)
{
    const auto files = PhotoFiles();
    const double cores = std::max(1u, std::thread::hardware_concurrency());
    dif::SScanOptions options;
    options.decodeThreads = unsigned(state.range(0));
    const bool cached = state.range(1) != 0;
    std::atomic<int> stop{0};
    if (cached) {
        options.cachePath = kRoot + "/cache";
        dif::CSignatureScanner(kRoot + "/scan.dat", options, nullptr, stop).Scan({PhotoTree()});
    }
    double scanned = 0, decoded = 0, decodedReused = 0, scanCpu = 0, decodeCpu = 0;
    for (auto _ : state) {
        if (!cached) {
            decoded += DecodeSeconds(files, false, &decodeCpu);
            decodedReused += DecodeSeconds(files, true);
        }
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        dif::CSignatureScanner(kRoot + "/scan.dat", options, nullptr, stop).Scan({PhotoTree()});
        scanCpu += ProcessCpuSeconds() - cpuStart;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        scanned += seconds;
    }
    Files(state, files.size());
    if (cached) {
        state.SetLabel(std::to_string(int(double(files.size()) * double(state.iterations()) / scanned)) +
                       " files/s, target >= 2000");
        return;
    }
    state.counters["x floor"] = scanned / (decoded / cores);
    state.counters["x floor reused"] = scanned / (decodedReused / cores);
    state.counters["cpu x decode"] = scanCpu / decodeCpu;
    char label[96];
    std::snprintf(label, sizeof label, "%.2f x the decode floor on %.0f cores, target <= 1.20", scanned / (decoded / cores),
                  cores);
    state.SetLabel(label);
}
BENCHMARK(BM_Scan)->ArgNames({"threads", "cache"})->Args({0, 0})->Args({2, 0})->Args({2, 1})
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

} // namespace

BENCHMARK_MAIN();
