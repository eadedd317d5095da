#include "safe_file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace vxfile {

namespace {

constexpr std::size_t kChunk = 4u << 20;

int Errno(int fallback = EIO)
{
    return errno != 0 ? errno : fallback;
}

SEntry FromStat(const struct stat& info)
{
    SEntry entry;
    entry.exists = true;
    entry.regular = S_ISREG(info.st_mode);
    entry.directory = S_ISDIR(info.st_mode);
    entry.link = S_ISLNK(info.st_mode);
    entry.device = info.st_dev;
    entry.inode = info.st_ino;
    entry.size = std::uint64_t(info.st_size);
    entry.modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return entry;
}

void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

// Writes all of `size` bytes or fails (a full disk gives ENOSPC, a file size
// limit EFBIG).
int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Errno();
        }
        if (written == 0)
            return ENOSPC;
        data += written;
        size -= std::size_t(written);
    }
    return 0;
}

int CopyContents(int in, int out, std::uint64_t total, const Progress& progress)
{
    std::uint64_t copied = 0;
    bool kernelCopy = true;
    std::vector<char> buffer;
    while (copied < total) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(kChunk, total - copied));
        ssize_t got = -1;
        if (kernelCopy) {
            got = copy_file_range(in, nullptr, out, nullptr, want, 0);
            if (got < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                            errno == EPERM || errno == ETXTBSY)) {
                kernelCopy = false;
                continue;
            }
        } else {
            buffer.resize(kChunk);
            got = read(in, buffer.data(), want);
            if (got > 0)
                if (const int error = WriteAll(out, buffer.data(), std::size_t(got)))
                    return error;
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Errno();
        }
        if (got == 0)
            return EIO; // the source shrank while it was copied
        copied += std::uint64_t(got);
        if (progress && !progress(copied, total))
            return ECANCELED;
    }
    return 0;
}

// Gives the finished temporary file the target's name.
int Publish(const std::string& temp, const std::string& to, bool replace)
{
    if (replace)
        return rename(temp.c_str(), to.c_str()) == 0 ? 0 : Errno();
    if (link(temp.c_str(), to.c_str()) == 0) {
        unlink(temp.c_str());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // File systems without hard links: the check and the rename are apart.
    return RenameEntry(temp, to, false);
}

int CopySymbolicLink(const std::string& from, const std::string& to, bool replace)
{
    std::vector<char> target(4096);
    ssize_t length;
    while ((length = readlink(from.c_str(), target.data(), target.size())) == ssize_t(target.size()))
        target.resize(target.size() * 2);
    if (length < 0)
        return Errno();
    const std::string temp = FolderOf(to) + "/.ambrel-link-" + std::to_string(getpid()) + "-" +
                             std::to_string(reinterpret_cast<std::uintptr_t>(&target));
    if (symlink(std::string(target.data(), std::size_t(length)).c_str(), temp.c_str()) != 0)
        return Errno();
    const int error = replace ? (rename(temp.c_str(), to.c_str()) == 0 ? 0 : Errno()) : RenameEntry(temp, to, false);
    if (error)
        unlink(temp.c_str());
    return error;
}

} // namespace

bool SEntry::SameState(const SEntry& other) const
{
    return exists && other.exists && device == other.device && inode == other.inode && size == other.size &&
           modifiedNs == other.modifiedNs;
}

SEntry Stat(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return SEntry();
    return FromStat(info);
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool IsOtherSpelling(const std::string& path)
{
    if (!Exists(path))
        return false;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    DIR* folder = opendir(FolderOf(path).c_str());
    if (!folder)
        return false;
    bool listed = false;
    while (const dirent* entry = readdir(folder))
        listed = listed || name == entry->d_name;
    closedir(folder);
    return !listed;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Errno();
    // A file system that cannot refuse atomically.
    if (Exists(to))
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
}

// Where case is ignored, "photo.jpg" -> "Photo.jpg" finds its own file under
// the new name: refused without replacing, and a rename onto itself does
// nothing (vfat). So the file goes through a free name. Should the new name
// be another file after all, that second step is refused and undone.
int RenameThroughFreeName(const std::string& from, const std::string& to)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string spare = FolderOf(to) + "/.ambrel-rename-XXXXXX";
        const int fd = mkostemp(spare.data(), O_CLOEXEC);
        if (fd < 0)
            return Errno();
        close(fd);
        unlink(spare.c_str());
        int error = RenameNoReplace(from, spare);
        if (error == EEXIST)
            continue;
        if (error)
            return error;
        error = RenameNoReplace(spare, to);
        if (error)
            RenameNoReplace(spare, from);
        return error;
    }
    return EEXIST;
}

} // namespace

int RenameEntry(const std::string& from, const std::string& to, bool replace)
{
    if (replace)
        return rename(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
    const int error = RenameNoReplace(from, to);
    return error == EEXIST && IsOtherSpelling(to) ? RenameThroughFreeName(from, to) : error;
}

int CopyFile(const std::string& from, const std::string& to, bool replace, const Progress& progress)
{
    // O_NONBLOCK: opening a FIFO must not hang; only regular files are copied.
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return Errno();
    struct stat source {};
    if (fstat(in, &source) != 0 || !S_ISREG(source.st_mode)) {
        const int error = S_ISDIR(source.st_mode) ? EISDIR : EINVAL;
        close(in);
        return error;
    }
    const SEntry existing = Stat(to);
    int error = 0;
    if (existing.exists && !replace)
        error = EEXIST;
    else if (existing.exists && SameFile(from, to))
        error = 0; // a copy onto itself: already there
    // A link is replaced as a name, as a move replaces it: what it leads
    // to (nothing, for a dangling one) is not written.
    else if (existing.exists && !existing.link && access(to.c_str(), W_OK) != 0)
        error = EACCES;
    if (error || (existing.exists && SameFile(from, to))) {
        close(in);
        return error;
    }

    std::string temp = FolderOf(to) + "/.ambrel-copy-XXXXXX";
    const int out = mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        error = Errno();
        close(in);
        return error;
    }
    const std::uint64_t total = std::uint64_t(source.st_size);
    error = CopyContents(in, out, total, progress);
    // A source written to meanwhile would leave a copy of neither its old nor
    // its new contents.
    struct stat after {};
    if (!error && (fstat(in, &after) != 0 || after.st_size != source.st_size ||
                   after.st_mtim.tv_sec != source.st_mtim.tv_sec || after.st_mtim.tv_nsec != source.st_mtim.tv_nsec))
        error = EBUSY;
    struct stat written {};
    if (!error) {
        fchmod(out, source.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID));
        const struct timespec times[2] = {source.st_atim, source.st_mtim};
        futimens(out, times);
        // The copy is on the disk, and whole, before it takes the target's
        // name (a full disk with delayed allocation reports here).
        if (fsync(out) != 0)
            error = Errno();
        else if (fstat(out, &written) != 0 || std::uint64_t(written.st_size) != total)
            error = EIO;
    }
    if (close(out) != 0 && !error)
        error = Errno();
    close(in);
    if (!error)
        error = Publish(temp, to, replace);
    if (error) {
        unlink(temp.c_str());
        return error;
    }
    SyncFolder(FolderOf(to));
    return 0;
}

int MoveFile(const std::string& from, const std::string& to, bool replace, bool allowCopy, const Progress& progress)
{
    const SEntry source = Stat(from);
    if (!source.exists)
        return ENOENT;
    if ((SameFile(from, to) && !IsOtherSpelling(to)) || from == to)
        return EEXIST;
    const SEntry existing = Stat(to);
    if (existing.exists && replace && !existing.link && access(to.c_str(), W_OK) != 0)
        return EACCES;
    int error = RenameEntry(from, to, replace);
    if (error != EXDEV || !allowCopy) {
        if (!error) {
            SyncFolder(FolderOf(to));
            SyncFolder(FolderOf(from));
        }
        return error;
    }
    // Across file systems. A source that could not be deleted afterwards is
    // not copied at all: the copy would already have replaced the target.
    // (In a sticky folder a writable folder is not enough.)
    if (!MayRemove(from))
        return EACCES;
    error = source.link ? CopySymbolicLink(from, to, replace) : CopyFile(from, to, replace, progress);
    if (error)
        return error;
    // A source written to or replaced while it was copied keeps its newer
    // contents, which the copy lacks; the move may be tried again.
    if (!Stat(from).SameState(source))
        error = EBUSY;
    else if (unlink(from.c_str()) != 0)
        error = Errno();
    if (error) {
        // Without a replaced target the copy is taken back: the file stays
        // where it was, once.
        if (!existing.exists)
            unlink(to.c_str());
        return error;
    }
    SyncFolder(FolderOf(from));
    return 0;
}

bool MayRemove(const std::string& path)
{
    const std::string folder = FolderOf(path);
    struct stat entry {}, parent {};
    if (lstat(path.c_str(), &entry) != 0 || stat(folder.c_str(), &parent) != 0)
        return false;
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    const uid_t user = geteuid();
    return !(parent.st_mode & S_ISVTX) || user == 0 || entry.st_uid == user || parent.st_uid == user;
}

int RemoveFile(const std::string& path)
{
    const SEntry entry = Stat(path);
    if (!entry.exists)
        return ENOENT;
    if (entry.directory)
        return EISDIR;
    if (unlink(path.c_str()) != 0)
        return Errno();
    SyncFolder(FolderOf(path));
    return 0;
}

} // namespace vxfile
