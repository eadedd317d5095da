#include "shell/recent_file_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
const char kSection[] = "Recent File List";
}

void CRecentFileList::Add(const QString& path)
{
    if (m_nSize <= 0 || path.isEmpty())
        return;
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_files.removeAll(full);
    m_files.prepend(full);
    while (m_files.size() > m_nSize)
        m_files.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_files.size())
        m_files.removeAt(index);
}

void CRecentFileList::ReadList()
{
    m_files.clear();
    QSettings settings;
    settings.beginGroup(QLatin1String(kSection));
    for (int i = 1; i <= m_nSize; ++i) {
        const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path))
            m_files << path;
    }
}

void CRecentFileList::WriteList() const
{
    // A run that keeps no list leaves the stored one for the runs that do.
    if (m_nSize == 0)
        return;
    QSettings settings;
    settings.beginGroup(QLatin1String(kSection));
    settings.remove(QString());
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(QStringLiteral("File%1").arg(i + 1), m_files.at(i));
}
