// The readers against the external test suites: Qt's own readers (independent
// decoders) and the suites' reference renderings are the oracles.
#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Files(const std::string& folder, const std::string& extension)
{
    std::vector<std::string> files;
    const fs::path root = vxtest::TestData(folder);
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string Name(const std::string& path)
{
    return fs::path(path).filename().string();
}

QImage QtRead(const std::string& path, const char* format = nullptr)
{
    QImageReader reader(QString::fromStdString(path), format);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

struct Comparison {
    bool alpha = false;          // compare the top byte with the reference alpha
    bool skipTransparent = false;  // pixels the reference leaves transparent are free
    int tolerance = 0;           // per channel
};

// Empty when `ours` shows the reference picture, else the first difference.
std::string Compare(CVelvix& ours, const QImage& reference, Comparison how = {})
{
    if (!ours.IsValidObject())
        return "not decoded";
    if (ours.GetWidth() != reference.width() || ours.GetHeight() != reference.height())
        return "size " + std::to_string(ours.GetWidth()) + "x" + std::to_string(ours.GetHeight()) + " instead of " +
               std::to_string(reference.width()) + "x" + std::to_string(reference.height());
    const int height = reference.height();
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        for (int x = 0; x < reference.width(); ++x) {
            const VxPixel mine = ours.Bytes(x, height - 1 - y);
            const QRgb theirs = row[x];
            if (how.skipTransparent && qAlpha(theirs) == 0)
                continue;
            const int d = std::max({std::abs(int((mine >> 16) & 0xFF) - qRed(theirs)),
                                    std::abs(int((mine >> 8) & 0xFF) - qGreen(theirs)),
                                    std::abs(int(mine & 0xFF) - qBlue(theirs))});
            const bool alphaDiffers = how.alpha && int(mine >> 24) != qAlpha(theirs);
            if (d > how.tolerance || alphaDiffers) {
                std::ostringstream why;
                why << "pixel (" << x << ", " << y << ") is " << std::hex << mine << ", expected " << theirs;
                return why.str();
            }
        }
    }
    return {};
}

// Mean absolute difference per channel between two decodes of one picture.
double MeanDifference(CVelvix& a, CVelvix& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 1e9;
    double sum = 0;
    const int n = a.GetWidth() * a.GetHeight();
    for (int i = 0; i < n; ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(int((a.Bytes(i) >> shift) & 0xFF) - int((b.Bytes(i) >> shift) & 0xFF));
    return sum / (3.0 * n);
}

// The outcome of the system libraries on each PNG, JPEG and GIF input,
// measured once and shipped with the suites: OK, WARN or ERR.
std::map<std::string, std::string> LibraryOutcomes()
{
    std::map<std::string, std::string> outcomes;
    std::ifstream in(vxtest::TestData("library-outcomes.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string outcome, path;
        std::getline(fields, outcome, '\t');
        std::getline(fields, path, '\t');
        outcomes[path] = outcome;
    }
    return outcomes;
}

} // namespace

// The suite's own rendering of a good bitmap file, if it has one.
QImage BitmapRendering(const std::string& path)
{
    const std::string name = Name(path);
    std::string rendering = vxtest::TestData("bmp/image-rs/reference/" + name + ".png");
    if (!fs::exists(rendering))
        rendering = vxtest::TestData("bmp/bmpsuite-2.8/html/" + fs::path(path).stem().string() + ".png");
    return fs::exists(rendering) ? QtRead(rendering) : QImage();
}

int BitsPerPixel(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char header[30] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const bool os2 = header[14] == 12;
    return os2 ? header[24] | header[25] << 8 : header[28] | header[29] << 8;
}

TEST(BitmapSuites, EveryGoodFileMatchesQtsReaderAndTheSuitesRendering)
{
    std::vector<std::string> files = Files("bmp/bmpsuite-2.8/g", ".bmp");
    for (const std::string& f : Files("bmp/image-rs/good", ".bmp"))
        files.push_back(f);
    ASSERT_GE(files.size(), 50u);
    int renderings = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(path.c_str()), 1);
        const int bpp = BitsPerPixel(path);
        const QImage reference = QtRead(path, "BMP");
        // Qt does not read OS/2 1.x files; for 16-bit files it widens 5 bits
        // by a plain shift (31 -> 248) where we scale to the full range.
        if (!reference.isNull()) {
            EXPECT_EQ(Compare(image, reference, {.tolerance = bpp == 16 ? 7 : 0}), "");
        }
        const QImage rendering = BitmapRendering(path);
        if (rendering.isNull())
            continue;
        ++renderings;
        // The renderings give 32-bit files without alpha as opaque, where
        // we keep the file's fourth byte: alpha is compared for 16-bit files.
        const bool alphaMask = Name(path).find("_A") != std::string::npos && bpp == 16;
        EXPECT_EQ(Compare(image, rendering, {.alpha = alphaMask}), "");
    }
    EXPECT_GE(renderings, 35);
}

TEST(PngSuite, EveryGoodFileMatchesQtsReader)
{
    const auto files = Files("png/pngsuite", ".png");
    ASSERT_GE(files.size(), 150u);
    int checked = 0;
    for (const std::string& path : files) {
        if (Name(path)[0] == 'x')
            continue;
        SCOPED_TRACE(path);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(path.c_str()), 1);
        const QImage reference = QtRead(path);
        ASSERT_FALSE(reference.isNull());
        // Palette transparency is dropped; every other alpha is kept. Qt
        // blanks the colour of fully transparent pixels, and Qt 6.4 ignores
        // the colour key of 16-bit files (tbbn2c16: the key is white and so
        // is the corner pixel, which must come out transparent).
        const std::string name = Name(path);
        const bool palette = name.find("3p") != std::string::npos;
        const bool key16 = name.rfind("tb", 0) == 0 && name.find("16.png") != std::string::npos;
        const bool alpha = QImageReader(QString::fromStdString(path)).read().hasAlphaChannel() && !palette;
        if (key16) {
            EXPECT_EQ(image.Bytes(0, image.GetHeight() - 1), 0x00FFFFFFu);
        } else {
            EXPECT_EQ(Compare(image, reference, {.alpha = alpha, .skipTransparent = !palette}), "");
        }
        if (!alpha) {
            EXPECT_EQ(image.Bytes(0) >> 24, 0u);
        }
        ++checked;
    }
    EXPECT_GE(checked, 150);
}

TEST(PngSuite, InterlacedFilesEqualTheirNonInterlacedTwins)
{
    for (const std::string& path : Files("png/pngsuite", ".png")) {
        const std::string name = Name(path);
        if (name.size() < 5 || name[3] != 'i')
            continue;
        std::string twinName = name;
        twinName[3] = 'n';
        const std::string twin = vxtest::TestData("png/pngsuite/" + twinName);
        if (!fs::exists(twin))
            continue;
        SCOPED_TRACE(name);
        CVelvix a, b;
        ASSERT_EQ(a.ReadImage(path.c_str()), 1);
        ASSERT_EQ(b.ReadImage(twin.c_str()), 1);
        EXPECT_EQ(vxtest::FirstDifference(a, b), -1);
    }
}

TEST(GifSuites, EveryGoodFileMatchesQtsFirstFrame)
{
    std::vector<std::string> files;
    for (const char* folder : {"gif/giflib", "gif/image-gif/good", "gif/peterdn-gif-test-suite/gifs"})
        for (const std::string& f : Files(folder, ".gif"))
            files.push_back(f);
    ASSERT_GE(files.size(), 30u);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(path.c_str()), 1);
        const QImage reference = QtRead(path);
        ASSERT_FALSE(reference.isNull());
        // Where Qt shows transparency we show the table colour: not compared.
        EXPECT_EQ(Compare(image, reference, {.skipTransparent = true}), "");
    }
}

TEST(GifSuites, SingleImageFilesMatchGiflibsOwnRendering)
{
    for (const char* name : {"gifgrid", "porsche", "treescap", "x-trans"}) {
        SCOPED_TRACE(name);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(vxtest::TestData(std::string("gif/giflib/") + name + ".gif").c_str()), 1);
        std::ifstream in(vxtest::TestData(std::string("gif/giflib/rgb/") + name + ".rgb"), std::ios::binary);
        std::vector<unsigned char> rgb{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const int w = image.GetWidth(), h = image.GetHeight();
        ASSERT_EQ(rgb.size(), std::size_t(w) * h * 3);
        long differences = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = &rgb[(std::size_t(y) * w + x) * 3];
                differences += image.Bytes(x, h - 1 - y) != (VxPixel(p[0]) << 16 | VxPixel(p[1]) << 8 | p[2]);
            }
        EXPECT_EQ(differences, 0);
    }
}

TEST(GifSuites, PygifFirstFramesMatchTheExpectedPixels)
{
    int checked = 0;
    for (const std::string& conf : Files("gif/pygif-test-suite", ".conf")) {
        std::ifstream in(conf);
        std::string line, frames, pixels, input;
        bool inFrame0 = false;
        while (std::getline(in, line)) {
            if (line.rfind("frames =", 0) == 0)
                frames = line.substr(8);
            if (line.rfind("input = ", 0) == 0)
                input = line.substr(8);
            if (!line.empty() && line[0] == '[')
                inFrame0 = line == "[frame0]";
            if (inFrame0 && line.rfind("pixels = ", 0) == 0)
                pixels = line.substr(9);
        }
        const std::string gif = vxtest::TestData("gif/pygif-test-suite/" + input);
        SCOPED_TRACE(gif);
        CVelvix image;
        const int result = image.ReadImage(gif.c_str());
        const std::string name = Name(conf);
        // Pinned: giflib cannot read these to their end (image data missing
        // or defective), so we refuse them although the suite expects a frame.
        if (name == "max-codes.conf" || name == "no-data.conf" || name.rfind("image-zero-", 0) == 0) {
            EXPECT_EQ(result, 0);
            continue;
        }
        if (frames.find("frame0") == std::string::npos) {
            EXPECT_EQ(result, 0) << "the suite expects no picture";
            continue;
        }
        ASSERT_EQ(result, 1);
        if (pixels.empty())
            continue;
        std::ifstream raw(vxtest::TestData("gif/pygif-test-suite/" + pixels), std::ios::binary);
        std::vector<unsigned char> rgba{std::istreambuf_iterator<char>(raw), std::istreambuf_iterator<char>()};
        QImage reference(image.GetWidth(), image.GetHeight(), QImage::Format_ARGB32);
        if (rgba.size() != std::size_t(image.GetWidth()) * image.GetHeight() * 4) {
            ADD_FAILURE() << "size differs from the expected frame";
            continue;
        }
        for (int y = 0; y < reference.height(); ++y)
            for (int x = 0; x < reference.width(); ++x) {
                const unsigned char* p = &rgba[(std::size_t(y) * reference.width() + x) * 4];
                reference.setPixel(x, y, qRgba(p[0], p[1], p[2], p[3]));
            }
        // The suite merges images that carry no delay into one frame; we
        // show the first image only.
        if (name == "images-combine.conf" || name == "images-overlap.conf" || name == "high-color.conf" ||
            name == "dispose-restore-previous.conf")
            continue;
        EXPECT_EQ(Compare(image, reference, {.skipTransparent = true}), "");
        ++checked;
    }
    EXPECT_GE(checked, 50);
}

TEST(JpegSuites, DecodesLikeQtsReader)
{
    // Qt decodes with the same libjpeg-turbo, so only the colour conversion
    // of the few CMYK files may differ, and only by rounding.
    std::vector<std::string> files;
    for (const char* folder : {"jpeg/jpegsuite/baseline", "jpeg/jpegsuite/progressive_huffman",
                               "jpeg/jpegsuite/extended_huffman", "jpeg/jpegsuite/progressive_arithmetic",
                               "jpeg/jpegsuite/extended_arithmetic", "jpeg/libjpeg-turbo", "jpeg/jpeg-decoder-reftest",
                               "jpeg/jpeg-decoder-reftest/mozilla", "jpeg/pillow/good"})
        for (const std::string& f : Files(folder, ".jpg"))
            files.push_back(f);
    ASSERT_GE(files.size(), 100u);
    int checked = 0;
    for (const std::string& path : files) {
        const std::string name = Name(path);
        if (name.find("orientation") != std::string::npos)
            continue;
        const QImage reference = QtRead(path);
        if (reference.isNull())
            continue;
        SCOPED_TRACE(path);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(path.c_str()), 1);
        const bool cmyk = name.find("cmyk") != std::string::npos;
        EXPECT_EQ(Compare(image, reference, {.tolerance = cmyk ? 1 : 0}), "");
        ++checked;
    }
    EXPECT_GE(checked, 100);
}

TEST(JpegSuites, CmykFilesMatchTheirReferenceRenderings)
{
    for (const char* name : {"mozilla/jpg-cmyk-1", "mozilla/jpg-cmyk-2"}) {
        SCOPED_TRACE(name);
        CVelvix image;
        ASSERT_EQ(image.ReadImage(vxtest::TestData(std::string("jpeg/jpeg-decoder-reftest/") + name + ".jpg").c_str()), 1);
        CVelvix reference;
        reference.CreateImage(nullptr, QtRead(vxtest::TestData(std::string("jpeg/jpeg-decoder-reftest/") + name + ".png")));
        EXPECT_LT(MeanDifference(image, reference), 3.0);
    }
    CVelvix ycck, rgb;
    ASSERT_EQ(ycck.ReadImage(vxtest::TestData("jpeg/pillow/good/pil_sample_cmyk.jpg").c_str()), 1);
    ASSERT_EQ(rgb.ReadImage(vxtest::TestData("jpeg/pillow/good/pil_sample_rgb.jpg").c_str()), 1);
    EXPECT_LT(MeanDifference(ycck, rgb), 8.0) << "Adobe YCCK shows the same picture as its RGB twin";
}

TEST(JpegSuites, ExifOrientationShowsThePhotoUpright)
{
    CVelvix upright;
    ASSERT_EQ(upright.ReadImage(vxtest::TestData("jpeg/pillow/good/hopper.jpg").c_str()), 1);
    for (int n : {2, 3, 4, 6, 7, 8}) {
        SCOPED_TRACE(n);
        CVelvix turned;
        ASSERT_EQ(turned.ReadImage(vxtest::TestData("jpeg/pillow/good/hopper_orientation_" + std::to_string(n) + ".jpg").c_str()), 1);
        EXPECT_LT(MeanDifference(turned, upright), 6.0);
    }
    CVelvix landscape;
    ASSERT_EQ(landscape.ReadImage(vxtest::TestData("jpeg/exif-orientation-examples/Landscape_1.jpg").c_str()), 1);
    ASSERT_EQ(landscape.GetWidth(), 1800);
    ASSERT_EQ(landscape.GetHeight(), 1200);
    CVelvix mirrored = landscape;
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1800; ++x)
            mirrored.Bytes(x, y) = landscape.Bytes(1799 - x, y);
    ASSERT_GT(MeanDifference(mirrored, landscape), 20.0) << "the measure tells a wrong orientation apart";
    for (int n = 0; n <= 8; ++n) {
        SCOPED_TRACE(n);
        CVelvix turned;
        ASSERT_EQ(turned.ReadImage(vxtest::TestData("jpeg/exif-orientation-examples/Landscape_" + std::to_string(n) + ".jpg").c_str()), 1);
        EXPECT_LT(MeanDifference(turned, landscape), 6.0);
    }
    // A 2 x 1 picture tagged 8 (turned a quarter to the left) shows as 1 x 2.
    CVelvix small;
    ASSERT_EQ(small.ReadImage(vxtest::TestData("jpeg/pillow/good/orientation_rectangle.jpg").c_str()), 1);
    EXPECT_EQ(small.GetWidth(), 1);
    EXPECT_EQ(small.GetHeight(), 2);
}

// A picture read into an image of the same size reuses its buffer, and
// every pixel is written (nothing of the old picture shows through).
TEST(ImageFiles, ReadingIntoAPictureOfTheSameSizeReusesItsBuffer)
{
    std::vector<std::string> files;
    for (int n = 0; n <= 8; ++n)
        files.push_back("jpeg/exif-orientation-examples/Landscape_" + std::to_string(n) + ".jpg");
    for (const char* name : {"basn2c08", "basn0g01", "basn3p04", "basi6a16", "basn4a08"})
        files.push_back(std::string("png/pngsuite/") + name + ".png");
    files.push_back("gif/giflib/gifgrid.gif");
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string path = vxtest::TestData(file);
        CVelvix fresh;
        ASSERT_EQ(fresh.ReadImage(path.c_str()), 1);
        CVelvix reused = vxtest::FilledImage(fresh.GetWidth(), fresh.GetHeight(), 0xFFFFFFFF);
        const VxPixel* buffer = vxtest::Data(reused);
        ASSERT_EQ(reused.ReadImage(path.c_str()), 1);
        EXPECT_EQ(vxtest::FirstDifference(reused, fresh), -1);
        if (file.find(".gif") == std::string::npos) {
            EXPECT_EQ(vxtest::Data(reused), buffer);
        }
    }
}

// The policy in one table: a PNG, JPEG or GIF decodes exactly when the
// system library decodes it (a warning included), with the deliberate
// differences listed here.
TEST(CodecPolicy, AcceptsWhatTheLibrariesDecodeAndRefusesTheRest)
{
    const std::map<std::string, int> differences = {
        // A PNG named .jpg: the codec path goes by content.
        {"jpeg/jpeg-decoder-reftest/mozilla/jpg-size-6x6.jpg", 1},
    };
    const auto outcomes = LibraryOutcomes();
    ASSERT_GE(outcomes.size(), 700u);
    int checked = 0;
    for (const auto& [path, outcome] : outcomes) {
        if (path.rfind("bmp/", 0) == 0 || !fs::exists(vxtest::TestData(path)))
            continue;
        SCOPED_TRACE(path + " " + outcome);
        const auto exception = differences.find(path);
        const int expected = exception != differences.end() ? exception->second : outcome == "ERR" ? 0 : 1;
        CVelvix image = vxtest::FilledImage(3, 2, 0x123456);
        const int result = image.ReadImage(vxtest::TestData(path).c_str());
        EXPECT_EQ(result, expected);
        if (result == 0) {
            EXPECT_TRUE(!image.IsValidObject() || (image.GetWidth() == 3 && image.Bytes(0) == 0x123456))
                << "a refused file leaves the old picture or an empty image";
        }
        ++checked;
    }
    EXPECT_GE(checked, 600);
}

TEST(CodecPolicy, TruncatedJpegGivesThePartialPictureAtFullSize)
{
    CVelvix image;
    ASSERT_EQ(image.ReadImage(vxtest::TestData("jpeg/pillow/bad/truncated_jpeg.jpg").c_str()), 1);
    EXPECT_EQ(image.GetWidth(), 100);
    EXPECT_EQ(image.GetHeight(), 100);
}

TEST(CodecPolicy, AFewBytesClaimingAHugeChunkTakeNoMemoryForIt)
{
    // 57-byte files whose side chunk claims a gigabyte, read in a child.
    for (const char* name : {"huge_tEXt_chunk.png", "huge_zTXt_chunk.png", "huge_iCCP_chunk.png",
                             "huge_pCAL_chunk.png", "huge_juNK_unsafe_to_copy.png"}) {
        const std::string path = vxtest::TestData(std::string("png/libpng-crashers/") + name);
        const auto [refused, peakKb] = vxtest::InChildWithPeakKb([&] { return CVelvix().ReadImage(path.c_str()) == 0; });
        EXPECT_TRUE(refused) << name;
        EXPECT_LT(peakKb, 64 * 1024) << name << ": KB taken";
    }
}
