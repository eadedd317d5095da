#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace fs = std::filesystem;

std::atomic<int> g_umaskCalls {0};

std::string WriteOld(const std::string& path, mode_t mode)
{
    std::ofstream(path) << "old";
    return chmod(path.c_str(), mode) == 0 ? "" : path + ": chmod failed\n";
}

int Entries(const fs::path& folder)
{
    return int(std::distance(fs::directory_iterator(folder), {}));
}

unsigned Get32(const std::vector<unsigned char>& b, int at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | unsigned(b[at + 3]) << 24;
}

} // namespace

// Every call of umask by this process lands here: saving must not change the
// process-wide mask even for a moment, since another thread may be creating
// a file at that time.
extern "C" mode_t umask(mode_t mask) noexcept
{
    ++g_umaskCalls;
    return mode_t(syscall(SYS_umask, mask));
}

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
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    CVelvix image = vxtest::RandomImage(6, 2);
    ASSERT_EQ(image.SaveImage(path.c_str()), 1);
    EXPECT_EQ(ReadAll(path).size(), 58u + 2 * 20);
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u) << "root saving a user's picture leaves it the user's";
        EXPECT_EQ(info.st_gid, 65534u);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// A new picture gets the mode the system gives any new file, and the
// process-wide umask is neither read nor changed to learn it.
TEST(SaveImage, ANewFileFollowsTheUmaskWithoutTouchingIt)
{
    vxtest::TempDir dir;
    CVelvix image = vxtest::RandomImage(4, 4);
    const mode_t old = umask(027);
    const int callsBefore = g_umaskCalls;
    const int result = image.SaveImage(dir.File("new.png").c_str());
    const int calls = g_umaskCalls - callsBefore;
    umask(old);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(calls, 0);
    struct stat info {};
    ASSERT_EQ(stat(dir.File("new.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Another name of the same file (a hard link) shows the new picture too.
TEST(SaveImage, AHardLinkedPictureKeepsItsLinks)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("a.bmp"), other = dir.File("b.bmp");
    WriteOld(path, 0644);
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    ASSERT_EQ(symlink("a.bmp", dir.File("c.bmp").c_str()), 0);
    for (const int size : {40, 2, 17}) { // growing and shrinking the file, then through a symbolic link
        CVelvix image = vxtest::RandomImage(size, size, size);
        ASSERT_EQ(image.SaveImage(dir.File(size == 17 ? "c.bmp" : "a.bmp").c_str()), 1);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, 2u);
        EXPECT_EQ(info.st_size, off_t(ReadAll(path).size()));
        CVelvix back;
        ASSERT_EQ(back.ReadImage(other.c_str()), 1);
        EXPECT_EQ(vxtest::FirstDifference(back, image), -1);
        EXPECT_EQ(Entries(dir.Path()), 3) << "no temporary file is left";
        EXPECT_TRUE(fs::is_symlink(dir.File("c.bmp")));
    }
}

// A name that is a folder, a pipe or a device (or a link to one) is refused:
// the folder and what it holds stay, nothing takes the node's place (a
// rename over /dev/null would replace the system's), and no temporary file
// is left.
TEST(SaveImage, ANameThatIsAFolderIsRefused)
{
    vxtest::TempDir dir;
    for (const char* name : {"empty.jpg", "full.bmp"}) {
        const fs::path folder = dir.Path() / name;
        fs::create_directory(folder);
        if (std::string(name) == "full.bmp")
            WriteOld((folder / "inside").string(), 0644);
        CVelvix image = vxtest::RandomImage(5, 5);
        EXPECT_EQ(image.SaveImage(folder.c_str()), 0) << name;
        EXPECT_TRUE(fs::is_directory(folder)) << name;
    }
    EXPECT_EQ(ReadAll(dir.File("full.bmp/inside")), (std::vector<unsigned char> {'o', 'l', 'd'}));
    int nodes = 0;
    struct Node { const char* name; mode_t type; dev_t device; };
    for (const Node& n : {Node{"pipe.png", S_IFIFO, 0}, Node{"null.jpg", S_IFCHR, makedev(1, 3)}}) {
        if (mknod(dir.File(n.name).c_str(), n.type | 0666, n.device) != 0)
            continue; // a device node needs root
        ++nodes;
        const std::string link = dir.File(std::string("link-") + n.name);
        ASSERT_EQ(symlink(n.name, link.c_str()), 0);
        for (const std::string& path : {dir.File(n.name), link}) {
            CVelvix image = vxtest::RandomImage(5, 5);
            EXPECT_EQ(image.SaveImage(path.c_str()), 0) << path;
            struct stat info {};
            EXPECT_TRUE(stat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == n.type) << path;
        }
    }
    EXPECT_EQ(Entries(dir.Path()), 2 + 2 * nodes);
}

// The permission rules of saving, as an ordinary user.
TEST(SaveImage, RespectsFilePermissionsAsAnOrdinaryUser)
{
    vxtest::TempDir dir;
    const fs::path folder = dir.Path();
    CVelvix image = vxtest::RandomImage(7, 5, 3);
    const auto failures = vxtest::RunUnprivileged({folder}, [&]() -> std::string {
        struct Case {
            const char* name;
            mode_t mode;
            int result;
        } const cases[] = {
            {"read-only.bmp", 0444, 0}, // the user may not write it: refused
            {"no-access.png", 0000, 0},
            {"write-only.bmp", 0200, 1}, // without the owner's read bit
            {"private.png", 0600, 1},
            {"shared.bmp", 0664, 1},
        };
        // Each case again through a symbolic link in a folder the user may
        // not write: the rules are the target's, and so is the folder that
        // takes the temporary file.
        const fs::path links = folder / "links";
        fs::create_directory(links);
        for (const Case& c : cases)
            fs::create_symlink(folder / c.name, links / c.name);
        fs::create_symlink(folder / "new.png", links / "dangling.png");
        chmod(links.c_str(), 0555);
        std::string failed;
        for (const bool throughLink : {false, true})
        for (const Case& c : cases) {
            const std::string path = (folder / c.name).string();
            const std::string name = std::string(throughLink ? "link to " : "") + c.name;
            failed += WriteOld(path, c.mode);
            if (image.SaveImage((throughLink ? links / c.name : folder / c.name).c_str()) != c.result)
                failed += name + ": wrong result\n";
            struct stat info {};
            if (stat(path.c_str(), &info) != 0 || (info.st_mode & 07777) != c.mode)
                failed += name + ": mode changed\n";
            chmod(path.c_str(), 0600);
            CVelvix back;
            const bool isNew = back.ReadImage(path.c_str()) == 1 && vxtest::FirstDifference(back, image) == -1;
            const bool isOld = ReadAll(path) == std::vector<unsigned char> {'o', 'l', 'd'};
            if (c.result ? !isNew : !isOld)
                failed += name + ": wrong content\n";
            if (!fs::is_symlink(links / c.name))
                failed += name + ": the link is gone\n";
        }
        CVelvix back;
        if (image.SaveImage((links / "dangling.png").c_str()) != 1 || !fs::is_symlink(links / "dangling.png") ||
            back.ReadImage((folder / "new.png").c_str()) != 1 || vxtest::FirstDifference(back, image) != -1)
            failed += "a dangling link in a closed folder: its picture was not made where it points\n";
        // A writable file in a folder the user may not write to.
        const fs::path closed = folder / "closed";
        fs::create_directory(closed);
        failed += WriteOld((closed / "a.bmp").string(), 0644);
        chmod(closed.c_str(), 0555);
        if (image.SaveImage((closed / "a.bmp").c_str()) != 0)
            failed += "closed folder: saved\n";
        if (ReadAll((closed / "a.bmp").string()) != std::vector<unsigned char> {'o', 'l', 'd'})
            failed += "closed folder: file changed\n";
        // Nor through a link beside it, to a picture still to be made there.
        fs::create_symlink(closed / "new.png", folder / "into-closed.png");
        if (image.SaveImage((folder / "into-closed.png").c_str()) != 0 || !fs::is_symlink(folder / "into-closed.png"))
            failed += "closed folder, through a dangling link: saved\n";
        chmod(closed.c_str(), 0755);
        if (Entries(folder) != int(std::size(cases)) + 4 || Entries(closed) != 1 ||
            Entries(links) != int(std::size(cases)) + 1)
            failed += "a temporary file was left\n";
        return failed;
    });
    if (!failures)
        GTEST_SKIP() << "cannot run as user 65534; permission rules are not checked as root";
    EXPECT_EQ(*failures, "");
}

TEST(SaveImage, FailsOnAFullDisk)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CVelvix image = vxtest::RandomImage(64, 64);
    EXPECT_FALSE(image.SaveBitmapImage("/dev/full"));
}
