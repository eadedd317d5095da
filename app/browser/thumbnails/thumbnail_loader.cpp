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

void WriteCache(CVelvix& decoded, int fullWidth, int fullHeight, const SThumbnailLoad& load, int bucket)
{
    if (load.m_pCache->IsInsideCache(load.m_strPath))
        return;
    CVelvix entry(decoded);
    // Entries are never enlarged: a small picture is cached as it is.
    if (fullWidth > bucket || fullHeight > bucket) {
        if (!thumbs::ScaleToCell(entry, fullWidth, fullHeight, bucket, true))
            return;
    } else if (!entry.Resize(nullptr, fullWidth, fullHeight, false)) {
        return;
    }
    load.m_pCache->Write(load.m_strPath, bucket, ToQImage(entry), fullWidth, fullHeight);
}

} // namespace

bool LoadThumbnail(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters)
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
    if (load.m_pCache)
        WriteCache(decoded, fullWidth, fullHeight, load, bucket);
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
