// The bitmap reader on files made here, byte by byte, and its pinned policy
// for the questionable and bad files of the external suites.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& b, std::size_t at, std::uint32_t value, int size)
{
    if (b.size() < at + size)
        b.resize(at + size);
    for (int i = 0; i < size; ++i)
        b[at + i] = (value >> (8 * i)) & 0xFF;
}

// A bitmap file: 14-byte file header, an info header of `infoSize` bytes,
// then `extra` (masks or palette), then the pixel data at the offset.
Bytes MakeBitmap(int width, int height, int bpp, std::uint32_t compression, const Bytes& extra, const Bytes& pixels,
                 std::uint32_t infoSize = 40, std::uint32_t clrUsed = 0)
{
    Bytes b(14 + infoSize);
    b[0] = 'B';
    b[1] = 'M';
    const std::uint32_t offset = 14 + infoSize + std::uint32_t(extra.size());
    Put(b, 2, offset + std::uint32_t(pixels.size()), 4);
    Put(b, 10, offset, 4);
    Put(b, 14, infoSize, 4);
    Put(b, 18, std::uint32_t(width), 4);
    Put(b, 22, std::uint32_t(height), 4);
    Put(b, 26, 1, 2);
    Put(b, 28, std::uint32_t(bpp), 2);
    Put(b, 30, compression, 4);
    Put(b, 46, clrUsed, 4);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes Palette(std::initializer_list<VxPixel> colours)
{
    Bytes p;
    for (VxPixel c : colours) {
        p.push_back(c & 0xFF);
        p.push_back((c >> 8) & 0xFF);
        p.push_back((c >> 16) & 0xFF);
        p.push_back(0);
    }
    return p;
}

int Read(CVelvix& image, const Bytes& file)
{
    return image.ReadBitmapMemory(file.data(), file.size());
}

// Display pixel (x, y), row 0 at the top.
VxPixel At(CVelvix& image, int x, int y)
{
    return image.Bytes(x, image.GetHeight() - 1 - y);
}

} // namespace

TEST(BitmapReader, TopDownAndBottomUpFilesShowTheSamePicture)
{
    // 2 x 2 at 24 bits: rows of 6 bytes padded to 8.
    const Bytes bottomUp = {1, 2, 3, 4, 5, 6, 0, 0, /* top row: */ 7, 8, 9, 10, 11, 12, 0, 0};
    const Bytes topDown = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    CVelvix a, b;
    ASSERT_EQ(Read(a, MakeBitmap(2, 2, 24, 0, {}, bottomUp)), 1);
    ASSERT_EQ(Read(b, MakeBitmap(2, -2, 24, 0, {}, topDown)), 1);
    EXPECT_EQ(vxtest::FirstDifference(a, b), -1);
    EXPECT_EQ(At(a, 0, 0), 0x090807u);
    EXPECT_EQ(At(a, 1, 1), 0x060504u);
}

TEST(BitmapReader, AlphaRulesPerDepth)
{
    // 32-bit without masks: the fourth byte is kept as it is.
    CVelvix plain;
    ASSERT_EQ(Read(plain, MakeBitmap(2, 1, 32, 0, {}, {1, 2, 3, 0x80, 4, 5, 6, 0x00})), 1);
    EXPECT_EQ(plain.Bytes(0, 0), 0x80030201u);
    EXPECT_EQ(plain.Bytes(1, 0), 0x00060504u);

    // Bit fields with standard colour masks and no alpha mask: no alpha.
    Bytes masks;
    Put(masks, 0, 0xFF0000, 4);
    Put(masks, 4, 0xFF00, 4);
    Put(masks, 8, 0xFF, 4);
    CVelvix noAlpha;
    ASSERT_EQ(Read(noAlpha, MakeBitmap(1, 1, 32, 3, masks, {1, 2, 3, 0x80})), 1);
    EXPECT_EQ(noAlpha.Bytes(0, 0), 0x030201u);

    // Alpha bit fields (mask after the colour masks): 2-bit alpha scaled to 8 bits.
    Bytes alphaMasks;
    Put(alphaMasks, 0, 0x00FF0000, 4);
    Put(alphaMasks, 4, 0x0000FF00, 4);
    Put(alphaMasks, 8, 0x000000FF, 4);
    Put(alphaMasks, 12, 0x03000000, 4);
    CVelvix withAlpha;
    ASSERT_EQ(Read(withAlpha, MakeBitmap(1, 1, 32, 6, alphaMasks, {1, 2, 3, 0x02})), 1);
    EXPECT_EQ(withAlpha.Bytes(0, 0), 0xAA030201u);

    // 16-bit default 5-5-5: full-range scaling, the top bit ignored.
    CVelvix sixteen;
    ASSERT_EQ(Read(sixteen, MakeBitmap(2, 1, 16, 0, {}, {0xFF, 0xFF, 0x01, 0x00})), 1);
    EXPECT_EQ(sixteen.Bytes(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(sixteen.Bytes(1, 0), 0x00000008u);  // 1 of 31 -> round(255 / 31) = 8
}

TEST(BitmapReader, PalettesAndPackedIndices)
{
    // 1-bit: 9 pixels, two bytes of bits, padded to 4.
    const Bytes pal = Palette({0x112233, 0xAABBCC});
    CVelvix image;
    ASSERT_EQ(Read(image, MakeBitmap(9, 1, 1, 0, pal, {0b10100000, 0b10000000, 0, 0}, 40, 2)), 1);
    EXPECT_EQ(image.Bytes(0, 0), 0xAABBCCu);
    EXPECT_EQ(image.Bytes(1, 0), 0x112233u);
    EXPECT_EQ(image.Bytes(2, 0), 0xAABBCCu);
    EXPECT_EQ(image.Bytes(8, 0), 0xAABBCCu);

    // 4-bit with a two-entry palette: an index past the palette is black.
    CVelvix four;
    ASSERT_EQ(Read(four, MakeBitmap(3, 1, 4, 0, pal, {0x01, 0x70, 0, 0}, 40, 2)), 1);
    EXPECT_EQ(four.Bytes(0, 0), 0x112233u);
    EXPECT_EQ(four.Bytes(1, 0), 0xAABBCCu);
    EXPECT_EQ(four.Bytes(2, 0), 0u);

    // More colours declared than the depth allows, and not in the file: refused.
    CVelvix tooMany;
    EXPECT_EQ(Read(tooMany, MakeBitmap(1, 1, 1, 0, pal, {0, 0, 0, 0}, 40, 3)), 0);
}

TEST(BitmapReader, RunLengthStreams)
{
    const Bytes pal = Palette({0x000000, 0x111111, 0x222222, 0x333333});
    // RLE8 4 x 3: row 0 = run of 4 x colour 1; row 1 = literal 2,3,1 then end
    // of line (last pixel undefined: black); row 2 = delta (+1, 0), run of
    // 2 x colour 3, end of bitmap.
    const Bytes stream = {4, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 0, 2, 3, 0, 1};
    CVelvix image;
    ASSERT_EQ(Read(image, MakeBitmap(4, 3, 8, 1, pal, stream, 40, 4)), 1);
    const VxPixel expected[3][4] = {{0x111111, 0x111111, 0x111111, 0x111111},
                                    {0x222222, 0x333333, 0x111111, 0},
                                    {0, 0x333333, 0x333333, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(image.Bytes(x, y), expected[y][x]) << x << "," << y;

    // A delta that moves up two rows: everything it skips stays black.
    CVelvix jump;
    ASSERT_EQ(Read(jump, MakeBitmap(2, 3, 8, 1, pal, {0, 2, 1, 2, 1, 1, 0, 1}, 40, 4)), 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(jump.Bytes(i), i == 5 ? 0x111111u : 0u) << i;

    // RLE4 with an odd literal (3 nibbles padded to a word) and a two-colour run.
    const Bytes stream4 = {0, 3, 0x12, 0x30, 3, 0x21, 0, 1};
    CVelvix four;
    ASSERT_EQ(Read(four, MakeBitmap(6, 1, 4, 2, pal, stream4, 40, 4)), 1);
    const VxPixel row4[6] = {0x111111, 0x222222, 0x333333, 0x222222, 0x111111, 0x222222};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(four.Bytes(x, 0), row4[x]) << x;

    // Without end of bitmap, but every row done: accepted.
    CVelvix noEnd;
    EXPECT_EQ(Read(noEnd, MakeBitmap(2, 1, 8, 1, pal, {2, 1, 0, 0}, 40, 4)), 1);
    // A run past the end of its row, a delta out of the picture, a stream
    // that stops early, and a top-down RLE file: refused.
    CVelvix bad;
    EXPECT_EQ(Read(bad, MakeBitmap(2, 1, 8, 1, pal, {3, 1, 0, 1}, 40, 4)), 0);
    EXPECT_EQ(Read(bad, MakeBitmap(2, 2, 8, 1, pal, {0, 2, 0, 5, 0, 1}, 40, 4)), 0);
    EXPECT_EQ(Read(bad, MakeBitmap(2, 2, 8, 1, pal, {2, 1, 0, 0}, 40, 4)), 0);
    EXPECT_EQ(Read(bad, MakeBitmap(2, -1, 8, 1, pal, {2, 1, 0, 1}, 40, 4)), 0);
}

// Every row but the last needs its padding; the last needs only its pixel
// bytes. Every shorter file is refused, and no prefix is read past its end.
TEST(BitmapReader, TruncatedFilesAreRefusedAtTheExactLength)
{
    Bytes pixels(3 * 8);  // 2 x 3 at 24 bits: 6 bytes + 2 padding per row
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t(i * 7 + 1);
    const Bytes file = MakeBitmap(2, 3, 24, 0, {}, pixels);
    const std::size_t needed = 54 + 2 * 8 + 6;
    for (std::size_t length = 0; length <= file.size(); ++length) {
        // A copy of exactly `length` bytes, so that ASan sees any overread.
        std::vector<unsigned char> prefix(file.begin(), file.begin() + length);
        CVelvix image;
        EXPECT_EQ(image.ReadBitmapMemory(prefix.data(), prefix.size()), length >= needed ? 1 : 0) << length;
    }
}

TEST(BitmapReader, HeaderVariants)
{
    // OS/2 1.x: 12-byte header, 16-bit sizes, 3-byte palette entries.
    Bytes os2(26);
    os2[0] = 'B';
    os2[1] = 'M';
    Put(os2, 10, 26 + 6, 4);
    Put(os2, 14, 12, 4);
    Put(os2, 18, 2, 2);
    Put(os2, 20, 1, 2);
    Put(os2, 22, 1, 2);
    Put(os2, 24, 1, 2);
    for (unsigned char c : {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x40, 0, 0, 0})
        os2.push_back(c);
    CVelvix image;
    ASSERT_EQ(Read(image, os2), 1);
    EXPECT_EQ(image.Bytes(0, 0), 0x302010u);
    EXPECT_EQ(image.Bytes(1, 0), 0x605040u);

    // V5 header (124 bytes) with its masks inside the header, 16-bit 5-6-5.
    Bytes v5 = MakeBitmap(1, 1, 16, 3, {}, {0x1F, 0xF8, 0, 0}, 124);
    Put(v5, 54, 0xF800, 4);
    Put(v5, 58, 0x07E0, 4);
    Put(v5, 62, 0x001F, 4);
    ASSERT_EQ(Read(image, v5), 1);
    EXPECT_EQ(image.Bytes(0, 0), 0xFF00FFu);

    // Masks that are not contiguous, a mask wider than the pixel, unknown
    // header sizes and depths, embedded JPEG: refused.
    Bytes gap;
    Put(gap, 0, 0x5, 4);
    Put(gap, 4, 0x2, 4);
    Put(gap, 8, 0x0, 4);
    EXPECT_EQ(Read(image, MakeBitmap(1, 1, 16, 3, gap, {0, 0, 0, 0})), 0);
    Bytes wide;
    Put(wide, 0, 0x1F0000, 4);
    Put(wide, 4, 0x2, 4);
    Put(wide, 8, 0x1, 4);
    EXPECT_EQ(Read(image, MakeBitmap(1, 1, 16, 3, wide, {0, 0, 0, 0})), 0);
    EXPECT_EQ(Read(image, MakeBitmap(1, 1, 24, 0, {}, {0, 0, 0, 0}, 100)), 0);
    EXPECT_EQ(Read(image, MakeBitmap(1, 1, 12, 0, {}, {0, 0, 0, 0})), 0);
    EXPECT_EQ(Read(image, MakeBitmap(1, 1, 24, 4, {}, {0, 0, 0, 0})), 0);
}

TEST(BitmapReader, SizeCapIsCheckedBeforeAnyAllocation)
{
    // Tiny files that declare pictures beyond the cap (65535 per side, 2^28
    // pixels), or no picture at all.
    for (auto [w, h] : {std::pair{65536, 1}, {1, 65536}, {16385, 16385}, {0, 5}, {5, 0}, {-3, 5}}) {
        Bytes rle = MakeBitmap(w, h, 8, 1, Palette({0}), {0, 1}, 40, 1);
        CVelvix image = vxtest::FilledImage(2, 2, 7);
        EXPECT_EQ(Read(image, rle), 0) << w << "x" << h;
        EXPECT_EQ(image.GetWidth(), 2) << "a refused header leaves the old picture";
    }
}

TEST(BitmapReader, SuitePolicyForQuestionableAndBadFiles)
{
    // Refused: Huffman 1D, RLE24, embedded JPEG/PNG, 64 bits per pixel, the
    // "BA" container; the runs of the image-rs files that cross their rows.
    const std::set<std::string> refused = {
        "bmpsuite-2.8/q/pal1huffmsb.bmp", "bmpsuite-2.8/q/rgb24jpeg.bmp", "bmpsuite-2.8/q/rgb24png.bmp",
        "bmpsuite-2.8/q/rgb24rle24.bmp", "bmpsuite-2.8/q/rgba64.bmp", "bmpsuite-2.8/x/ba-bm.bmp",
        "image-rs/questionable/imagemagick_invalid_run_length_issue_2321.bmp", "image-rs/questionable/rle_overflow.bmp"};
    // Bad files whose fault is in a field the reader does not use (density,
    // file size) decode; every other bad file is refused.
    const std::set<std::string> badButDecoded = {"bmpsuite-2.8/b/baddens1.bmp", "bmpsuite-2.8/b/badfilesize.bmp"};
    int seen = 0;
    for (const char* folder : {"bmpsuite-2.8/q", "bmpsuite-2.8/b", "bmpsuite-2.8/x", "image-rs/questionable", "image-rs/bad"}) {
        const bool bad = std::string(folder).find("/b") != std::string::npos && std::string(folder) != "image-rs/questionable";
        for (const auto& entry : std::filesystem::directory_iterator(vxtest::TestData(std::string("bmp/") + folder))) {
            const std::string relative = std::string(folder) + "/" + entry.path().filename().string();
            CVelvix image;
            const int result = image.ReadImage(entry.path().c_str());
            const bool decodes = bad ? badButDecoded.count(relative) > 0 : refused.count(relative) == 0;
            EXPECT_EQ(result, decodes ? 1 : 0) << relative;
            EXPECT_EQ(image.IsValidObject(), result == 1) << relative;
            ++seen;
        }
    }
    EXPECT_GE(seen, 55);
}
