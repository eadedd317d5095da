#include "image/file_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "image/codec_internal.h"

std::string VxFolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string VxLinkChainEnd(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0)
            return errno == ENOENT ? path : std::string();
        if (!S_ISLNK(info.st_mode))
            return path;
        char text[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), text, sizeof text);
        if (length <= 0 || length == ssize_t(sizeof text)) {
            errno = length < 0 ? errno : ENAMETOOLONG;
            return {};
        }
        const std::string next(text, std::size_t(length));
        path = next[0] == '/' ? next : VxFolderOf(path) + "/" + next;
    }
    errno = ELOOP;
    return {};
}

namespace {

bool CopyRange(int from, int to, std::vector<char>& buffer, off_t begin, off_t end)
{
    for (off_t at = begin; at < end;) {
        const std::size_t want = std::size_t(std::min<off_t>(end - at, off_t(buffer.size())));
        const ssize_t got = pread(from, buffer.data(), want, at);
        if (got <= 0 || pwrite(to, buffer.data(), std::size_t(got), at) != got)
            return false;
        at += got;
    }
    return true;
}

// Back to the old size, giving back any space reserved past it: growing the
// file by a byte and cutting it again frees every block beyond the end. The
// bytes before it are not touched.
void CutBack(int fd, off_t size)
{
    if (ftruncate(fd, size + 1) == 0)
        (void)!ftruncate(fd, size);
}

// The space is reserved first where the file system can. The part past the
// old end is written and synced next: a full disk shows there too where
// nothing can be reserved (or only when written out). Either failure leaves
// the old content whole. Only then are the old bytes overwritten, which
// needs no new space where blocks are overwritten in place.
bool GrowThenOverwrite(int from, int to, std::vector<char>& buffer, off_t size, off_t oldSize)
{
    if (fallocate(to, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        CutBack(to, oldSize);
        return false;
    }
    if (size > oldSize && !(CopyRange(from, to, buffer, oldSize, size) && fdatasync(to) == 0)) {
        CutBack(to, oldSize);
        return false;
    }
    return CopyRange(from, to, buffer, 0, std::min(size, oldSize)) && ftruncate(to, size) == 0 && fsync(to) == 0;
}

} // namespace

bool VxCopyInPlace(int from, const std::string& target)
{
    struct stat source {};
    std::vector<char> buffer;
    if (fstat(from, &source) != 0 || !VxTryResize(buffer, 1 << 20))
        return false;
    const int to = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0)
        return false;
    struct stat old {};
    const bool copied = fstat(to, &old) == 0 && GrowThenOverwrite(from, to, buffer, source.st_size, old.st_size);
    return close(to) == 0 && copied;
}
