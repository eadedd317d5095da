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
