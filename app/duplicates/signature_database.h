#pragma once

// The signature database mapped into memory: records read and zeroed in
// place by index (offset index x 1285), never read into a copy.
#include <cstddef>
#include <cstdint>
#include <string>

#include "duplicates/signature_record.h"

namespace dif {

class CSignatureDatabase {
public:
    CSignatureDatabase() = default;
    ~CSignatureDatabase() { Close(); }
    CSignatureDatabase(const CSignatureDatabase&) = delete;
    CSignatureDatabase& operator=(const CSignatureDatabase&) = delete;

    // Maps an existing, non-empty file; writable when asked (delete and move
    // zero records), read-only otherwise. false leaves the object closed.
    bool Open(const std::string& path, bool writable);
    void Close();
    bool IsOpen() const { return m_pData != nullptr; }

    std::uint64_t GetFileSize() const { return m_nFileSize; }
    // File size / 1285; a short tail is ignored.
    std::size_t GetCount() const { return m_nCount; }
    const unsigned char* Record(std::size_t index) const { return m_pData + index * kRecordSize; }
    std::string Path(std::size_t index) const { return RecordPath(Record(index)); }
    // Overwrites the record's 1285 bytes with zeros in the file.
    bool ZeroRecord(std::size_t index);

    // File size / 1285 of a database on disk (0 when missing).
    static std::uint64_t CountRecords(const std::string& path);

private:
    unsigned char* m_pData = nullptr;
    std::uint64_t m_nFileSize = 0;
    std::size_t m_nCount = 0;
    bool m_bWritable = false;
    int m_nFile = -1;
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
