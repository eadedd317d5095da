// Reduced-scale decoding for thumbnails: the scale chosen for a box, equal
// pictures wherever no reduction applies, and reduced JPEGs that match the
// full decode (size, orientation, content) at every pixel.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "image/covering_decode.h"
#include "test_support.h"

namespace {

// Smooth content, as photographs have, so a reduced decode stays close.
CVelvix Smooth(int w, int h)
{
    CVelvix image = vxtest::FilledImage(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.Bytes(x, y) = VxPixel(x * 255 / w) << 16 | VxPixel(y * 255 / h) << 8 | VxPixel((x + y) * 127 / (w + h));
    return image;
}

// Mean channel difference between a reduced picture and the average of the
// block of the full picture each of its pixels stands for, over every
// reduced pixel. `mirrored` compares with the full picture turned upside
// down: the difference a wrong orientation makes.
double MeanDifferenceToFull(CVelvix& reduced, CVelvix& full, bool mirrored = false)
{
    const int rw = reduced.GetWidth(), rh = reduced.GetHeight(), fw = full.GetWidth(), fh = full.GetHeight();
    double sum = 0;
    for (int y = 0; y < rh; ++y)
        for (int x = 0; x < rw; ++x) {
            const int x0 = int(long(x) * fw / rw), x1 = std::max(x0 + 1, int(long(x + 1) * fw / rw));
            const int y0 = int(long(y) * fh / rh), y1 = std::max(y0 + 1, int(long(y + 1) * fh / rh));
            for (int shift = 0; shift < 24; shift += 8) {
                double block = 0;
                for (int fy = y0; fy < y1; ++fy)
                    for (int fx = x0; fx < x1; ++fx)
                        block += (full.Bytes(fx, mirrored ? fh - 1 - fy : fy) >> shift) & 0xFF;
                block /= double((x1 - x0) * (y1 - y0));
                sum += std::abs(double((reduced.Bytes(x, y) >> shift) & 0xFF) - block);
            }
        }
    return sum / (3.0 * rw * rh);
}

} // namespace

TEST(CoveringDecode, ScaleIsTheSmallestThatStillCoversTheFittedBox)
{
    struct Case {
        int w, h, boxW, boxH, expected;
    };
    for (const Case& c : {Case{6000, 4000, 116, 116, 8}, {1000, 1000, 250, 250, 4}, {1001, 1001, 250, 250, 4},
                          {995, 995, 250, 250, 2}, {100, 100, 200, 200, 1}, {100, 100, 100, 100, 1},
                          {200, 200, 100, 100, 2}, {4000, 10, 100, 100, 8}, {10, 4000, 100, 100, 8},
                          {800, 600, 100, 600, 8}, {800, 600, 800, 1, 8}, {800, 600, 1600, 1200, 1}, {1, 1, 1, 1, 8},
                          {0, 10, 5, 5, 1}, {10, 10, 0, 5, 1}, {-5, 10, 5, 5, 1}, {10, 10, 5, -1, 1}}) {
        EXPECT_EQ(VxJpegCoveringScale(c.w, c.h, c.boxW, c.boxH), c.expected)
            << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
        // Whatever was chosen still covers the fitted picture.
        if (c.w > 0 && c.h > 0 && c.boxW > 0 && c.boxH > 0) {
            const double f = std::min(double(c.boxW) / c.w, double(c.boxH) / c.h);
            const int d = c.expected;
            EXPECT_GE((c.w + d - 1) / d, std::min(c.w, int(c.w * f)));
            EXPECT_GE((c.h + d - 1) / d, std::min(c.h, int(c.h * f)));
        }
    }
}

TEST(CoveringDecode, WithoutReductionThePictureEqualsTheFullDecode)
{
    vxtest::TempDir dir;
    CVelvix source = Smooth(61, 37);
    // Lossless formats never reduce; a JPEG whose box is not smaller than
    // the picture decodes at full scale.
    struct Case {
        const char* name;
        int boxW, boxH;
    };
    for (const Case& c : {Case{"a b%[1].png", 8, 8}, {"c*?.gif", 8, 8}, {"é.bmp", 8, 8}, {"d.jpg", 61, 37},
                          {"e.jpg", 500, 500}, {"f.jpg", 61, 400}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(source.SaveImage(dir.File(c.name).c_str()), 1);
        CVelvix full, covering;
        ASSERT_EQ(full.ReadImage(dir.File(c.name).c_str()), 1);
        int fullW = 0, fullH = 0;
        ASSERT_EQ(VxReadImageCovering(covering, dir.File(c.name).c_str(), c.boxW, c.boxH, &fullW, &fullH), 1);
        EXPECT_EQ(vxtest::FirstDifference(full, covering), -1);
        EXPECT_EQ(fullW, 61);
        EXPECT_EQ(fullH, 37);
    }
    CVelvix none;
    EXPECT_EQ(VxReadImageCovering(none, dir.File("missing.jpg").c_str(), 8, 8), 0);
    EXPECT_EQ(VxReadImageCovering(none, nullptr, 8, 8), 0);
    EXPECT_FALSE(none.IsValidObject());
}

TEST(CoveringDecode, ReducedJpegMatchesTheFullDecodeInEveryOrientation)
{
    // Stored 1200 x 1800 or 1800 x 1200 with each EXIF orientation.
    for (int orientation = 0; orientation <= 8; ++orientation) {
        const std::string path =
            vxtest::TestData("jpeg/exif-orientation-examples/Landscape_" + std::to_string(orientation) + ".jpg");
        SCOPED_TRACE(path);
        CVelvix full, reduced;
        ASSERT_EQ(full.ReadImage(path.c_str()), 1);
        int fullW = 0, fullH = 0;
        ASSERT_EQ(VxReadImageCovering(reduced, path.c_str(), 200, 200, &fullW, &fullH), 1);
        EXPECT_EQ(fullW, full.GetWidth());
        EXPECT_EQ(fullH, full.GetHeight());
        const int d = VxJpegCoveringScale(full.GetWidth(), full.GetHeight(), 200, 200);
        ASSERT_GT(d, 1);
        EXPECT_EQ(reduced.GetWidth(), (full.GetWidth() + d - 1) / d);
        EXPECT_EQ(reduced.GetHeight(), (full.GetHeight() + d - 1) / d);
        // A wrong turn or flip of a photograph differs by tens of levels.
        const double right = MeanDifferenceToFull(reduced, full), wrong = MeanDifferenceToFull(reduced, full, true);
        EXPECT_LT(right, 3.0);
        EXPECT_GT(wrong, 10 * right);
    }
}

TEST(CoveringDecode, ReducedSmoothJpegStaysCloseToTheFullDecode)
{
    vxtest::TempDir dir;
    CVelvix source = Smooth(203, 131);
    ASSERT_EQ(source.SaveImage(dir.File("s.jpg").c_str()), 1);
    CVelvix full, reduced;
    ASSERT_EQ(full.ReadImage(dir.File("s.jpg").c_str()), 1);
    ASSERT_EQ(VxReadImageCovering(reduced, dir.File("s.jpg").c_str(), 30, 30), 1);
    EXPECT_EQ(reduced.GetWidth(), 51); // 1/4: 1/8 would be 26 wide, less than 30
    EXPECT_EQ(reduced.GetHeight(), 33);
    EXPECT_LT(MeanDifferenceToFull(reduced, full), 4.0);
}
