#pragma once

#include <QString>
#include <QStringList>

// The recent-file list: at most `capacity` paths, newest first, kept in the
// settings store as "Recent File List"/"File1", "File2", ...
class CRecentFileList {
public:
    explicit CRecentFileList(int capacity = 0) : m_nSize(capacity) {}

    int GetSize() const { return m_nSize; }
    int GetCount() const { return int(m_files.size()); }
    const QString& operator[](int index) const { return m_files.at(index); }
    const QStringList& Files() const { return m_files; }

    void Add(const QString& path);
    void Remove(int index);
    void ReadList();
    void WriteList() const;

private:
    int m_nSize;
    QStringList m_files;
};
