#include "browser/thumbnails/thumbnail_loader.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include "common/picture_header.h"
#include "image/covering_decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>

#include "browser/thumbnails/full_picture_budget.h"
#include "browser/thumbnails/thumbnail_cache.h"
#include "browser/thumbnails/thumbnail_item.h"

namespace {

// The decodes of all loaders share a budget of memory: a few hundred
// kilobytes of PNG can hold a gigabyte of pixels, and a folder of such files
// would otherwise be decoded once per loader at the same time.
class CDecodeGate {
public:
    void Enter(std::size_t bytes)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Free.wait(lock, [&] { return m_nInFlight == 0 || m_nInFlight + bytes <= m_nCapacity; });
        m_nInFlight += bytes;
    }
    void Leave(std::size_t bytes)
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_nInFlight -= bytes;
        }
        m_Free.notify_all();
    }
    void SetCapacity(std::size_t bytes)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_nCapacity = bytes ? bytes : CFullPictureBudget::DefaultBytes();
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Free;
    std::size_t m_nInFlight = 0;
    std::size_t m_nCapacity = CFullPictureBudget::DefaultBytes();
};

CDecodeGate& Gate()
{
    static CDecodeGate gate;
    return gate;
}

// Holds a decode's share of the gate (and counts it) for its whole load.
class CDecodePass {
public:
    CDecodePass(std::size_t bytes, SLoadCounters* counters) : m_nBytes(bytes), m_pCounters(counters)
    {
        Gate().Enter(bytes);
        if (counters) {
            const int now = ++counters->m_nDecoding;
            int peak = counters->m_nPeakDecoding;
            while (now > peak && !counters->m_nPeakDecoding.compare_exchange_weak(peak, now)) {
            }
        }
    }
    ~CDecodePass()
    {
        if (m_pCounters)
            --m_pCounters->m_nDecoding;
        Gate().Leave(m_nBytes);
    }
    CDecodePass(const CDecodePass&) = delete;
    CDecodePass& operator=(const CDecodePass&) = delete;

private:
    std::size_t m_nBytes;
    SLoadCounters* m_pCounters;
};

// What decoding the file for a box of side `cover` takes, from its header:
// the picture as decoded (a JPEG at its reduced scale) and a copy of it.
// 0 when the header cannot be read.
std::size_t DecodeBytes(const std::string& path, int cover)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat info {};
    QFile file;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return 0;
    }
    const bool jpeg = QImageReader::imageFormat(&file) == "jpeg"; // the file's position is kept
    const QSize size = PictureHeaderSize(file);
    if (!size.isValid() || size.isEmpty())
        return 0;
    std::size_t width = std::size_t(size.width()), height = std::size_t(size.height());
    if (jpeg) {
        const std::size_t scale = std::size_t(VxJpegCoveringScale(size.width(), size.height(), cover, cover));
        width = (width + scale - 1) / scale;
        height = (height + scale - 1) / scale;
    }
    return width * height * sizeof(VxPixel) * 2;
}

QImage ToQImage(CVelvix& picture)
{
    const int w = picture.GetWidth(), h = picture.GetHeight();
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) // no memory for it: no cache entry
        return image;
    for (int y = 0; y < h; ++y)
        std::copy_n(&picture.Bytes(0, h - 1 - y), w, reinterpret_cast<VxPixel*>(image.scanLine(y)));
    return image;
}

bool FromCache(ThumbnailItem& item, const SThumbnailLoad& load, int bucket)
{
    QImage cached;
    int fullWidth = 0, fullHeight = 0;
    if (!load.m_pCache->Read(load.m_strPath, bucket, cached, fullWidth, fullHeight))
        return false;
    CVelvix picture;
    if (!picture.CreateImage(nullptr, cached))
        return false;
    if (fullWidth < 1 || fullHeight < 1) { // an entry of another program
        fullWidth = picture.GetWidth();
        fullHeight = picture.GetHeight();
    }
    if (!thumbs::ScaleToCell(picture, fullWidth, fullHeight, load.m_nBox, load.m_bBilinear))
        return false;
    item.m_imgScaled.Swap(picture);
    item.m_nFullWidth = fullWidth;
    item.m_nFullHeight = fullHeight;
    return true;
}

// The cache entry of a decoded picture: the fit into the cache size (never
// enlarged: a small picture is cached as it is).
bool MakeCacheEntry(const CVelvix& decoded, int fullWidth, int fullHeight, const SThumbnailLoad& load, int bucket,
                    SCacheEntry& out)
{
    if (load.m_pCache->IsInsideCache(load.m_strPath))
        return false;
    CVelvix entry(decoded);
    if (fullWidth > bucket || fullHeight > bucket) {
        if (!thumbs::ScaleToCell(entry, fullWidth, fullHeight, bucket, true))
            return false;
    } else if (!entry.Resize(nullptr, fullWidth, fullHeight, false)) {
        return false;
    }
    out.m_strPath = load.m_strPath;
    out.m_nBucket = bucket;
    out.m_Picture = ToQImage(entry);
    out.m_nFullWidth = fullWidth;
    out.m_nFullHeight = fullHeight;
    return true;
}

} // namespace

void SetThumbnailDecodeMemory(std::size_t bytes)
{
    Gate().SetCapacity(bytes);
}

bool WriteCacheEntry(const CThumbnailCache& cache, const SCacheEntry& entry)
{
    return !entry.m_Picture.isNull() &&
           cache.Write(entry.m_strPath, entry.m_nBucket, entry.m_Picture, entry.m_nFullWidth, entry.m_nFullHeight);
}

namespace {

bool Load(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters, SCacheEntry* entry)
{
    const int bucket = CThumbnailCache::BucketFor(load.m_nBox);
    if (load.m_pCache && FromCache(item, load, bucket)) {
        if (counters)
            ++counters->m_nCacheHits;
        item.m_nScaledBox = load.m_nBox;
        item.UpdateDrawable();
        return true;
    }
    const int cover = load.m_pCache ? std::max(bucket, load.m_nBox) : load.m_nBox;
    const CDecodePass pass(DecodeBytes(load.m_strPath, cover), counters);
    CVelvix decoded;
    int fullWidth = 0, fullHeight = 0;
    if (counters)
        ++counters->m_nDecodes;
    if (VxReadImageCovering(decoded, load.m_strPath.c_str(), cover, cover, &fullWidth, &fullHeight) != 1) {
        item.m_bLoadable = false;
        return false;
    }
    if (load.m_pCache) {
        SCacheEntry made;
        if (MakeCacheEntry(decoded, fullWidth, fullHeight, load, bucket, made) && !entry)
            WriteCacheEntry(*load.m_pCache, made);
        if (entry)
            *entry = std::move(made);
    }
    CVelvix scaled(decoded);
    if (!thumbs::ScaleToCell(scaled, fullWidth, fullHeight, load.m_nBox, load.m_bBilinear)) {
        item.m_bLoadable = false;
        return false;
    }
    item.m_imgScaled.Swap(scaled);
    item.m_nFullWidth = fullWidth;
    item.m_nFullHeight = fullHeight;
    item.m_nScaledBox = load.m_nBox;
    const bool full = decoded.GetWidth() == fullWidth && decoded.GetHeight() == fullHeight;
    if (load.m_bKeepFull && full)
        item.Swap(decoded);
    item.UpdateDrawable();
    return true;
}

} // namespace

bool LoadThumbnail(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters, SCacheEntry* entry)
{
    // The loaders' threads end the program on an escaping exception: a
    // scaling buffer that cannot be had fails this picture only.
    try {
        return Load(item, load, counters, entry);
    } catch (const std::bad_alloc&) {
        item.m_bLoadable = false;
        return false;
    }
}
