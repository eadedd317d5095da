#pragma once

#include <QImage>
#include <QString>

#include <string>

// The freedesktop thumbnail cache shared by desktop programs:
// $XDG_CACHE_HOME/thumbnails/{normal,large,x-large,xx-large}/<md5 of URI>.png,
// PNG files that name their source (Thumb::URI) and its modification time
// (Thumb::MTime). An entry whose time differs from the file's is stale.
class CThumbnailCache {
public:
    // The cache under `root` (the thumbnails folder itself); empty: the
    // user's ($XDG_CACHE_HOME or ~/.cache, then /thumbnails).
    explicit CThumbnailCache(const QString& root = QString());

    // The smallest cache size (128, 256, 512, 1024) not smaller than `box`;
    // 1024 for larger boxes.
    static int BucketFor(int box);
    // The file URI of an absolute path as desktop programs spell it.
    static std::string FileUri(const std::string& path);

    QString EntryPath(const std::string& path, int bucket) const;
    // The fresh entry of the file for the bucket: the picture and the size
    // of the original it records (0 when the entry does not say).
    bool Read(const std::string& path, int bucket, QImage& picture, int& fullWidth, int& fullHeight) const;
    // Writes `picture` (already no larger than the bucket) as the entry of
    // the file; never for files inside the cache itself. Atomic: a reader
    // sees the old entry or the new one.
    bool Write(const std::string& path, int bucket, const QImage& picture, int fullWidth, int fullHeight) const;
    bool IsInsideCache(const std::string& path) const;
    const QString& Root() const { return m_strRoot; }

private:
    QString m_strRoot;
};
