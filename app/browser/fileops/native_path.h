#pragma once

#include <QFile>
#include <QString>

#include <string>

// The program's paths as the file system's bytes (UTF-8 here) and back.
inline std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

inline QString FromNativePath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// False for a name that is not UTF-8: as text it would come back as another
// name, perhaps another file's, so the commands leave such a file alone.
inline bool SurvivesAsText(const std::string& path)
{
    return NativePath(FromNativePath(path)) == path;
}
