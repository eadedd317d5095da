// The duplicate finder's core: record layout, scan over hostile folder
// trees, the signature cache, the database file and the grouping against
// a plain reference of the pairing rules.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <random>
#include <thread>

#include "duplicates/duplicate_groups.h"
#include "duplicates/duplicate_marks.h"
#include "duplicates/folder_walk.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"
#include "child_process.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace dif;

namespace {

// While set, operator new refuses blocks above 1 KB on the test's thread
// (bit 1) or on the others (bit 2), as in a process at the end of its memory.
std::atomic<int> g_refuse{0};
std::thread::id g_testThread;

} // namespace

// From malloc, as the standard library's own: its delete frees these too.
void* operator new(std::size_t size)
{
    if (const int refuse = g_refuse.load(std::memory_order_relaxed); refuse && size > 1024 &&
        (refuse & (std::this_thread::get_id() == g_testThread ? 1 : 2)))
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

#include "operator_new_companions.h"

namespace {

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void SaveBitmap(CVelvix& image, const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    const std::string temp = fs::path(path).parent_path() / "saving.tmp.bmp";
    ASSERT_EQ(image.SaveImage(temp.c_str()), 1);
    fs::rename(temp, path);
}

struct SProgress : IScanProgress {
    std::vector<std::string> analysed;
    std::atomic<int>* stop = nullptr;
    std::size_t stopAfter = 0;
    void OnAnalyzing(const std::string& path) override
    {
        analysed.push_back(path);
        if (stop && analysed.size() == stopAfter)
            stop->fetch_add(1);
    }
};

struct SScan {
    SScanResult result;
    std::vector<std::string> paths;
    std::vector<unsigned char> bytes;
};

SScan Scan(const vxtest::TempDir& dir, const std::vector<std::string>& folders, SScanOptions options = {},
           std::size_t stopAfter = 0)
{
    std::atomic<int> stop{0};
    SProgress progress;
    if (stopAfter) {
        progress.stop = &stop;
        progress.stopAfter = stopAfter;
    }
    const std::string db = dir.File("ambrelid.dat");
    SScan scan;
    scan.result = CSignatureScanner(db, options, &progress, stop).Scan(folders);
    scan.bytes = ReadBytes(db);
    CSignatureDatabase database;
    if (database.Open(db, false))
        for (std::size_t i = 0; i < database.GetCount(); ++i)
            scan.paths.push_back(database.Path(i));
    return scan;
}

} // namespace

TEST(DuplicatesRecord, LayoutIsByteExact)
{
    Signature signature{};
    for (std::size_t i = 0; i < kSignatureEntries; ++i)
        signature[i] = 0x00A1B2C3u + std::uint32_t(i);
    RecordBytes record;
    ASSERT_TRUE(EncodeRecord("/p/ä b%[*?].JPG", signature, record));
    const std::string path = "/p/ä b%[*?].JPG";
    EXPECT_EQ(0, std::memcmp(record.data(), path.data(), path.size()));
    for (std::size_t i = path.size(); i < kPathFieldSize; ++i)
        ASSERT_EQ(record[i], 0) << i;
    EXPECT_EQ(record[261], 0xC3);
    EXPECT_EQ(record[262], 0xB2);
    EXPECT_EQ(record[263], 0xA1);
    EXPECT_EQ(record[264], 0x00);
    EXPECT_EQ(record[1284 - 3], 0xC2); // 0x00A1B2C3 + 255
    EXPECT_EQ(record[1284 - 2], 0xB3);
    EXPECT_EQ(record[1284], 0x00);
    EXPECT_EQ(RecordPath(record.data()), path);
    EXPECT_EQ(RecordSignature(record.data()), signature);

    // A path is never shortened: one that does not fit is refused.
    struct {
        std::size_t length;
        bool fits;
    } lengths[] = {{1, true}, {260, true}, {261, false}, {4000, false}, {0, false}};
    for (const auto& c : lengths)
        EXPECT_EQ(EncodeRecord(std::string(c.length, 'a'), signature, record), c.fits) << c.length;
    EXPECT_FALSE(EncodeRecord(std::string("/a\0b.jpg", 8), signature, record));
    // A hostile record without a terminator yields at most the field.
    RecordBytes full;
    full.fill('x');
    EXPECT_EQ(RecordPath(full.data()).size(), kPathFieldSize);
}

TEST(DuplicatesRecord, CandidatesAndSignatureGrids)
{
    struct {
        const char* name;
        bool candidate;
    } names[] = {{"a.jpg", true},   {"A.JPG", true},     {"b.Jpeg", true}, {"x.bmp.txt", true}, {"c.gif", true},
                 {"d.PNG", true},   {"notes.txt", false}, {"jpg", false},   {"a.jp", false},     {"[*?].png", true}};
    for (const auto& c : names)
        EXPECT_EQ(IsImageCandidate(c.name), c.candidate) << c.name;

    // Grids: 10 x 40 gives 10 x 10 entries at stride 10; 17 x 17 fills 9 x 9
    // of the 16 x 16 entries; the rest stay 0.
    vxtest::TempDir dir;
    struct {
        int w, h, filled, stride, columns, rows;
    } grids[] = {{10, 40, 100, 10, 10, 10}, {17, 17, 0, 16, 9, 9}, {64, 64, 256, 16, 16, 16}, {1, 1, 1, 1, 1, 1}};
    for (const auto& g : grids) {
        CVelvix image = vxtest::RandomImage(g.w, g.h, 7);
        for (int i = 0; i < g.w * g.h; ++i)
            image.Bytes(i) |= 0x010101; // no block averages to 0
        const std::string path = dir.File("g.bmp");
        SaveBitmap(image, path);
        Signature signature;
        ASSERT_TRUE(ComputeSignature(path, signature));
        for (int i = 0; i < 256; ++i) {
            const int x = i % g.stride, y = i / g.stride;
            const bool inside = i < g.stride * g.stride && x < g.columns && y < g.rows;
            EXPECT_EQ(signature[std::size_t(i)] != 0, inside) << g.w << "x" << g.h << " entry " << i;
        }
        unsigned long reference[256] = {};
        image.PixelizeBySegments_DataOnly(16, reference);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(signature[std::size_t(i)], std::uint32_t(reference[i]));
    }
    WriteBytes(dir.File("bad.jpg"), {0xFF, 0xD8, 0x00});
    Signature unused;
    EXPECT_FALSE(ComputeSignature(dir.File("bad.jpg"), unused));

    // The scan's block sums through one kept picture equal the library's
    // pixelization of each file: sizes repeat (the buffer is reused), a file
    // that fails sits between them, white blocks taller than 256 rows fill
    // the 16-bit sums to the brim.
    struct {
        int w, h;
        bool white;
    } sizes[] = {{20, 4200, true}, {20, 4200, false}, {300, 17, false}, {12, 12, false}, {1000, 3, true},
                 {1000, 3, false}, {37, 1, false},   {255, 257, false}, {4100, 16, true}};
    CVelvix scratch;
    for (const auto& c : sizes) {
        CVelvix image = vxtest::RandomImage(c.w, c.h, c.w + c.h);
        for (int i = 0; c.white && i < c.w * c.h; ++i)
            image.Bytes(i) = 0xFFFFFF;
        SaveBitmap(image, dir.File("s.bmp"));
        Signature signature;
        ASSERT_TRUE(ComputeSignature(dir.File("s.bmp"), signature, &scratch));
        EXPECT_FALSE(ComputeSignature(dir.File("bad.jpg"), unused, &scratch));
        unsigned long reference[256] = {};
        image.PixelizeBySegments_DataOnly(16, reference);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(signature[std::size_t(i)], std::uint32_t(reference[i])) << c.w << "x" << c.h << " entry " << i;
    }
}

TEST(DuplicatesScan, FoldersInOrderRealNamesAndHostileNames)
{
    vxtest::TempDir dir;
    const fs::path first = dir.Path() / "first [*?] %s ü", second = dir.Path() / "second";
    CVelvix image = vxtest::RandomImage(20, 20, 3);
    for (const char* name : {"X.JPG", "a b%d.png", "sub/ñ.GIF"})
        SaveBitmap(image, (first / name).string());
    for (const char* name : {"p.bmp", "deep/er/q.Jpeg"})
        SaveBitmap(image, (second / name).string());
    WriteBytes((first / "x.bmp.txt").string(), {1, 2, 3}); // attempted, does not decode
    WriteBytes((first / "readme.txt").string(), {1, 2, 3});
    const SScan scan = Scan(dir, {first.string(), second.string() + "/"});
    EXPECT_EQ(scan.result.records, 5u);
    EXPECT_EQ(scan.result.undecodable, 1u);
    EXPECT_EQ(scan.bytes.size(), 5 * kRecordSize);
    std::vector<std::string> expected = {(first / "X.JPG").string(), (first / "a b%d.png").string(),
                                         (first / "sub/ñ.GIF").string(), (second / "p.bmp").string(),
                                         (second / "deep/er/q.Jpeg").string()};
    // Within a folder the file system's order rules; the folders keep theirs.
    ASSERT_EQ(scan.paths.size(), 5u);
    EXPECT_TRUE(std::is_permutation(scan.paths.begin(), scan.paths.begin() + 3, expected.begin()));
    EXPECT_TRUE(std::is_permutation(scan.paths.begin() + 3, scan.paths.end(), expected.begin() + 3));
    for (const std::string& path : scan.paths)
        EXPECT_TRUE(fs::exists(path)) << path; // real case: the path opens

    // An empty list deletes the old database; a missing folder walks nothing
    // in its place.
    EXPECT_EQ(Scan(dir, {}).bytes.size(), 0u);
    EXPECT_FALSE(fs::exists(dir.File("ambrelid.dat")));
    const SScan missing = Scan(dir, {(dir.Path() / "gone").string()});
    EXPECT_EQ(missing.result.records, 0u);
    EXPECT_EQ(missing.result.unreadableFolders, 1u);
}

TEST(DuplicatesScan, LinkLoopsLongPathsAndOverlapsAreSafe)
{
    vxtest::TempDir dir;
    const fs::path root = dir.Path() / "root";
    CVelvix image = vxtest::RandomImage(20, 20, 4);
    SaveBitmap(image, (root / "a.png").string());
    SaveBitmap(image, (root / "inner/b.png").string());
    fs::create_directory_symlink("..", root / "inner/up");      // a loop
    fs::create_directory_symlink(root / "inner", root / "again"); // a second way in
    fs::create_symlink(root / "a.png", root / "link-to-a.png");  // the same file twice
    fs::create_symlink(root / "missing.png", root / "dangling.png");
    // A path over 260 bytes: skipped and counted, never shortened.
    fs::path deep = root;
    while (deep.string().size() < 250)
        deep /= std::string(40, 'd');
    SaveBitmap(image, (deep / "long-name-beyond-the-field.png").string());

    // The root listed twice and a subfolder of it: every file once.
    const SScan scan = Scan(dir, {root.string(), root.string(), (root / "inner").string()});
    EXPECT_EQ(scan.result.records, 2u);
    EXPECT_EQ(scan.result.longPaths, 1u);
    for (const std::string& path : scan.paths)
        EXPECT_LE(path.size(), kMaxPathBytes);
}

TEST(DuplicatesScan, UnreadableFolderIsCountedNotFatal)
{
    // Root enters any folder: the scan runs in a child as an unprivileged user.
    vxtest::TempDir dir;
    ::chmod(dir.Path().c_str(), 0777);
    const fs::path root = dir.Path() / "root";
    CVelvix image = vxtest::RandomImage(20, 20, 5);
    SaveBitmap(image, (root / "ok/a.png").string());
    SaveBitmap(image, (root / "closed/b.png").string());
    SaveBitmap(image, (root / "z.png").string());
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
        ::chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    ::chmod((root / "closed").c_str(), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(90);
        std::atomic<int> stop{0};
        const SScanResult result =
            CSignatureScanner(dir.File("ambrelid.dat"), {}, nullptr, stop).Scan({root.string()});
        ::_exit(result.records == 2 && result.unreadableFolders == 1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod((root / "closed").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A scan that cannot finish its database keeps the old one whole, with no
// partial or temporary file beside it: killed midway, a folder it may not
// write to (the old file itself writable), a full disk.
TEST(DuplicatesScan, AFailedOrKilledScanKeepsTheOldDatabase)
{
    vxtest::TempDir dir;
    const fs::path pictures = dir.Path() / "pictures", store = dir.Path() / "store [%]";
    for (int i = 0; i < 60; ++i) {
        CVelvix image = vxtest::RandomImage(8, 8, std::uint32_t(i));
        SaveBitmap(image, (pictures / ("p" + std::to_string(i) + ".bmp")).string());
    }
    fs::create_directories(store);
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
        ::chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
    ::chmod(dir.Path().c_str(), 0777);
    const std::string db = (store / "ambrelid.dat").string();
    RecordBytes record;
    ASSERT_TRUE(EncodeRecord(pictures.string() + "/p0.bmp", Signature{}, record));
    const std::vector<unsigned char> old(record.begin(), record.end());
    const auto intact = [&] {
        return ReadBytes(db) == old && std::distance(fs::directory_iterator(store), fs::directory_iterator()) == 1;
    };
    constexpr int kKilled = 7, kCannot = 8;
    const std::vector<std::pair<const char*, std::function<bool()>>> cases = {
        {"killed midway", [] { return true; }},
        {"folder not writable", [&] { return ::chmod(store.c_str(), 0555) == 0 && vxtest::BecomeNobody(); }},
        {"disk full", [&] { return vxtest::MountTmpfs(store.string(), 64) && (WriteBytes(db, old), true); }},
    };
    for (const auto& [name, prepare] : cases) {
        WriteBytes(db, old);
        ::chmod(db.c_str(), 0666);
        const bool kill = std::string(name) == "killed midway";
        const int code = vxtest::InChild([&, prepare = prepare] {
            if (!prepare())
                return kCannot;
            struct SDying : IScanProgress {
                bool kill = false;
                int seen = 0;
                void OnAnalyzing(const std::string&) override
                {
                    if (kill && ++seen == 2)
                        ::_exit(kKilled);
                }
            } progress;
            progress.kill = kill;
            std::atomic<int> stop{0};
            const SScanResult result = CSignatureScanner(db, {}, &progress, stop).Scan({pictures.string()});
            return result.databaseUnwritable && result.records == 0 && intact() ? 0 : 1;
        });
        ::chmod(store.c_str(), 0777);
        if (code == kCannot) {
            std::printf("[ SKIPPED  ] %s: needs root and mount namespaces\n", name);
            continue;
        }
        EXPECT_EQ(code, kill ? kKilled : 0) << name;
        EXPECT_TRUE(intact()) << name;
    }
}

TEST(DuplicatesScan, ParallelCachedAndStoppedScansKeepTheWalkOrder)
{
    vxtest::TempDir dir;
    const fs::path root = dir.Path() / "photos";
    for (int i = 0; i < 24; ++i) {
        CVelvix image = vxtest::RandomImage(30 + i, 20, std::uint32_t(i));
        SaveBitmap(image, (root / ("d" + std::to_string(i % 3)) / ("p" + std::to_string(i) + ".bmp")).string());
    }
    WriteBytes((root / "broken.png").string(), {0x89, 'P', 'N', 'G'});
    const SScan plain = Scan(dir, {root.string()});
    ASSERT_EQ(plain.result.records, 24u);
    for (unsigned threads : {2u, 3u, 8u}) {
        SScanOptions options;
        options.decodeThreads = threads;
        EXPECT_EQ(Scan(dir, {root.string()}, options).bytes, plain.bytes) << threads;
    }

    SScanOptions cached;
    cached.cachePath = dir.File("cache");
    cached.decodeThreads = 2;
    EXPECT_EQ(Scan(dir, {root.string()}, cached).result.fromCache, 0u);
    SScan warm = Scan(dir, {root.string()}, cached);
    EXPECT_EQ(warm.bytes, plain.bytes);
    EXPECT_EQ(warm.result.fromCache, 25u); // the broken file is remembered too

    // Touched, replaced and deleted files are decoded anew or dropped.
    const fs::path touched = root / "d0/p0.bmp", replaced = root / "d1/p1.bmp", removed = root / "d2/p2.bmp";
    fs::last_write_time(touched, fs::last_write_time(touched) + std::chrono::seconds(5));
    CVelvix other = vxtest::RandomImage(31, 20, 999);
    SaveBitmap(other, replaced.string());
    fs::remove(removed);
    warm = Scan(dir, {root.string()}, cached);
    const SScan fresh = Scan(dir, {root.string()});
    EXPECT_EQ(warm.bytes, fresh.bytes);
    EXPECT_EQ(warm.result.fromCache, 22u);

    // A damaged cache is an empty one.
    std::vector<unsigned char> cache = ReadBytes(dir.File("cache"));
    for (std::size_t cut : {std::size_t(3), cache.size() / 2, cache.size() - 1}) {
        WriteBytes(dir.File("cache"), std::vector<unsigned char>(cache.begin(), cache.begin() + long(cut)));
        const SScan damaged = Scan(dir, {root.string()}, cached);
        EXPECT_EQ(damaged.bytes, fresh.bytes) << cut;
        EXPECT_EQ(damaged.result.fromCache, 0u) << cut;
    }
    // So is a pipe of its name, which is not waited on.
    fs::remove(dir.File("cache"));
    ASSERT_EQ(::mkfifo(dir.File("cache").c_str(), 0600), 0);
    const SScan piped = Scan(dir, {root.string()}, cached);
    EXPECT_EQ(piped.bytes, fresh.bytes);
    EXPECT_EQ(piped.result.fromCache, 0u);

    // A stop keeps the records written so far, a prefix of the full scan.
    for (unsigned threads : {0u, 2u}) {
        SScanOptions options;
        options.decodeThreads = threads;
        const SScan stopped = Scan(dir, {root.string()}, options, 5);
        EXPECT_TRUE(stopped.result.stopped);
        EXPECT_GE(stopped.result.records, 4u);
        EXPECT_LT(stopped.result.records, 23u);
        ASSERT_LE(stopped.bytes.size(), fresh.bytes.size());
        EXPECT_TRUE(std::equal(stopped.bytes.begin(), stopped.bytes.end(), fresh.bytes.begin())) << threads;
    }
}

TEST(DuplicatesDatabase, RecordsTailsAndZeroing)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("ambrelid.dat");
    CSignatureDatabase db;
    EXPECT_FALSE(db.Open(path, true)); // missing
    WriteBytes(path, {});
    EXPECT_FALSE(db.Open(path, true)); // empty
    EXPECT_EQ(CSignatureDatabase::CountRecords(path), 0u);

    std::vector<unsigned char> bytes;
    Signature signature{};
    for (int i = 0; i < 3; ++i) {
        RecordBytes record;
        signature.fill(std::uint32_t(i + 1));
        ASSERT_TRUE(EncodeRecord("/r" + std::to_string(i) + ".png", signature, record));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    bytes.insert(bytes.end(), 100, 0xEE); // a short tail is ignored
    WriteBytes(path, bytes);
    EXPECT_EQ(CSignatureDatabase::CountRecords(path), 3u);
    ASSERT_TRUE(db.Open(path, true));
    EXPECT_EQ(db.GetCount(), 3u);
    EXPECT_EQ(db.Path(2), "/r2.png");
    EXPECT_FALSE(db.ZeroRecord(3));
    EXPECT_TRUE(db.ZeroRecord(1));
    db.Close();
    const std::vector<unsigned char> after = ReadBytes(path);
    ASSERT_EQ(after.size(), bytes.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        ASSERT_EQ(after[i], i >= kRecordSize && i < 2 * kRecordSize ? 0 : bytes[i]) << i;
    CSignatureDatabase readOnly;
    ASSERT_TRUE(readOnly.Open(path, false));
    EXPECT_FALSE(readOnly.ZeroRecord(0));
}

namespace {

// The pairing rules written plainly over the library's image difference.
std::vector<SDuplicateGroup> ReferenceGroups(const CSignatureDatabase& db, int threshold,
                                             const std::function<int(std::size_t, std::size_t)>& match)
{
    std::vector<SDuplicateGroup> groups;
    const std::size_t count = db.GetCount();
    std::vector<bool> grouped(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        if (grouped[i])
            continue;
        SDuplicateGroup* head = nullptr;
        for (std::size_t j = i + 1; j < count; ++j) {
            if (db.Path(i).empty() || db.Path(j).empty() || grouped[j])
                continue;
            const int m = match(i, j);
            if (m < threshold)
                continue;
            if (!head) {
                groups.push_back({});
                head = &groups.back();
                head->head = {i, m, 0, db.Path(i)};
                grouped[i] = true;
            }
            head->members.push_back({j, m, 0, db.Path(j)});
            grouped[j] = true;
        }
    }
    return groups;
}

int PlainMatch(const Signature& a, const Signature& b)
{
    unsigned long x[256], y[256];
    for (int k = 0; k < 256; ++k) {
        x[k] = a[std::size_t(k)];
        y[k] = b[std::size_t(k)];
    }
    CVelvix image;
    return 100 - image.GetImageDiffPercentage(x, y, 256);
}

std::string Describe(const std::vector<SDuplicateGroup>& groups)
{
    std::string text;
    for (const auto& group : groups) {
        text += std::to_string(group.head.record) + ":" + std::to_string(group.head.match) + "[";
        for (const auto& member : group.members)
            text += std::to_string(member.record) + ":" + std::to_string(member.match) + " ";
        text += "] ";
    }
    return text;
}

// A database of `count` random signatures; every few records one is a
// noisy copy of an earlier one, some records are zeroed.
std::string MakeDatabase(const vxtest::TempDir& dir, std::size_t count, std::uint32_t seed,
                         std::vector<Signature>& signatures)
{
    std::mt19937 random(seed);
    signatures.assign(count, {});
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        Signature& s = signatures[i];
        if (i > 0 && random() % 3 == 0) {
            s = signatures[random() % i];
            const unsigned noisy = random() % 40;
            for (unsigned k = 0; k < noisy; ++k)
                s[random() % 256] ^= random() & 0x3F3F3F;
        } else {
            for (auto& v : s)
                v = random() & (random() % 4 == 0 ? 0xFFFFFFFFu : 0xFFFFFFu); // hostile top bytes too
        }
        RecordBytes record;
        EncodeRecord("/photos/" + std::to_string(i) + ".jpg", s, record);
        if (random() % 17 == 0)
            record.fill(0);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    const std::string path = dir.File("db" + std::to_string(seed));
    WriteBytes(path, bytes);
    return path;
}

} // namespace

TEST(DuplicatesGroups, EqualThePlainPairingRules)
{
    vxtest::TempDir dir;
    std::atomic<int> stop{0};
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        std::vector<Signature> signatures;
        CSignatureDatabase db;
        ASSERT_TRUE(db.Open(MakeDatabase(dir, 300 + seed * 57, seed, signatures), false));
        for (int threshold : {100, 99, 95, 90, 80, 50, 1}) {
            const auto reference = ReferenceGroups(db, threshold, [&](std::size_t i, std::size_t j) {
                return PlainMatch(RecordSignature(db.Record(i)), RecordSignature(db.Record(j)));
            });
            for (unsigned threads : {1u, 2u, 5u}) {
                SGroupingOptions options;
                options.threads = threads;
                const auto groups = BuildDuplicateGroups(db, threshold, options, stop, nullptr);
                ASSERT_EQ(Describe(groups), Describe(reference)) << seed << " " << threshold << " " << threads;
            }
        }
    }
}

TEST(DuplicatesGroups, EdgeCasesOfThePairing)
{
    vxtest::TempDir dir;
    Signature a{}, b{}, c{};
    a.fill(0x808080);
    b = a;
    c = a;
    // b differs from a in 20 entries, c from b in 20 others: a~b, b~c, a!~c at 92.
    for (int k = 0; k < 20; ++k) {
        b[std::size_t(k)] = 0x000000;
        c[std::size_t(k)] = 0x000000;
        c[std::size_t(100 + k)] = 0xFFFFFF;
    }
    struct {
        std::vector<Signature> records;
        std::vector<bool> zeroed;
        int threshold;
        std::string groups;
    } cases[] = {
        {{a, a, a}, {}, 100, "0:100[1:100 2:100 ] "},
        {{a, b, c}, {}, 92, "0:93[1:93 ] "},
        {{a, b, c, c}, {}, 92, "0:93[1:93 ] 2:100[3:100 ] "},
        {{a, a, a}, {false, true, false}, 100, "0:100[2:100 ] "},
        {{a, a}, {true, false}, 1, ""},
        {{a}, {}, 100, ""},
    };
    std::atomic<int> stop{0};
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            RecordBytes record;
            EncodeRecord("/f" + std::to_string(i), c.records[i], record);
            if (i < c.zeroed.size() && c.zeroed[i])
                record.fill(0);
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
        WriteBytes(dir.File("db"), bytes);
        CSignatureDatabase db;
        ASSERT_TRUE(db.Open(dir.File("db"), false));
        EXPECT_EQ(Describe(BuildDuplicateGroups(db, c.threshold, {}, stop, nullptr)), c.groups) << c.groups;
    }
}

// A candidate list that cannot grow, on any of the comparison's threads,
// fails the comparison on its caller's thread once all have ended (on a
// thread of its own, or while the others still ran, it ended the program).
TEST(DuplicatesGroups, WantOfMemoryOnAnyThreadReachesTheCaller)
{
    vxtest::TempDir dir;
    Signature same{};
    same.fill(0x808080);
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 900; ++i) {  // three chunks of about 300 candidates of the first head
        RecordBytes record;
        ASSERT_TRUE(EncodeRecord("/f" + std::to_string(i), same, record));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    WriteBytes(dir.File("db"), bytes);
    CSignatureDatabase db;
    ASSERT_TRUE(db.Open(dir.File("db"), false));
    SGroupingOptions options;
    options.threads = 3;
    std::atomic<int> stop{0};
    g_testThread = std::this_thread::get_id();
    for (const int refuse : {1, 2, 3}) {
        g_refuse = refuse;
        EXPECT_THROW(BuildDuplicateGroups(db, 100, options, stop, nullptr), std::bad_alloc) << refuse;
        g_refuse = 0;
    }
    const auto groups = BuildDuplicateGroups(db, 100, options, stop, nullptr);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].members.size(), 899u);
}

// Another program may shrink or rewrite the database while it is open for a
// comparison or a batch of deletions: that is never a signal. The comparison
// sees the records as they were when opened; a record is zeroed only while
// the file still holds it unchanged, and the file never grows.
TEST(DuplicatesDatabase, AFileChangedByAnotherProgramWhileOpen)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("ambrelid [1] %.dat");
    std::vector<unsigned char> bytes; // 12 records over several pages: three groups of four
    for (int i = 0; i < 12; ++i) {
        RecordBytes record;
        Signature signature{};
        signature.fill(std::uint32_t(i % 3) * 0x404040u);
        ASSERT_TRUE(EncodeRecord("/p/" + std::to_string(i) + ".png", signature, record));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    RecordBytes other;
    ASSERT_TRUE(EncodeRecord("/p/other.png", Signature{}, other));
    const std::string groups = "0:100[3:100 6:100 9:100 ] 1:100[4:100 7:100 10:100 ] 2:100[5:100 8:100 11:100 ] ";
    const struct {
        const char* name;
        bool writable;
        std::size_t keep; // bytes left by the other program
        bool rewrite;     // it writes another record over record 1
    } cases[] = {
        {"emptied while comparing", false, 0, false},
        {"cut mid-record while comparing", false, 2 * kRecordSize + 100, false},
        {"emptied while deleting", true, 0, false},
        {"cut mid-record while deleting", true, 2 * kRecordSize + 100, false},
        {"record rewritten while deleting", true, bytes.size(), true},
    };
    std::atomic<int> stop{0};
    for (const auto& c : cases) {
        WriteBytes(path, bytes);
        std::vector<unsigned char> expected(bytes.begin(), bytes.begin() + std::ptrdiff_t(c.keep));
        if (c.rewrite)
            std::copy(other.begin(), other.end(), expected.begin() + std::ptrdiff_t(kRecordSize));
        const int code = vxtest::InChild([&] {
            CSignatureDatabase db;
            if (!db.Open(path, c.writable))
                return 2;
            const int file = ::open(path.c_str(), O_RDWR);
            if (::ftruncate(file, off_t(c.keep)) != 0 ||
                (c.rewrite && ::pwrite(file, other.data(), kRecordSize, kRecordSize) != ssize_t(kRecordSize)))
                return 3;
            ::close(file);
            if (db.GetCount() != 12 || Describe(BuildDuplicateGroups(db, 100, {}, stop, nullptr)) != groups)
                return 4;
            for (std::size_t i = 0; i < 12; ++i)
                if (db.Path(i) != "/p/" + std::to_string(i) + ".png")
                    return 5;
            for (std::size_t i = 0; c.writable && i < 12; ++i)
                if (db.ZeroRecord(i) != ((i + 1) * kRecordSize <= c.keep && !(c.rewrite && i == 1)))
                    return 6;
            return 0;
        });
        EXPECT_EQ(code, 0) << c.name << " (-1: killed by a signal)";
        for (std::size_t i = 0; c.writable && i < 12; ++i)
            if ((i + 1) * kRecordSize <= c.keep && !(c.rewrite && i == 1))
                std::fill_n(expected.begin() + std::ptrdiff_t(i * kRecordSize), kRecordSize, 0);
        EXPECT_EQ(ReadBytes(path), expected) << c.name;
    }
}

TEST(DuplicatesGroups, StopEndsWithCompleteGroupsAndThresholdTexts)
{
    vxtest::TempDir dir;
    std::vector<Signature> signatures;
    CSignatureDatabase db;
    ASSERT_TRUE(db.Open(MakeDatabase(dir, 1000, 9, signatures), false));
    std::atomic<int> stop{0};
    const auto all = BuildDuplicateGroups(db, 90, {}, stop, nullptr);
    bool stopped = false;
    const auto some = BuildDuplicateGroups(db, 90, {}, stop,
                                           [&](std::size_t done, std::size_t) {
                                               if (done >= 200)
                                                   stop = 1;
                                           },
                                           &stopped);
    EXPECT_TRUE(stopped);
    ASSERT_LT(some.size(), all.size());
    const std::string prefix = Describe(some);
    EXPECT_EQ(Describe(all).substr(0, prefix.size()), prefix);

    struct {
        const char* text;
        int value;
        bool valid;
    } texts[] = {{"100", 100, true}, {"1", 1, true},     {"90%", 90, true}, {"0", 0, false},
                 {"101", 101, false}, {"abc", 0, false}, {"", 0, false},    {" 90", 0, false},
                 {"99999999999999999999999", 1000000000, false}, {"-5", 0, false}};
    for (const auto& t : texts) {
        EXPECT_EQ(ParseThreshold(t.text), t.value) << t.text;
        EXPECT_EQ(IsValidThreshold(ParseThreshold(t.text)), t.valid) << t.text;
    }
}

Signature SignatureOf(CVelvix& image)
{
    unsigned long raw[256] = {};
    image.PixelizeBySegments_DataOnly(16, raw);
    Signature s{};
    for (int k = 0; k < 256; ++k)
        s[std::size_t(k)] = std::uint32_t(raw[k]);
    return s;
}

TEST(DuplicatesOptions, TransformsFollowTurnedAndFlippedPictures)
{
    // Sizes whose blocks divide evenly, so the turned picture's grid is the
    // turned grid exactly: full grids; 18 x 36 fills 9 x 12 of the 16 x 16
    // entries; 10 x 40 has 10 x 10 entries at stride 10 and 6 x 10 fills 6 x
    // 5 at stride 6; 32 x 18 and 12 x 12 both fill entries 0 to 143; a
    // photograph with black blocks at its right edge or its top.
    struct {
        int w, h;
        int blackRight, blackTop; // pixels
    } pictures[] = {{64, 48, 0, 0}, {18, 36, 0, 0}, {10, 40, 0, 0}, {6, 10, 0, 0},
                    {32, 18, 0, 0}, {12, 12, 0, 0}, {64, 48, 8, 0}, {64, 48, 0, 6}};
    for (const auto& p : pictures) {
        CVelvix image = vxtest::RandomImage(p.w, p.h, 11);
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) {
                const bool black = x >= p.w - p.blackRight || y >= p.h - p.blackTop;
                image.Bytes(x, y) = black ? 0 : image.Bytes(x, y) | 0x010101;
            }
        SHeadVariants head;
        const Signature base = SignatureOf(image);
        PrepareHead(PrepareSignature(reinterpret_cast<const unsigned char*>(base.data())), {true, false}, head);
        std::vector<Signature> turned;
        for (int turns = 0; turns < 4; ++turns) {
            for (bool mirrored : {false, true}) {
                CVelvix copy = image;
                for (int k = 0; k < turns; ++k)
                    copy.SimpleRotate(true);
                if (mirrored)
                    copy.SimpleFlip(false);
                const Signature s = SignatureOf(copy);
                // Every turned or mirrored picture is one of the head's variants.
                EXPECT_NE(std::find(head.colour.begin(), head.colour.end(), s), head.colour.end())
                    << p.w << "x" << p.h << " black " << p.blackRight << "/" << p.blackTop << " turns " << turns
                    << " mirrored " << mirrored;
                turned.push_back(s);
            }
        }
        std::sort(turned.begin(), turned.end());
        EXPECT_EQ(std::unique(turned.begin(), turned.end()), turned.end()); // all eight distinct
    }
}

TEST(DuplicatesOptions, MatchesEqualTheBestPlainMatchOverTheVariants)
{
    std::mt19937 random(5);
    std::atomic<int> stop{0};
    for (int round = 0; round < 300; ++round) {
        Signature a{}, b{};
        SGridLayout layout;
        layout.stride = 1 + int(random() % 16);
        layout.columns = 1 + int(random() % unsigned(layout.stride));
        layout.rows = 1 + int(random() % unsigned(layout.stride));
        const bool grey = round % 3 == 0;
        for (int y = 0; y < layout.rows; ++y)
            for (int x = 0; x < layout.columns; ++x) {
                const std::uint32_t v = random() & 0xFFFFFF;
                a[std::size_t(y * layout.stride + x)] =
                    grey ? ((v & 0x7F) + 1) * 0x010101u : (v & 0x7FFF3F) | 0x800101u;
            }
        b = TransformGrid(a, layout, int(random() % 8));
        for (int k = int(random() % 60); k > 0; --k)
            b[random() % 256] ^= random() & 0x1F1F1F;
        const auto bytes = [](const Signature& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
        const SPreparedSignature pa = PrepareSignature(bytes(a)), pb = PrepareSignature(bytes(b));
        EXPECT_EQ(pa.isGrey, grey);
        for (SCompareOptions options : {SCompareOptions{true, false}, SCompareOptions{false, true},
                                        SCompareOptions{true, true}, SCompareOptions{false, false}}) {
            SHeadVariants head;
            PrepareHead(pa, options, head);
            const bool useGrey = options.greyscale && (pa.isGrey || pb.isGrey);
            int best = -1;
            for (const SGridLayout& candidate : options.rotations ? CandidateLayouts(pa.colour)
                                                                   : std::vector<SGridLayout>{SGridLayout{}})
                for (int t = 0; t < (options.rotations ? 8 : 1); ++t)
                    best = std::max(best, PlainMatch(TransformGrid(useGrey ? pa.grey : pa.colour, candidate, t),
                                                     useGrey ? pb.grey : pb.colour));
            for (int threshold : {100, 90, 60, 1})
                ASSERT_EQ(MatchWithOptions(head, pb, options, threshold), best >= threshold ? best : -1)
                    << round << " " << threshold;
        }
    }
}

TEST(DuplicatesMarks, SizeRulesAndWideTotals)
{
    const auto group = [](std::vector<std::uint64_t> sizes, std::vector<std::uint64_t> pixels = {}) {
        SMarkGroup g;
        for (std::size_t k = 0; k < sizes.size(); ++k)
            g.items.push_back({sizes[k], k < pixels.size() ? pixels[k] : 0, true});
        return g;
    };
    const std::uint64_t big = 3ull << 30; // two of them pass 4 GiB
    struct {
        std::vector<SMarkGroup> groups;
        EMarkRule rule;
        std::string marks; // per group, '1' marked
        std::uint64_t count, total;
    } cases[] = {
        {{group({10, 12, 10})}, EMarkRule::Smaller, "100", 1, 10},
        {{group({10, 12, 10})}, EMarkRule::Larger, "010", 1, 12},
        {{group({10, 12, 10})}, EMarkRule::SameSize, "001", 1, 10},
        {{group({7, 7}), group({5, 5, 5})}, EMarkRule::Smaller, "00000", 0, 0},
        {{group({7, 7}), group({5, 5, 5})}, EMarkRule::Larger, "00000", 0, 0},
        {{group({7, 7}), group({5, 5, 5})}, EMarkRule::SameSize, "01011", 3, 17},
        {{group({big, 1}), group({big, 2})}, EMarkRule::Larger, "1010", 2, 2 * big},
        {{group({4, 9, 9}, {100, 50, 100})}, EMarkRule::AllButBest, "110", 2, 13},
        {{group({4, 9, 9}, {100, 100, 100})}, EMarkRule::AllButBest, "101", 2, 13},
        {{group({9, 9}, {100, 100})}, EMarkRule::AllButBest, "01", 1, 9},
        // A file gone since the comparison (size 0): the last copy left is
        // never marked as the larger one.
        {{group({10, 0}), group({0, 10, 12, 10})}, EMarkRule::Larger, "000010", 1, 12},
        {{group({10, 0}), group({0, 10, 12, 10})}, EMarkRule::Smaller, "000100", 1, 10},
    };
    for (auto& c : cases) {
        const SMarkSummary summary = ApplyMarkRule(c.groups, c.rule);
        std::string marks;
        for (const auto& g : c.groups)
            for (const auto& item : g.items)
                marks += item.checked ? '1' : '0';
        EXPECT_EQ(marks, c.marks) << int(c.rule);
        EXPECT_EQ(summary.count, c.count) << int(c.rule);
        EXPECT_EQ(summary.total, c.total) << int(c.rule);
        EXPECT_EQ(SummarizeMarks(c.groups).total, c.total);
    }
}
