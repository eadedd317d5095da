#include "duplicates/signature_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace dif {

namespace {

// Runs io(done) (a pread or pwrite of the bytes from `done` on) until all
// `size` bytes are through; false on an error or when the file ends first.
template <typename Io>
bool Whole(std::size_t size, Io io)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = io(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool ReadAt(int file, unsigned char* data, std::size_t size, std::uint64_t offset)
{
    return Whole(size, [&](std::size_t done) { return ::pread(file, data + done, size - done, off_t(offset + done)); });
}

bool WriteAt(int file, const unsigned char* data, std::size_t size, std::uint64_t offset)
{
    return Whole(size, [&](std::size_t done) { return ::pwrite(file, data + done, size - done, off_t(offset + done)); });
}

} // namespace

bool CSignatureDatabase::Open(const std::string& path, bool writable)
{
    Close();
    // Not blocked by a pipe of that name; only a regular file is read.
    const int file = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (file < 0)
        return false;
    struct stat info {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        ::close(file);
        return false;
    }
    const std::size_t count = std::size_t(std::uint64_t(info.st_size) / kRecordSize);
    // A file cut short while it is read (by another program) fails the open.
    std::unique_ptr<unsigned char[]> data;
    try {
        data = std::make_unique_for_overwrite<unsigned char[]>(std::max<std::size_t>(count * kRecordSize, 1));
    } catch (const std::bad_alloc&) {
        ::close(file);
        throw;
    }
    if (!ReadAt(file, data.get(), count * kRecordSize, 0)) {
        ::close(file);
        return false;
    }
    m_pData = std::move(data);
    m_nFileSize = std::uint64_t(info.st_size);
    m_nCount = count;
    m_bOpen = true;
    if (writable)
        m_nFile = file;
    else
        ::close(file);
    return true;
}

void CSignatureDatabase::Close()
{
    if (m_nFile >= 0) {
        if (m_bWritten)
            ::fdatasync(m_nFile);
        ::close(m_nFile);
    }
    m_pData.reset();
    m_nFile = -1;
    m_nFileSize = 0;
    m_nCount = 0;
    m_bOpen = false;
    m_bWritten = false;
}

bool CSignatureDatabase::ZeroRecord(std::size_t index)
{
    if (m_nFile < 0 || index >= m_nCount)
        return false;
    // Another program may have shortened or rewritten the file since it was
    // read: zeroing then would grow it, or delete a record it did not mean.
    unsigned char* record = m_pData.get() + index * kRecordSize;
    const std::uint64_t offset = std::uint64_t(index) * kRecordSize;
    unsigned char bytes[kRecordSize];
    if (!ReadAt(m_nFile, bytes, kRecordSize, offset) || std::memcmp(bytes, record, kRecordSize) != 0)
        return false;
    std::memset(bytes, 0, kRecordSize);
    if (!WriteAt(m_nFile, bytes, kRecordSize, offset))
        return false;
    std::memset(record, 0, kRecordSize);
    m_bWritten = true;
    return true;
}

std::uint64_t CSignatureDatabase::CountRecords(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return std::uint64_t(info.st_size) / kRecordSize;
}

bool CSignatureWriter::Begin(const std::string& path)
{
    Close();
    m_strPath = path;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    // An unnamed file disappears by itself when the program dies midway; it
    // is named at the end through /proc, without which a named one is used.
    if (::access("/proc/self/fd", X_OK) == 0)
        m_nFile = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    else
        errno = EOPNOTSUPP;
    if (m_nFile < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string temp = path + ".XXXXXX";
        m_nFile = ::mkostemp(temp.data(), O_CLOEXEC);
        if (m_nFile >= 0) {
            m_strTemp = temp;
            ::fchmod(m_nFile, 0644);
        }
    }
    return m_nFile >= 0;
}

bool CSignatureWriter::Append(const RecordBytes& record)
{
    if (m_nFile < 0 || m_bFailed)
        return false;
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(m_nFile, record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    if (done == record.size()) {
        ++m_nRecords;
        return true;
    }
    m_bFailed = true;
    return false;
}

bool CSignatureWriter::Commit()
{
    if (m_nFile < 0 || m_bFailed || ::fsync(m_nFile) != 0) {
        Close();
        return false;
    }
    if (m_nRecords == 0) {
        Close();
        return DeleteDatabase(m_strPath);
    }
    bool named = !m_strTemp.empty();
    for (int attempt = 0; !named && attempt < 100; ++attempt) {
        const std::string temp = m_strPath + ".new" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const std::string self = "/proc/self/fd/" + std::to_string(m_nFile);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_strTemp = temp;
            named = true;
        } else if (errno != EEXIST) {
            break;
        }
    }
    const bool replaced = named && ::rename(m_strTemp.c_str(), m_strPath.c_str()) == 0;
    if (replaced)
        m_strTemp.clear();
    Close();
    return replaced;
}

void CSignatureWriter::Close()
{
    if (m_nFile >= 0)
        ::close(m_nFile);
    if (!m_strTemp.empty())
        ::unlink(m_strTemp.c_str());
    m_nFile = -1;
    m_strTemp.clear();
    m_nRecords = 0;
    m_bFailed = false;
}

bool DeleteDatabase(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace dif
