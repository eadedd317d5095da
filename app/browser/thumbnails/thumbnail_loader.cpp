#include "browser/thumbnails/thumbnail_loader.h"

#include <QImage>

#include "image/covering_decode.h"

#include <algorithm>

#include "browser/thumbnails/thumbnail_cache.h"
#include "browser/thumbnails/thumbnail_item.h"

namespace {

QImage ToQImage(CVelvix& picture)
{
    const int w = picture.GetWidth(), h = picture.GetHeight();
    QImage image(w, h, QImage::Format_RGB32);
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

bool WriteCacheEntry(const CThumbnailCache& cache, const SCacheEntry& entry)
{
    return !entry.m_Picture.isNull() &&
           cache.Write(entry.m_strPath, entry.m_nBucket, entry.m_Picture, entry.m_nFullWidth, entry.m_nFullHeight);
}

bool LoadThumbnail(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters, SCacheEntry* entry)
{
    const int bucket = CThumbnailCache::BucketFor(load.m_nBox);
    if (load.m_pCache && FromCache(item, load, bucket)) {
        if (counters)
            ++counters->m_nCacheHits;
        item.m_nScaledBox = load.m_nBox;
        item.UpdateDrawable();
        return true;
    }
    CVelvix decoded;
    int fullWidth = 0, fullHeight = 0;
    const int cover = load.m_pCache ? std::max(bucket, load.m_nBox) : load.m_nBox;
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
