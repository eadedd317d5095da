// ReadImage and SaveImage: the choice of format by file name, and saving
// through a temporary file so that a failed save never harms the old file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/velvix.h"

namespace {

// The file name in lower case, its last four characters.
std::string ExtensionKey(const char* path)
{
    std::string key(path);
    for (char& c : key)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return key.size() > 4 ? key.substr(key.size() - 4) : key;
}

bool Contains(const std::string& key, const char* word)
{
    return key.find(word) != std::string::npos;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Permissions for the saved file: those of the file it replaces, or the
// usual ones for a new file.
mode_t TargetMode(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0)
        return info.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Saving through a symbolic link changes the file it points to; the link
// stays.
std::string ResolvedTarget(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Data of a file or folder on the disk; false when the disk reports an error
// (a full disk may only say so here).
bool SyncToDisk(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

} // namespace

int CVelvix::ReadImage(QPainter* dc, const char* path)
{
    if (!path)
        return 0;
    const std::string key = ExtensionKey(path);
    if (Contains(key, "jpeg") || Contains(key, "jpg") || Contains(key, "gif") || Contains(key, "png"))
        return ReadCodecImage(dc, path) ? 1 : 0;
    return ReadBitmapImage(dc, path);
}

int CVelvix::SaveImage(const char* path)
{
    if (!path || !IsValidObject())
        return 0;
    const std::string target = ResolvedTarget(path);
    std::string temp = FolderOf(target) + "/.velvix-save-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return 0;
    close(fd);

    const std::string key = ExtensionKey(path);
    bool written;
    if (Contains(key, "bmp"))
        written = SaveBitmapImage(temp.c_str());
    else if (Contains(key, "gif"))
        written = SaveCodecImage(temp.c_str(), VxCodecFormat::Gif);
    else if (Contains(key, "png"))
        written = SaveCodecImage(temp.c_str(), VxCodecFormat::Png);
    else
        written = SaveCodecImage(temp.c_str(), VxCodecFormat::Jpeg);

    // The new file is complete on the disk before it takes the old one's
    // place, so that a power cut leaves one picture or the other.
    if (written) {
        chmod(temp.c_str(), TargetMode(target));
        written = SyncToDisk(temp) && std::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!written) {
        unlink(temp.c_str());
        return 0;
    }
    SyncToDisk(FolderOf(target));
    return 1;
}
