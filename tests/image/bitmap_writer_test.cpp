#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned Get32(const std::vector<unsigned char>& b, int at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | unsigned(b[at + 3]) << 24;
}

} // namespace

TEST(BitmapWriter, HeaderLayoutAndRowPadding)
{
    vxtest::TempDir dir;
    struct Case { int w, h; unsigned size; };
    for (const Case& c : {Case{5, 3, 106}, Case{4, 2, 82}}) {
        CVelvix image = vxtest::RandomImage(c.w, c.h);
        const std::string path = dir.File("a.bmp");
        ASSERT_EQ(image.SaveImage(path.c_str()), 1);
        const auto bytes = ReadAll(path);
        ASSERT_EQ(bytes.size(), c.size);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(Get32(bytes, 2), c.size);
        EXPECT_EQ(Get32(bytes, 6), 0u);
        EXPECT_EQ(Get32(bytes, 10), 58u);
        EXPECT_EQ(Get32(bytes, 14), 40u);
        EXPECT_EQ(Get32(bytes, 18), unsigned(c.w));
        EXPECT_EQ(Get32(bytes, 22), unsigned(c.h));
        EXPECT_EQ(bytes[26] | bytes[27] << 8, 1);
        EXPECT_EQ(bytes[28] | bytes[29] << 8, 24);
        EXPECT_EQ(Get32(bytes, 30), 0u);
        EXPECT_EQ(Get32(bytes, 34), 0u);
        EXPECT_EQ(Get32(bytes, 38), 1u);
        EXPECT_EQ(Get32(bytes, 42), 1u);
        EXPECT_EQ(Get32(bytes, 46), 0u);
        EXPECT_EQ(Get32(bytes, 50), 0u);
        EXPECT_EQ(Get32(bytes, 54), 0u);
        // First pixel of the block is the bottom-left pixel, blue first.
        EXPECT_EQ(bytes[58], image.Bytes(0, 0) & 0xFF);
        EXPECT_EQ(bytes[60], (image.Bytes(0, 0) >> 16) & 0xFF);
    }
}

// The pixel block of the file is exactly what Create24BitDWORDAlignedBuffer
// makes, for every row padding and for pictures taller than one write slice.
TEST(BitmapWriter, PixelBlockEqualsThe24BitBuffer)
{
    vxtest::TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {3, 2}, {5, 7}, {8, 1}, {4099, 300}}) {
        CVelvix image = vxtest::RandomImage(w, h, std::uint32_t(w + 17 * h));
        for (int i = 0; i < w * h; i += 3)
            image.Bytes(i) |= 0xAB000000u;  // the top byte is never written
        const std::string path = dir.File("b.bmp");
        ASSERT_TRUE(image.SaveBitmapImage(path.c_str()));
        const auto bytes = ReadAll(path);
        int size = 0;
        std::unique_ptr<unsigned char[]> block(
            static_cast<CVelvix_PixelInterface&>(image).Create24BitDWORDAlignedBuffer(size));
        ASSERT_EQ(bytes.size(), 58u + unsigned(size)) << w << "x" << h;
        EXPECT_TRUE(std::equal(bytes.begin() + 58, bytes.end(), block.get())) << w << "x" << h;
    }
}

TEST(SaveImage, EmptyImageWritesNothing)
{
    vxtest::TempDir dir;
    CVelvix empty;
    for (const char* name : {"a.bmp", "a.png", "a.gif", "a.jpg"}) {
        EXPECT_EQ(empty.SaveImage(dir.File(name).c_str()), 0);
        EXPECT_FALSE(std::filesystem::exists(dir.File(name)));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "no temporary file is left behind";
}

TEST(SaveImage, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("keep.bmp");
    {
        std::ofstream(path) << "the user's picture";
    }
    CVelvix empty;
    EXPECT_EQ(empty.SaveImage(path.c_str()), 0);
    EXPECT_EQ(ReadAll(path).size(), std::string("the user's picture").size());

    // A folder that cannot be written to: the save fails cleanly.
    if (geteuid() != 0) {
        CVelvix image = vxtest::RandomImage(3, 3);
        chmod(dir.Path().c_str(), 0500);
        EXPECT_EQ(image.SaveImage(path.c_str()), 0);
        chmod(dir.Path().c_str(), 0700);
        EXPECT_EQ(ReadAll(path).size(), std::string("the user's picture").size());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(SaveImage, ReplacesAnExistingFileAndKeepsItsPermissions)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("photo.bmp");
    {
        std::ofstream(path) << "old";
    }
    chmod(path.c_str(), 0640);
    CVelvix image = vxtest::RandomImage(6, 2);
    ASSERT_EQ(image.SaveImage(path.c_str()), 1);
    EXPECT_EQ(ReadAll(path).size(), 58u + 2 * 20);
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(SaveImage, FailsOnAFullDisk)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CVelvix image = vxtest::RandomImage(64, 64);
    EXPECT_FALSE(image.SaveBitmapImage("/dev/full"));
}
