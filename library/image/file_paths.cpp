#include "image/file_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool VxCopyInPlace(int from, const std::string& target)
{
    struct stat info {};
    std::vector<char> buffer;
    if (fstat(from, &info) != 0 || !VxTryResize(buffer, 1 << 20))
        return false;
    const int to = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0)
        return false;
    bool copied = fallocate(to, 0, 0, info.st_size) == 0 || errno == EOPNOTSUPP;
    for (off_t at = 0; copied && at < info.st_size;) {
        const ssize_t got = pread(from, buffer.data(), buffer.size(), at);
        copied = got > 0 && pwrite(to, buffer.data(), std::size_t(got), at) == got;
        at += got;
    }
    copied = copied && ftruncate(to, info.st_size) == 0 && fsync(to) == 0;
    return close(to) == 0 && copied;
}
