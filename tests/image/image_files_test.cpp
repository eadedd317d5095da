// Reading and saving through ReadImage/SaveImage: round trips per format,
// the extension rules, write errors and truncated input.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/child_process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// While set, every operator new above this many bytes on this thread fails,
// as in a process at the end of its memory (ulimit -v).
thread_local std::size_t t_newLimit = 0;

} // namespace

// From malloc, as the standard library's own: its delete frees these too.
void* operator new(std::size_t size)
{
    if (t_newLimit && size > t_newLimit)
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

#include "operator_new_companions.h"

namespace {

// While set, fallocate fails as on a file system that cannot reserve space.
bool g_noFallocate = false;

} // namespace

extern "C" int fallocate(int fd, int mode, off_t offset, off_t length)
{
    if (g_noFallocate) {
        errno = EOPNOTSUPP;
        return -1;
    }
    using Reserve = int (*)(int, int, off_t, off_t);
    static const auto real = reinterpret_cast<Reserve>(dlsym(RTLD_NEXT, "fallocate"));
    return real(fd, mode, offset, length);
}

namespace {

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A picture of at most `colours` distinct colours (top byte 0).
CVelvix FewColours(int w, int h, int colours, std::uint32_t seed)
{
    CVelvix image = vxtest::RandomImage(w, h, seed);
    std::vector<VxPixel> palette;
    for (int i = 0; i < colours; ++i)
        palette.push_back(image.Bytes(i % (w * h)) ^ VxPixel(i * 0x010203));
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = palette[(image.Bytes(i) >> 3) % colours] & 0xFFFFFF;
    return image;
}

// A smooth picture, as photographs are, for the lossy format.
CVelvix Gradient(int w, int h)
{
    CVelvix image = vxtest::FilledImage(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.Bytes(x, y) = VxPixel(x * 255 / w) << 16 | VxPixel(y * 255 / h) << 8 | VxPixel((x + y) * 127 / (w + h));
    return image;
}

double MeanDifference(CVelvix& a, CVelvix& b)
{
    double sum = 0;
    const int n = a.GetWidth() * a.GetHeight();
    for (int i = 0; i < n; ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(int((a.Bytes(i) >> shift) & 0xFF) - int((b.Bytes(i) >> shift) & 0xFF));
    return sum / (3.0 * n);
}

std::string Signature(const std::string& path)
{
    const auto bytes = ReadAll(path);
    if (bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8)
        return "jpeg";
    if (bytes.size() >= 4 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return "png";
    if (bytes.size() >= 4 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F')
        return "gif";
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return "bmp";
    return "?";
}

} // namespace

TEST(ImageFiles, LosslessFormatsReadBackExactly)
{
    vxtest::TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {64, 33}, {127, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        CVelvix image = vxtest::RandomImage(w, h, std::uint32_t(w * 31 + h));
        // The top byte (a decoded alpha) is not saved: the copies read back with 0 there.
        CVelvix withAlpha = image;
        for (int i = 0; i < w * h; ++i)
            withAlpha.Bytes(i) |= 0x7F000000u;
        for (const char* name : {"a.bmp", "a.png"}) {
            SCOPED_TRACE(name);
            ASSERT_EQ(withAlpha.SaveImage(dir.File(name).c_str()), 1);
            CVelvix back;
            ASSERT_EQ(back.ReadImage(dir.File(name).c_str()), 1);
            EXPECT_EQ(vxtest::FirstDifference(back, image), -1);
        }
        CVelvix few = FewColours(w, h, std::min(256, w * h), 7);
        ASSERT_EQ(few.SaveImage(dir.File("a.gif").c_str()), 1);
        CVelvix back;
        ASSERT_EQ(back.ReadImage(dir.File("a.gif").c_str()), 1);
        EXPECT_EQ(vxtest::FirstDifference(back, few), -1) << "GIF is exact up to 256 colours";
    }
}

TEST(ImageFiles, ManyColoursAreQuantizedForGif)
{
    vxtest::TempDir dir;
    CVelvix image = Gradient(200, 150);
    ASSERT_EQ(image.SaveImage(dir.File("g.gif").c_str()), 1);
    CVelvix back;
    ASSERT_EQ(back.ReadImage(dir.File("g.gif").c_str()), 1);
    ASSERT_EQ(back.GetWidth(), 200);
    ASSERT_EQ(back.GetHeight(), 150);
    EXPECT_LT(MeanDifference(back, image), 10.0);
}

TEST(ImageFiles, JpegReadsBackCloseAndUpright)
{
    vxtest::TempDir dir;
    CVelvix image = Gradient(97, 61);
    for (int y = 53; y < 61; ++y)
        for (int x = 0; x < 8; ++x)
            image.Bytes(x, y) = 0xFFFFFF;  // a white top-left corner shows the orientation
    ASSERT_EQ(image.SaveImage(dir.File("a.jpg").c_str()), 1);
    CVelvix back;
    ASSERT_EQ(back.ReadImage(dir.File("a.jpg").c_str()), 1);
    ASSERT_EQ(back.GetWidth(), 97);
    ASSERT_EQ(back.GetHeight(), 61);
    EXPECT_LT(MeanDifference(back, image), 2.0);
    EXPECT_GT(back.Bytes(2, 58) & 0xFF, 0xE0u);
    EXPECT_EQ(back.Bytes(0) >> 24, 0u);
}

TEST(ImageFiles, ExtensionRulesChooseThePath)
{
    vxtest::TempDir dir;
    CVelvix image = FewColours(9, 4, 5, 3);
    struct Save { const char* name; const char* format; };
    for (const Save& s : {Save{"a.bmp", "bmp"}, {"a.gif", "gif"}, {"a.png", "png"}, {"a.jpg", "jpeg"},
                          {"a.jpeg", "jpeg"}, {"a.xyz", "jpeg"}, {"A.PNG", "png"}, {"noextension", "jpeg"},
                          {"photopng", "png"}}) {
        ASSERT_EQ(image.SaveImage(dir.File(s.name).c_str()), 1) << s.name;
        EXPECT_EQ(Signature(dir.File(s.name)), s.format) << s.name;
    }
    // Reading: the codec path goes by content, the bitmap path reads bitmaps only.
    const auto png = ReadAll(dir.File("a.png"));
    const auto bmp = ReadAll(dir.File("a.bmp"));
    struct Read { const char* name; const std::vector<unsigned char>* bytes; int result; };
    for (const Read& r : {Read{"png-with-jpeg-extension.jpg", &png, 1}, {"photo.JPG", &png, 1}, {"b.GIF", &png, 1},
                          {"a.jpeg", &bmp, 1}, {"a.dib", &bmp, 1}, {"a.tif", &bmp, 1}, {"bitmap", &bmp, 1},
                          {"a.dib", &png, 0}, {"a.tif", &png, 0}, {"picture", &png, 0}}) {
        WriteAll(dir.File(r.name), *r.bytes);
        CVelvix read;
        EXPECT_EQ(read.ReadImage(dir.File(r.name).c_str()), r.result) << r.name;
        if (r.result) {
            EXPECT_EQ(vxtest::FirstDifference(read, image), -1) << r.name;
        }
    }
    CVelvix missing;
    EXPECT_EQ(missing.ReadImage(dir.File("missing.png").c_str()), 0);
    EXPECT_EQ(missing.ReadImage(dir.File("missing.bmp").c_str()), 0);
    EXPECT_EQ(missing.ReadImage(dir.Path().c_str()), 0) << "a folder is no picture";
    // Reading a FIFO would wait for a writer forever: refused at once.
    for (const char* name : {"pipe.png", "pipe.bmp"}) {
        ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0600), 0);
        EXPECT_EQ(missing.ReadImage(dir.File(name).c_str()), 0) << name;
    }
}

TEST(ImageFiles, WriteErrorsAreReportedAsFailures)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CVelvix image = vxtest::RandomImage(300, 200, 9);
    EXPECT_FALSE(image.SaveBitmapImage("/dev/full"));
    EXPECT_FALSE(image.SaveCodecImage("/dev/full", VxCodecFormat::Jpeg));
    EXPECT_FALSE(image.SaveCodecImage("/dev/full", VxCodecFormat::Png));
    EXPECT_FALSE(image.SaveCodecImage("/dev/full", VxCodecFormat::Gif));
}

// A full disk in the middle of an encode: the user's old file stays as it
// was and no temporary file is left.
TEST(ImageFiles, AFailedEncodeKeepsTheOldFile)
{
    vxtest::TempDir dir;
    CVelvix image = vxtest::RandomImage(400, 300, 4);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    for (const char* name : {"keep.bmp", "keep.png", "keep.gif", "keep.jpg"}) {
        const std::string path = dir.File(name);
        WriteAll(path, {'o', 'l', 'd'});
        rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int result = image.SaveImage(path.c_str());
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(result, 0) << name;
        EXPECT_EQ(ReadAll(path), (std::vector<unsigned char>{'o', 'l', 'd'})) << name;
        int files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path()))
            ++files;
        EXPECT_EQ(files, 1) << name << ": no temporary file is left";
        fs::remove(path);
    }
}

// Saving through symbolic links (a picture in a folder of links) writes the
// file at the end of the chain and keeps every link. A dangling link gets its
// picture made where it points, when that folder exists; a chain that ends
// nowhere or loops is refused, and nothing changes.
TEST(ImageFiles, SavingThroughALinkKeepsTheLink)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links; // name, text ('@' is the case's folder)
        std::string end;                                        // gets the picture; "" when refused
    } const cases[] = {
        {"to a picture", {{"a.png", "@/real [%]/photo.png"}}, "real [%]/photo.png"},
        {"relative", {{"a.png", "real [%]/photo.png"}}, "real [%]/photo.png"},
        {"to a link", {{"a.png", "b.png"}, {"b.png", "@/real [%]/photo.png"}}, "real [%]/photo.png"},
        {"dangling", {{"a.png", "@/real [%]/new \xc3\xa9.png"}}, "real [%]/new \xc3\xa9.png"},
        {"dangling, to a link", {{"a.png", "b.png"}, {"b.png", "real [%]/new.png"}}, "real [%]/new.png"},
        {"dangling, through a folder link", {{"a.png", "d/new.png"}, {"d", "real [%]"}}, "real [%]/new.png"},
        {"into a missing folder", {{"a.png", "gone/new.png"}}, ""},
        {"a loop", {{"a.png", "b.png"}, {"b.png", "a.png"}}, ""},
        {"to itself", {{"a.png", "a.png"}}, ""},
    };
    CVelvix image = vxtest::RandomImage(30, 20, 6);
    for (const Case& c : cases) {
        vxtest::TempDir dir;
        const std::string home = dir.Path().string();
        fs::create_directory(dir.Path() / "real [%]");
        WriteAll(dir.File("real [%]/photo.png"), {'o', 'l', 'd'});
        auto text = [&](std::string t) { return t[0] == '@' ? home + t.substr(1) : t; };
        for (const auto& [name, target] : c.links)
            fs::create_symlink(text(target), dir.Path() / name);
        const auto entries = [&] { return std::distance(fs::recursive_directory_iterator(dir.Path()), {}); };
        const auto before = entries();
        const bool created = !c.end.empty() && !fs::exists(dir.Path() / c.end);

        EXPECT_EQ(image.SaveImage(dir.File("a.png").c_str()), c.end.empty() ? 0 : 1) << c.what;
        for (const auto& [name, target] : c.links)
            EXPECT_EQ(fs::is_symlink(dir.Path() / name) ? fs::read_symlink(dir.Path() / name).string() : "",
                      text(target)) << c.what << ": " << name;
        EXPECT_EQ(entries(), before + (created ? 1 : 0)) << c.what << ": only the picture is new";
        if (c.end != "real [%]/photo.png") {
            EXPECT_EQ(ReadAll(dir.File("real [%]/photo.png")), (std::vector<unsigned char>{'o', 'l', 'd'})) << c.what;
        }
        if (!c.end.empty()) {
            CVelvix back;
            ASSERT_EQ(back.ReadImage(dir.File(c.end).c_str()), 1) << c.what;
            EXPECT_EQ(vxtest::FirstDifference(back, image), -1) << c.what;
        }
    }
}

// Every prefix of a small file in each format: never a crash or an overread
// (the prefixes are exact-size copies, so ASan would see one). GIF refuses
// every incomplete file; PNG every file cut before the end of its image data
// (the closing 12-byte IEND chunk is not needed).
TEST(ImageFiles, TruncatedInputIsHandled)
{
    vxtest::TempDir dir;
    CVelvix image = FewColours(23, 17, 40, 5);
    for (const char* name : {"t.png", "t.gif", "t.jpg"}) {
        ASSERT_EQ(image.SaveImage(dir.File(name).c_str()), 1);
        const auto bytes = ReadAll(dir.File(name));
        const bool lenient = std::string(name) == "t.jpg";
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            std::vector<unsigned char> prefix(bytes.begin(), bytes.begin() + length);
            CVelvix read;
            const bool ok = read.ReadCodecMemory(prefix.data(), prefix.size());
            const bool png = std::string(name) == "t.png";
            if (png) {
                EXPECT_EQ(ok, length >= bytes.size() - 12) << name << " cut at " << length;
            } else if (!lenient) {
                EXPECT_FALSE(ok) << name << " cut at " << length;
            } else if (ok) {
                EXPECT_EQ(read.GetWidth(), 23) << "a truncated JPEG gives the whole frame, partly grey";
            }
        }
        CVelvix whole;
        EXPECT_TRUE(whole.ReadCodecMemory(bytes.data(), bytes.size())) << name;
    }
}

// The JPEG reader's pinned answers: files libjpeg cannot start are refused,
// one cut inside the entropy data decodes with the rest filled in.
TEST(ImageFiles, JpegCutInsideTheScanStillDecodes)
{
    vxtest::TempDir dir;
    CVelvix image = Gradient(64, 64);
    ASSERT_EQ(image.SaveImage(dir.File("c.jpg").c_str()), 1);
    auto bytes = ReadAll(dir.File("c.jpg"));
    bytes.resize(bytes.size() * 2 / 3);
    CVelvix read;
    ASSERT_TRUE(read.ReadCodecMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(read.GetWidth(), 64);
    EXPECT_LT(std::abs(int(read.Bytes(0, 63) & 0xFF) - int(image.Bytes(0, 63) & 0xFF)), 8) << "the top rows are there";
    const std::vector<unsigned char> header(bytes.begin(), bytes.begin() + 20);
    EXPECT_FALSE(read.ReadCodecMemory(header.data(), header.size()));
    EXPECT_EQ(read.GetWidth(), 64) << "a file refused in its header leaves the picture as it was";
}

// Work buffers that cannot be had (a rotated JPEG's rows, PNG row pointers,
// GIF lines, the GIF quantizer's planes): the read or save fails, no
// exception leaves the library (on a worker thread it would end the
// program), the picture read into keeps its old content, the old file stays.
TEST(ImageFiles, WantOfMemoryFailsCleanly)
{
    constexpr std::size_t kScarce = 16384;
    vxtest::TempDir dir;
    ASSERT_EQ(Gradient(3, 3000).SaveImage(dir.File("tall.png").c_str()), 1);
    ASSERT_EQ(FewColours(20000, 1, 9, 2).SaveImage(dir.File("wide.gif").c_str()), 1);
    const std::string turned = vxtest::TestData("jpeg/exif-orientation-examples/Landscape_6.jpg");
    for (const std::string& path : {turned, dir.File("tall.png"), dir.File("wide.gif")}) {
        CVelvix expected;
        ASSERT_EQ(expected.ReadImage(path.c_str()), 1) << path;
        for (CVelvix old : {vxtest::RandomImage(expected.GetWidth(), expected.GetHeight(), 3), vxtest::RandomImage(7, 5, 4)}) {
            CVelvix image = old;
            t_newLimit = kScarce;
            const int read = image.ReadImage(path.c_str());
            t_newLimit = 0;
            EXPECT_EQ(read, 0) << path;
            EXPECT_EQ(vxtest::FirstDifference(image, old), -1) << path;
        }
    }
    // A hard-linked PNG is copied into place through a buffer of its own.
    struct Save { const char* name; CVelvix image; bool linked; };
    for (const Save& save : {Save{"many.gif", vxtest::RandomImage(200, 200, 5), false},
                             Save{"wide.gif", FewColours(20000, 1, 9, 2), false},
                             Save{"linked.png", vxtest::RandomImage(20, 20, 6), true}}) {
        const std::string path = dir.File(std::string("old-") + save.name);
        WriteAll(path, {'o', 'l', 'd'});
        if (save.linked)
            fs::create_hard_link(path, path + "-link");
        CVelvix source = save.image;
        t_newLimit = kScarce;
        const int saved = source.SaveImage(path.c_str());
        t_newLimit = 0;
        EXPECT_EQ(saved, 0) << save.name;
        EXPECT_EQ(ReadAll(path), (std::vector<unsigned char>{'o', 'l', 'd'})) << save.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 6) << "no temporary file is left";
}

// A save over a file with two names on a disk with room for the new file but
// not for the old one to grow into it: refused, and both names keep the old
// bytes (the rewrite in place was cut off midway, losing the picture), also
// where the file system cannot reserve space. With room, both names show the
// new file, grown or shrunk.
TEST(ImageFiles, AHardLinkedFileOnAFullDiskKeepsItsOldContent)
{
    vxtest::TempDir dir;
    VX_SKIP_UNLESS_MOUNT(dir.Path().string());
    const std::string disk = dir.File("disk");
    fs::create_directory(disk);
    const CVelvix large = vxtest::RandomImage(160, 160, 7), small = vxtest::RandomImage(4, 4, 8);
    ASSERT_EQ(CVelvix(large).SaveImage(dir.File("large.png").c_str()), 1);
    ASSERT_EQ(CVelvix(small).SaveImage(dir.File("small.png").c_str()), 1);
    const auto largeBytes = ReadAll(dir.File("large.png")), smallBytes = ReadAll(dir.File("small.png"));
    const std::vector<unsigned char> old(4096, 'o');
    for (const bool reserves : {true, false}) {
        SCOPED_TRACE(reserves ? "reserving" : "without fallocate");
        const int code = vxtest::InChild([&] {
            g_noFallocate = !reserves;
            const std::string a = disk + "/a 100% [1].png", b = disk + "/b.png", filler = disk + "/filler";
            if (!vxtest::MountTmpfs(disk, 1024))
                return 10;
            WriteAll(a, old);
            if (link(a.c_str(), b.c_str()) != 0)
                return 11;
            // Room for the new file beside the old, half as much again.
            struct statvfs space {};
            statvfs(disk.c_str(), &space);
            const std::size_t room = std::size_t(space.f_bavail) * space.f_frsize;
            WriteAll(filler, std::vector<unsigned char>(room - largeBytes.size() * 3 / 2, 'f'));
            if (CVelvix(large).SaveImage(a.c_str()) != 0)
                return 12;
            if (ReadAll(a) != old || ReadAll(b) != old)
                return 13;
            if (std::distance(fs::directory_iterator(disk), {}) != 3)
                return 14;  // a temporary file left
            unlink(filler.c_str());
            if (CVelvix(large).SaveImage(a.c_str()) != 1 || ReadAll(b) != largeBytes)
                return 15;
            if (CVelvix(small).SaveImage(b.c_str()) != 1 || ReadAll(a) != smallBytes)
                return 16;
            struct stat linked {};
            return stat(a.c_str(), &linked) == 0 && linked.st_nlink == 2 ? 0 : 17;
        });
        EXPECT_EQ(code, 0);
    }
}
