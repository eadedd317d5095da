#include "duplicates/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "duplicates/signature_record.h"

namespace dif {

namespace {

std::int64_t Nanoseconds(const struct timespec& time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

std::string CFolderWalk::NormalFolder(const std::string& folder)
{
    std::string path = folder;
    if (path.empty() || path[0] != '/') {
        char cwd[PATH_MAX];
        const std::string base = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
        path = path.empty() ? base : base + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

void CFolderWalk::Walk(const std::string& folder)
{
    const std::string path = NormalFolder(folder);
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        ++m_counts.unreadableFolders;
        return;
    }
    _WalkOpen(fd, path == "/" ? std::string() : path);
}

// Takes ownership of folderFd. folderPath has no trailing '/' ("" = root).
void CFolderWalk::_WalkOpen(int folderFd, const std::string& folderPath)
{
    struct stat self {};
    if (::fstat(folderFd, &self) != 0 || !m_visitedFolders.insert({self.st_dev, self.st_ino}).second) {
        ::close(folderFd);
        return;
    }
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        ++m_counts.unreadableFolders;
        return;
    }
    while (!_Stopped()) {
        const dirent* entry = ::readdir(listing);
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const bool maybeFolder = entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        const bool candidate = IsImageCandidate(name);
        if (!maybeFolder && !candidate)
            continue;
        struct stat info {};
        if (::fstatat(folderFd, name.c_str(), &info, 0) != 0)
            continue; // vanished, or a dangling link
        const std::string path = folderPath + "/" + name;
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child < 0)
                ++m_counts.unreadableFolders;
            else
                _WalkOpen(child, path);
            continue;
        }
        if (!candidate || !S_ISREG(info.st_mode))
            continue;
        if (path.size() > kMaxPathBytes) {
            ++m_counts.longPaths;
            continue;
        }
        if (!m_seenFiles.insert({info.st_dev, info.st_ino}).second)
            continue;
        m_onFile(SFoundFile{path, std::uint64_t(info.st_size), Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim),
                            std::uint64_t(info.st_ino)});
    }
    ::closedir(listing);
}

} // namespace dif
