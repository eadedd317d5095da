// Copying and moving files so that no failure loses data: names of every
// kind, a second file system, a full disk, a target that vanishes during the
// copy, and folders the user may not write.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "child_process.h"
#include "safe_file_io.h"
#include "test_support.h"

namespace fs = std::filesystem;
using vxtest::InChild;

namespace {

const char* const kHostileNames[] = {"plain.jpg", "with space.jpg", "100%.jpg",  "%s%n.jpg", "[a-z].jpg",
                                     "star*.jpg", "what?.jpg",      "quote\"'.jpg", "Ünïcødé 写真.jpg", "line\nbreak.jpg"};

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : std::string("<missing>");
}

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 7) & 0xFF);
    return bytes;
}

// Names left in a folder (a failed copy leaves no temporary file).
std::size_t Entries(const std::string& folder)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++n;
    return n;
}

// What a folder holds, links not followed: "name=contents" or "name->text".
std::set<std::string> Tree(const std::string& folder)
{
    std::set<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().string().substr(folder.size() + 1);
        if (entry.is_symlink())
            lines.insert(name + "->" + fs::read_symlink(entry.path()).string());
        else if (entry.is_regular_file())
            lines.insert(name + "=" + Read(entry.path().string()));
    }
    return lines;
}

class SafeFileIo : public ::testing::Test {
protected:
    // Open to the ordinary user of the permission tests.
    void SetUp() override { chmod(m_dir.Path().c_str(), 0755); }
    vxtest::TempDir m_dir;
    std::string Sub(const std::string& name)
    {
        const std::string path = m_dir.File(name);
        fs::create_directories(path);
        return path;
    }
};

TEST_F(SafeFileIo, CopiesAndMovesNamesWithAnyCharacters)
{
    const std::string from = Sub("from"), to = Sub("to");
    for (const char* name : kHostileNames) {
        SCOPED_TRACE(name);
        const std::string source = from + "/" + name, copy = to + "/" + name, moved = to + "/moved " + name;
        Write(source, Pattern(5000));
        chmod(source.c_str(), 0640);
        ASSERT_EQ(vxfile::CopyFile(source, copy, false), 0);
        EXPECT_EQ(Read(copy), Pattern(5000));
        EXPECT_EQ(fs::status(copy).permissions(), fs::status(source).permissions());
        // Within one file system a move is a rename: the same inode, no copy.
        const ino_t inode = vxfile::Stat(source).inode;
        ASSERT_EQ(vxfile::MoveFile(source, moved, false, true), 0);
        EXPECT_FALSE(vxfile::Exists(source));
        EXPECT_EQ(vxfile::Stat(moved).inode, inode);
    }
    EXPECT_EQ(Entries(from), 0u);
}

TEST_F(SafeFileIo, ExistingTargetsAreKeptOrReplacedWhole)
{
    const std::string a = m_dir.File("a.jpg"), b = m_dir.File("b.jpg");
    struct Case {
        bool move, replace;
        int error;
        const char* target;
    } const cases[] = {
        {false, false, EEXIST, "old"}, {false, true, 0, "new"}, {true, false, EEXIST, "old"}, {true, true, 0, "new"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.move ? "move" : "copy") + (c.replace ? " replacing" : ""));
        Write(a, "new");
        Write(b, "old");
        const int error = c.move ? vxfile::MoveFile(a, b, c.replace, true) : vxfile::CopyFile(a, b, c.replace);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(Read(b), c.target);
        EXPECT_EQ(vxfile::Exists(a), !c.move || c.error != 0);
        EXPECT_EQ(Entries(m_dir.Path().string()), vxfile::Exists(a) ? 2u : 1u);
    }
    // A file moved onto itself stays, and a folder is not copied.
    Write(a, "self");
    EXPECT_EQ(vxfile::MoveFile(a, a, true, true), EEXIST);
    EXPECT_EQ(Read(a), "self");
    EXPECT_EQ(vxfile::CopyFile(m_dir.Path().string(), m_dir.File("c"), true), EISDIR);
    EXPECT_EQ(vxfile::RemoveFile(m_dir.File("missing")), ENOENT);
}

// A link is renamed, moved, copied and deleted as the picture the user sees
// there, and its target is never harmed: a link moved is the same link, a
// copy is a copy of the picture, a name that is a link is replaced as a
// name. A file never goes onto itself through a link.
TEST_F(SafeFileIo, LinksAreHandledAsWhatTheyShow)
{
    struct Case {
        const char* what;
        char op; // 'r'ename, 'm'ove or 'c'opy (both replacing), 'd'elete
        std::string from, to;
        int error;
        std::vector<std::string> gone, made; // entries of the folder's tree
    } const cases[] = {
        {"rename a link", 'r', "a/link.jpg", "a/new.jpg", 0, {"a/link.jpg->real.jpg"}, {"a/new.jpg->real.jpg"}},
        {"move a link", 'm', "a/link.jpg", "b/link.jpg", 0, {"a/link.jpg->real.jpg"}, {"b/link.jpg->real.jpg"}},
        {"move a link onto its target", 'm', "a/link.jpg", "a/real.jpg", EEXIST, {}, {}},
        {"move a file onto a link to it", 'm', "a/real.jpg", "a/link.jpg", EEXIST, {}, {}},
        {"move a file onto a link", 'm', "a/real.jpg", "b/to-other.jpg", 0,
         {"a/real.jpg=real", "b/to-other.jpg->other.jpg"}, {"b/to-other.jpg=real"}},
        {"move a file onto a dangling link", 'm', "a/real.jpg", "b/dangling.jpg", 0,
         {"a/real.jpg=real", "b/dangling.jpg->gone.jpg"}, {"b/dangling.jpg=real"}},
        {"move a loop", 'm', "a/loop.jpg", "b/loop.jpg", 0, {"a/loop.jpg->loop.jpg"}, {"b/loop.jpg->loop.jpg"}},
        {"copy a link", 'c', "a/link.jpg", "b/copy.jpg", 0, {}, {"b/copy.jpg=real"}},
        {"copy a link onto its target", 'c', "a/link.jpg", "a/real.jpg", 0, {}, {}},
        {"copy a file onto a link to it", 'c', "a/real.jpg", "a/link.jpg", 0, {}, {}},
        {"copy a file onto a link", 'c', "a/real.jpg", "b/to-other.jpg", 0, {"b/to-other.jpg->other.jpg"},
         {"b/to-other.jpg=real"}},
        {"copy a file onto a dangling link", 'c', "a/real.jpg", "b/dangling.jpg", 0, {"b/dangling.jpg->gone.jpg"},
         {"b/dangling.jpg=real"}},
        {"copy a loop", 'c', "a/loop.jpg", "b/copy.jpg", ELOOP, {}, {}},
        {"copy a dangling link", 'c', "b/dangling.jpg", "a/copy.jpg", ENOENT, {}, {}},
        {"delete a link", 'd', "a/link.jpg", "", 0, {"a/link.jpg->real.jpg"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vxtest::TempDir dir;
        const std::string d = dir.Path().string() + "/", from = d + c.from, to = d + c.to;
        fs::create_directory(d + "a");
        fs::create_directory(d + "b");
        Write(d + "a/real.jpg", "real");
        Write(d + "b/other.jpg", "other");
        fs::create_symlink("real.jpg", d + "a/link.jpg");
        fs::create_symlink("loop.jpg", d + "a/loop.jpg");
        fs::create_symlink("other.jpg", d + "b/to-other.jpg");
        fs::create_symlink("gone.jpg", d + "b/dangling.jpg");
        std::set<std::string> expected = Tree(dir.Path().string());
        for (const std::string& entry : c.gone)
            EXPECT_EQ(expected.erase(entry), 1u) << entry;
        expected.insert(c.made.begin(), c.made.end());
        const int error = c.op == 'r'   ? vxfile::RenameEntry(from, to, false)
                          : c.op == 'm' ? vxfile::MoveFile(from, to, true, true)
                          : c.op == 'c' ? vxfile::CopyFile(from, to, true)
                                        : vxfile::RemoveFile(from);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(Tree(dir.Path().string()), expected);
    }
}

TEST_F(SafeFileIo, CancelledOrVanishedCopiesLeaveNothingBehind)
{
    const std::string source = m_dir.File("source.jpg"), target = Sub("target") + "/copy.jpg";
    Write(source, Pattern(3 << 20));
    struct Case {
        const char* what;
        std::function<bool(std::uint64_t, std::uint64_t)> progress;
        int error;
    } const cases[] = {
        {"cancelled", [](std::uint64_t, std::uint64_t) { return false; }, ECANCELED},
        {"target folder emptied", [&](std::uint64_t, std::uint64_t) {
             for (const auto& entry : fs::directory_iterator(vxfile::FolderOf(target)))
                 fs::remove(entry.path());
             return true;
         }, ENOENT},
        // (Last: the source keeps what was added.)
        {"source written to", [&](std::uint64_t, std::uint64_t) {
             return bool(std::ofstream(source, std::ios::app) << "more");
         }, EBUSY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(vxfile::CopyFile(source, target, true, c.progress), c.error);
        EXPECT_EQ(Entries(vxfile::FolderOf(target)), 0u);
        EXPECT_EQ(Read(source).substr(0, 3 << 20), Pattern(3 << 20));
    }
}

TEST_F(SafeFileIo, MoveToAnotherFileSystemCopiesThenDeletes)
{
    const std::string mount = Sub("mount"), disk = Sub("disk");
    VX_SKIP_UNLESS_MOUNT(mount);
    const std::string bytes = Pattern(100000);
    Write(disk + "/to tmpfs [1].jpg", bytes);
    Write(disk + "/big.jpg", Pattern(400000));
    const int result = InChild([&] {
        if (!vxtest::MountTmpfs(mount, 256))
            return 10;
        // To the other file system and back again.
        if (vxfile::MoveFile(disk + "/to tmpfs [1].jpg", mount + "/moved.jpg", false, true) != 0)
            return 11;
        if (Read(mount + "/moved.jpg") != bytes || vxfile::Exists(disk + "/to tmpfs [1].jpg"))
            return 12;
        // Without the copy allowed, the move is refused.
        if (vxfile::MoveFile(mount + "/moved.jpg", disk + "/back.jpg", false, false) != EXDEV)
            return 13;
        if (vxfile::MoveFile(mount + "/moved.jpg", disk + "/back.jpg", false, true) != 0)
            return 14;
        if (vxfile::Exists(mount + "/moved.jpg"))
            return 15;
        // A source written to, or replaced, while it is copied keeps its new
        // contents, and no copy remains.
        const std::string busy = disk + "/busy.jpg";
        struct Change {
            std::function<void()> meddle;
            const char* contents;
        } const changes[] = {
            {[&] { std::ofstream(busy, std::ios::app) << " and more"; }, "first and more"},
            {[&] { Write(busy + ".new", "newer"); rename((busy + ".new").c_str(), busy.c_str()); }, "newer"},
        };
        for (const Change& change : changes) {
            Write(busy, "first");
            const auto meddle = [&](std::uint64_t, std::uint64_t) { return change.meddle(), true; };
            if (vxfile::MoveFile(busy, mount + "/busy.jpg", false, true, meddle) != EBUSY || Read(busy) != change.contents)
                return 18;
        }
        // A link goes over as the same link, a loop too; what it leads to stays.
        for (const char* text : {"big.jpg", "loop.jpg"}) {
            const std::string name = text == std::string("big.jpg") ? "/link.jpg" : "/loop.jpg";
            if (symlink(text, (disk + name).c_str()) != 0 ||
                vxfile::MoveFile(disk + name, mount + name, false, true) != 0 || vxfile::Exists(disk + name) ||
                fs::read_symlink(mount + name) != text || unlink((mount + name).c_str()) != 0)
                return 19;
        }
        // A full disk: the source stays whole and no partial copy remains.
        if (vxfile::MoveFile(disk + "/big.jpg", mount + "/big.jpg", false, true) != ENOSPC)
            return 16;
        return Entries(mount) == 0 ? 0 : 17;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(disk + "/back.jpg"), bytes);
    EXPECT_EQ(Read(disk + "/big.jpg"), Pattern(400000));
}

TEST_F(SafeFileIo, MoveAcrossFileSystemsKeepsTheSourceWhenItCannotBeDeleted)
{
    const std::string mount = Sub("mount"), locked = Sub("locked"), sticky = Sub("sticky");
    VX_SKIP_UNLESS_ROOT();
    VX_SKIP_UNLESS_MOUNT(mount);
    // Root's files, which nobody may not delete: in root's folder, and in a
    // folder open to all but sticky (like /tmp).
    Write(locked + "/photo.jpg", "photo");
    Write(sticky + "/photo.jpg", "photo");
    chmod(locked.c_str(), 0755);
    chmod(sticky.c_str(), 01777);
    const int result = InChild([&] {
        if (!vxtest::MountTmpfs(mount, 256) || chmod(mount.c_str(), 0777) != 0 || !vxtest::BecomeNobody())
            return 10;
        // Moved onto a new name, and onto an existing file it would replace.
        Write(mount + "/old.jpg", "old");
        for (const std::string& source : {locked + "/photo.jpg", sticky + "/photo.jpg"})
            for (const char* target : {"/photo.jpg", "/old.jpg"})
                if (vxfile::MoveFile(source, mount + target, true, true) != EACCES)
                    return 11;
        return Entries(mount) == 1 && Read(mount + "/old.jpg") == "old" ? 0 : 12;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(locked + "/photo.jpg"), "photo");
    EXPECT_EQ(Read(sticky + "/photo.jpg"), "photo");
}

TEST_F(SafeFileIo, FilesTheUserMayNotWriteAreRefused)
{
    VX_SKIP_UNLESS_ROOT();
    const std::string open = Sub("open"), closed = Sub("closed"), sticky = Sub("sticky");
    Write(open + "/mine.jpg", "mine");
    Write(open + "/readonly.jpg", "readonly");
    Write(closed + "/theirs.jpg", "theirs");
    Write(sticky + "/roots.jpg", "roots");
    chmod(open.c_str(), 0777);
    chmod((open + "/readonly.jpg").c_str(), 0444);
    chmod(closed.c_str(), 0755);
    chmod(sticky.c_str(), 01777);
    chown((open + "/mine.jpg").c_str(), vxtest::kNobody, vxtest::kNobody);
    const int result = InChild([&] {
        if (!vxtest::BecomeNobody())
            return 10;
        if (vxfile::CopyFile(open + "/mine.jpg", closed + "/copy.jpg", false) != EACCES)
            return 11;
        if (vxfile::CopyFile(open + "/mine.jpg", open + "/readonly.jpg", true) != EACCES)
            return 12;
        if (vxfile::MoveFile(open + "/mine.jpg", open + "/readonly.jpg", true, true) != EACCES)
            return 13;
        if (vxfile::MayRemove(closed + "/theirs.jpg") || vxfile::MayRemove(sticky + "/roots.jpg"))
            return 14;
        if (!vxfile::MayRemove(open + "/mine.jpg"))
            return 15;
        if (vxfile::RemoveFile(closed + "/theirs.jpg") != EACCES)
            return 16;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(open + "/readonly.jpg"), "readonly");
    EXPECT_EQ(Read(closed + "/theirs.jpg"), "theirs");
    EXPECT_EQ(Entries(closed), 1u);
    EXPECT_EQ(Entries(open), 2u);
}

} // namespace
