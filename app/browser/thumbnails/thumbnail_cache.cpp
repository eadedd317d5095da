#include "browser/thumbnails/thumbnail_cache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <cstring>

namespace {

const char* BucketName(int bucket)
{
    switch (bucket) {
    case 128: return "normal";
    case 256: return "large";
    case 512: return "x-large";
    default: return "xx-large";
    }
}

bool FileState(const std::string& path, long long& mtime, long long& size)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    mtime = static_cast<long long>(info.st_mtime);
    size = static_cast<long long>(info.st_size);
    return true;
}

// A new file beside `target`, renamed over it: readers see the old entry or
// the new one, never a part. No sync to disk: an entry lost in a crash is
// only made again.
bool WriteReplacing(const std::string& target, const QByteArray& bytes)
{
    std::string temporary = target + ".XXXXXX";
    const int fd = mkstemp(temporary.data()); // mode 0600
    if (fd < 0)
        return false;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    const bool closed = ::close(fd) == 0;
    if (left == 0 && closed && ::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

} // namespace

CThumbnailCache::CThumbnailCache(const QString& root) : m_strRoot(root)
{
    if (m_strRoot.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_CACHE_HOME");
        if (base.isEmpty() || !QDir::isAbsolutePath(base))
            base = QDir::homePath() + QStringLiteral("/.cache");
        m_strRoot = base + QStringLiteral("/thumbnails");
    }
    m_strRoot = QDir::cleanPath(QDir(m_strRoot).absolutePath());
}

int CThumbnailCache::BucketFor(int box)
{
    for (int bucket : {128, 256, 512})
        if (box <= bucket)
            return bucket;
    return 1024;
}

std::string CThumbnailCache::FileUri(const std::string& path)
{
    // The characters that stay as they are in the path of a file URI; every
    // other byte (UTF-8 included) is written %XX with capitals.
    static const char kSafe[] = "-_.!~*'()/$&+,:=@";
    std::string uri = "file://";
    for (unsigned char c : path) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (alnum || (c && std::strchr(kSafe, c))) {
            uri += char(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

QString CThumbnailCache::EntryPath(const std::string& path, int bucket) const
{
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(FileUri(path)), QCryptographicHash::Md5);
    return m_strRoot + QLatin1Char('/') + QLatin1String(BucketName(bucket)) + QLatin1Char('/') +
           QString::fromLatin1(hash.toHex()) + QStringLiteral(".png");
}

bool CThumbnailCache::IsInsideCache(const std::string& path) const
{
    const QString clean = QDir::cleanPath(QString::fromStdString(path));
    return clean == m_strRoot || clean.startsWith(m_strRoot + QLatin1Char('/'));
}

bool CThumbnailCache::Read(const std::string& path, int bucket, QImage& picture, int& fullWidth, int& fullHeight) const
{
    long long mtime = 0, size = 0;
    if (!FileState(path, mtime, size))
        return false;
    QImageReader reader(EntryPath(path, bucket), "png");
    // A cache entry is small; anything claiming more is not one.
    if (!reader.canRead() || reader.size().width() > bucket || reader.size().height() > bucket)
        return false;
    // The reader does not give keys holding "::" before the picture is read.
    QImage image = reader.read();
    if (image.isNull() || image.text(QStringLiteral("Thumb::URI")) != QString::fromStdString(FileUri(path)) ||
        image.text(QStringLiteral("Thumb::MTime")) != QString::number(mtime))
        return false;
    // Whole seconds do not tell apart files replaced within one (a move over
    // a file copied in the same second): the size, where given, does.
    const QString entrySize = image.text(QStringLiteral("Thumb::Size"));
    if (!entrySize.isEmpty() && entrySize != QString::number(size))
        return false;
    fullWidth = image.text(QStringLiteral("Thumb::Image::Width")).toInt();
    fullHeight = image.text(QStringLiteral("Thumb::Image::Height")).toInt();
    picture = std::move(image);
    return true;
}

bool CThumbnailCache::Write(const std::string& path, int bucket, const QImage& picture, int fullWidth,
                            int fullHeight) const
{
    long long mtime = 0, size = 0;
    if (picture.isNull() || picture.width() > bucket || picture.height() > bucket || IsInsideCache(path) ||
        !FileState(path, mtime, size))
        return false;
    const QString entry = EntryPath(path, bucket);
    const QString folder = QFileInfo(entry).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    // The cache is private to the user.
    QFile::setPermissions(m_strRoot, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QImage tagged = picture.convertToFormat(QImage::Format_RGB32);
    tagged.setText(QStringLiteral("Thumb::URI"), QString::fromStdString(FileUri(path)));
    tagged.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    tagged.setText(QStringLiteral("Thumb::Size"), QString::number(size));
    tagged.setText(QStringLiteral("Thumb::Image::Width"), QString::number(fullWidth));
    tagged.setText(QStringLiteral("Thumb::Image::Height"), QString::number(fullHeight));
    tagged.setText(QStringLiteral("Software"), QStringLiteral("Ambrel"));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(1);
    if (!writer.write(tagged))
        return false;
    return WriteReplacing(QFile::encodeName(entry).toStdString(), png);
}
