#pragma once

// The signature database read into memory when opened, records reached by
// index (offset index x 1285). It is read rather than mapped: another
// program may shrink the file meanwhile, and touching a mapping past the new
// end kills the program with SIGBUS; read once, the records stay as they were.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "duplicates/signature_record.h"

namespace dif {

class CSignatureDatabase {
public:
    CSignatureDatabase() = default;
    ~CSignatureDatabase() { Close(); }
    CSignatureDatabase(const CSignatureDatabase&) = delete;
    CSignatureDatabase& operator=(const CSignatureDatabase&) = delete;

    // Reads an existing, non-empty regular file, kept open for writing when
    // asked (delete and move zero records). false leaves the object closed;
    // so does std::bad_alloc, thrown when the records cannot all be held.
    bool Open(const std::string& path, bool writable);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    std::uint64_t GetFileSize() const { return m_nFileSize; }
    // File size / 1285; a short tail is ignored.
    std::size_t GetCount() const { return m_nCount; }
    const unsigned char* Record(std::size_t index) const { return m_pData.get() + index * kRecordSize; }
    std::string Path(std::size_t index) const { return RecordPath(Record(index)); }
    // Overwrites the record's 1285 bytes with zeros in the file, only while
    // the file still holds the record as it was read (false otherwise).
    bool ZeroRecord(std::size_t index);

    // File size / 1285 of a database on disk (0 when missing).
    static std::uint64_t CountRecords(const std::string& path);

private:
    std::unique_ptr<unsigned char[]> m_pData;
    std::uint64_t m_nFileSize = 0;
    std::size_t m_nCount = 0;
    bool m_bOpen = false;
    bool m_bWritten = false;
    int m_nFile = -1; // kept only when writable
};

// Writes a new database beside the old one, unseen until Commit puts it in
// the old one's place in one step: a scan that fails (a full disk, a folder
// it may not write to) or is killed leaves the old database whole, and two
// scans at once never mix their records in one file.
class CSignatureWriter {
public:
    ~CSignatureWriter() { Close(); }
    bool Begin(const std::string& path);
    bool Append(const RecordBytes& record);
    // The records appended replace the database (none: it is removed).
    // false leaves the old database as it was.
    bool Commit();
    // Drops what was written.
    void Close();
    bool IsOpen() const { return m_nFile >= 0; }

private:
    std::string m_strPath, m_strTemp; // m_strTemp: "" for an unnamed file
    int m_nFile = -1;
    std::uint64_t m_nRecords = 0;
    bool m_bFailed = false;
};

// Removes the database; a missing file is no error.
bool DeleteDatabase(const std::string& path);

} // namespace dif
