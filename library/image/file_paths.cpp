#include "image/file_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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
