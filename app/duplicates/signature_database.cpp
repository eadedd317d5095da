#include "duplicates/signature_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dif {

bool CSignatureDatabase::Open(const std::string& path, bool writable)
{
    Close();
    const int file = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (file < 0)
        return false;
    struct stat info {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        ::close(file);
        return false;
    }
    void* data = ::mmap(nullptr, std::size_t(info.st_size), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                        MAP_SHARED, file, 0);
    if (data == MAP_FAILED) {
        ::close(file);
        return false;
    }
    m_pData = static_cast<unsigned char*>(data);
    m_nFileSize = std::uint64_t(info.st_size);
    m_nCount = std::size_t(m_nFileSize / kRecordSize);
    m_bWritable = writable;
    m_nFile = file;
    return true;
}

void CSignatureDatabase::Close()
{
    if (m_pData) {
        if (m_bWritable)
            ::msync(m_pData, std::size_t(m_nFileSize), MS_SYNC);
        ::munmap(m_pData, std::size_t(m_nFileSize));
    }
    if (m_nFile >= 0)
        ::close(m_nFile);
    m_pData = nullptr;
    m_nFile = -1;
    m_nFileSize = 0;
    m_nCount = 0;
    m_bWritable = false;
}

bool CSignatureDatabase::ZeroRecord(std::size_t index)
{
    if (!m_pData || !m_bWritable || index >= m_nCount)
        return false;
    std::memset(m_pData + index * kRecordSize, 0, kRecordSize);
    return true;
}

std::uint64_t CSignatureDatabase::CountRecords(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return std::uint64_t(info.st_size) / kRecordSize;
}

bool CSignatureWriter::Open(const std::string& path)
{
    Close();
    m_nFile = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return m_nFile >= 0;
}

bool CSignatureWriter::Append(const RecordBytes& record)
{
    if (m_nFile < 0)
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
    if (done == record.size())
        return true;
    // A record cut short by a full disk would shift every later one: take the
    // partial bytes back so that the file stays a whole number of records.
    const off_t end = ::lseek(m_nFile, 0, SEEK_END);
    if (end >= 0 && done > 0)
        (void)::ftruncate(m_nFile, end - off_t(done));
    return false;
}

void CSignatureWriter::Close()
{
    if (m_nFile >= 0)
        ::close(m_nFile);
    m_nFile = -1;
}

bool DeleteDatabase(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace dif
