#include "viewer/view/print_file.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "image/file_paths.h"

namespace {

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= std::size_t(done);
    }
    return true;
}

// Writes what comes through the pipe into the file; after an error the rest
// is still read, so that the engine never waits on a full pipe.
void ReadInto(int pipe, int file, std::atomic<bool>& failed)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(pipe, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got < 0)
                failed = true;
            return;
        }
        if (!failed && !WriteAll(file, buffer, std::size_t(got)))
            failed = true;
    }
}

} // namespace

CPrintFile::CPrintFile(const QString& path) : m_target(VxLinkChainEnd(QFile::encodeName(path).toStdString()))
{
}

CPrintFile::~CPrintFile()
{
    _Discard();
}

bool CPrintFile::IsFileName() const
{
    struct stat info {};
    return stat(m_target.c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

QString CPrintFile::Start()
{
    if (m_target.empty()) // a loop of links: nowhere to print to
        return QString();
    struct stat old {};
    const bool replacing = stat(m_target.c_str(), &old) == 0;
    // The folder would allow a rename over a file the user may not write;
    // such a file is not replaced behind the user's back.
    if (replacing && faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
        return QString();
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && m_file < 0; ++attempt) {
        std::string temp = VxFolderOf(m_target) + "/.ambrel-print-";
        for (int i = 0; i < 10; ++i)
            temp += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        // A new file gets the mode of any new file; one that replaces a file
        // starts private and takes the old one's owner and mode when complete.
        m_file = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (m_file >= 0)
            m_temp = std::move(temp);
        else if (errno != EEXIST)
            return QString();
    }
    if (m_file < 0 || pipe2(m_pipe, O_CLOEXEC) != 0)
        return QString();
    // The engine opens the pipe by its name in /proc. Without /proc, or with
    // other files under its names, it would write elsewhere.
    const QString name = QStringLiteral("/proc/self/fd/%1").arg(m_pipe[1]);
    struct stat named {};
    struct stat own {};
    if (stat(QFile::encodeName(name).constData(), &named) != 0 || fstat(m_pipe[1], &own) != 0 ||
        named.st_dev != own.st_dev || named.st_ino != own.st_ino) {
        m_pipeUnnamed = true;
        return QString();
    }
    try {
        m_reader = std::thread(
            [pipe = m_pipe[0], file = m_file, failed = m_failed] { ReadInto(pipe, file, *failed); });
    } catch (const std::system_error&) {
        return QString();
    }
    return name;
}

void CPrintFile::WriterOpened()
{
    if (m_pipe[1] >= 0)
        close(m_pipe[1]);
    m_pipe[1] = -1;
}

bool CPrintFile::Commit()
{
    WriterOpened();
    if (!m_reader.joinable() || m_file < 0)
        return false;
    m_reader.join();
    struct stat old {};
    const bool replacing = stat(m_target.c_str(), &old) == 0;
    if (replacing) {
        // Only the owner's own group may be kept by a user.
        if (fchown(m_file, old.st_uid, old.st_gid) != 0)
            (void)!fchown(m_file, uid_t(-1), old.st_gid);
        fchmod(m_file, old.st_mode & 07777);
    }
    // A file with other names keeps them all: it is rewritten in place, and
    // the new file, a copy's source only, is then deleted.
    const bool inPlace = replacing && S_ISREG(old.st_mode) && old.st_nlink > 1;
    bool written = !*m_failed && fsync(m_file) == 0;
    written = written && (inPlace ? VxCopyInPlace(m_file, m_target)
                                  : std::rename(m_temp.c_str(), m_target.c_str()) == 0);
    written = close(m_file) == 0 && written;
    m_file = -1;
    if (!written || inPlace)
        return written;
    m_temp.clear();
    const int folder = open(VxFolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

void CPrintFile::Drop()
{
    if (!m_temp.empty())
        unlink(m_temp.c_str());
    m_temp.clear();
}

void CPrintFile::_Discard()
{
    WriterOpened();
    if (m_reader.joinable())
        m_reader.join();
    if (m_pipe[0] >= 0)
        close(m_pipe[0]);
    m_pipe[0] = -1;
    if (m_file >= 0)
        close(m_file);
    m_file = -1;
    if (!m_temp.empty())
        unlink(m_temp.c_str());
    m_temp.clear();
}
