#pragma once

// The size a picture file announces, for budgets and comparisons made before
// decoding. A PNG's is read from its first chunk: the toolkit's reader also
// takes in every side chunk before the pixels, and one that claims a
// gigabyte (in a file of a few bytes) had it take and clear a gigabyte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QImageReader>
#include <QSize>
#include <QString>

#include <cstring>

inline QSize PictureHeaderSize(QIODevice& file)
{
    // Signature, then the header chunk's length (13), name, width and height.
    static constexpr char kPngStart[] = "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR";
    const QByteArray head = file.peek(24);
    if (head.size() == 24 && std::memcmp(head.constData(), kPngStart, 16) == 0) {
        auto number = [&head](int at) {
            return quint32(uchar(head[at])) << 24 | quint32(uchar(head[at + 1])) << 16 |
                   quint32(uchar(head[at + 2])) << 8 | quint32(uchar(head[at + 3]));
        };
        const quint32 width = number(16), height = number(20);
        if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
            return QSize();
        return QSize(int(width), int(height));
    }
    return QImageReader(&file).size();
}

// Regular files only: opening a pipe named like a picture waits for a writer
// for good (the duplicate finder's size reader would never end).
inline QSize PictureHeaderSize(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QSize();
    struct stat info {};
    QFile file;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return QSize();
    }
    return PictureHeaderSize(file);
}
