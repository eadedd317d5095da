// ReadImage and SaveImage: the choice of format by file name, and saving
// through a temporary file so that a failed save never harms the old file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "image/velvix.h"
#include "image/codec_internal.h"
#include "image/covering_decode.h"
#include "image/file_paths.h"

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

// A new file beside the target. It replaces an existing file, so it starts
// private and takes the old file's owner and mode when complete; for a new
// picture the system gives it the mode of any new file (umask, default ACL),
// without the process-wide umask being read or changed.
struct TempFile {
    std::string path;
    std::FILE* file = nullptr;
};

bool CreateTemp(const std::string& folder, bool replacing, TempFile& temp)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937_64 random((std::uint64_t(seed()) << 32) ^ seed() ^ std::uint64_t(getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = folder + "/.velvix-save-";
        for (int i = 0; i < 10; ++i)
            path += letters[random() % (sizeof letters - 1)];
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        temp.file = fdopen(fd, "wb");
        if (!temp.file) {
            close(fd);
            unlink(path.c_str());
            return false;
        }
        temp.path = std::move(path);
        return true;
    }
    return false;
}

// Owner and mode of the file being replaced. Only the owner's own group may
// be kept by a user; a failure there is not a reason to refuse the save.
void TakeOwnerAndMode(int fd, const struct stat& old)
{
    if (fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)!fchown(fd, uid_t(-1), old.st_gid);
    fchmod(fd, old.st_mode & 07777);
}

// Data of a folder on the disk; false when the disk reports an error.
bool SyncFolder(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

bool Encode(CVelvix& image, const char* path, std::FILE* file)
{
    const std::string key = ExtensionKey(path);
    if (Contains(key, "bmp"))
        return image.WriteBitmapFile(file);
    if (Contains(key, "gif"))
        return image.WriteCodecFile(file, VxCodecFormat::Gif);
    if (Contains(key, "png"))
        return image.WriteCodecFile(file, VxCodecFormat::Png);
    return image.WriteCodecFile(file, VxCodecFormat::Jpeg);
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

int VxReadImageCovering(CVelvix& image, const char* path, int width, int height, int* fullWidth, int* fullHeight)
{
    if (!path)
        return 0;
    const std::string key = ExtensionKey(path);
    if (Contains(key, "jpeg") || Contains(key, "jpg") || Contains(key, "gif") || Contains(key, "png"))
        return VxReadCodecFile(image, path, width, height, fullWidth, fullHeight) ? 1 : 0;
    if (image.ReadImage(path) != 1)
        return 0;
    if (fullWidth)
        *fullWidth = image.GetWidth();
    if (fullHeight)
        *fullHeight = image.GetHeight();
    return 1;
}

int CVelvix::SaveImage(const char* path)
{
    if (!path || !IsValidObject())
        return 0;
    const std::string target = VxLinkChainEnd(path);
    if (target.empty())
        return 0;
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    // A pipe, a device or a folder under the name is no picture to replace:
    // the rename would put a file in its place (/dev/null for root).
    if (replacing && !S_ISREG(old.st_mode))
        return 0;
    // The folder would allow a rename over a file the user may not write;
    // such a file is not replaced behind the user's back.
    if (replacing && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return 0;
    TempFile temp;
    if (!CreateTemp(VxFolderOf(target), replacing, temp))
        return 0;

    // The new file is complete on the disk before it takes the old one's
    // place, so that a power cut leaves one picture or the other.
    const int fd = fileno(temp.file);
    const bool inPlace = replacing && S_ISREG(old.st_mode) && old.st_nlink > 1;
    bool written = Encode(*this, path, temp.file) && std::fflush(temp.file) == 0 && !std::ferror(temp.file);
    if (written && replacing)
        TakeOwnerAndMode(fd, old);
    written = written && fsync(fd) == 0;
    if (written)
        written = inPlace ? VxCopyInPlace(fd, target) : std::rename(temp.path.c_str(), target.c_str()) == 0;
    written = std::fclose(temp.file) == 0 && written;
    if (!written || inPlace)
        unlink(temp.path.c_str());
    if (!written)
        return 0;
    SyncFolder(VxFolderOf(target));
    return 1;
}
