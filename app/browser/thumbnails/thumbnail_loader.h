#pragma once

#include <atomic>
#include <string>

class CThumbnailCache;
class ThumbnailItem;

// One load of a cell's picture, as a loader runs it.
struct SThumbnailLoad {
    std::string m_strPath;
    int m_nBox = 116;           // side of the cell's picture area
    bool m_bKeepFull = false;   // keep a picture decoded at full size
    bool m_bBilinear = false;   // resample instead of nearest pixel
    const CThumbnailCache* m_pCache = nullptr;
};

// Counters for tests and measurements.
struct SLoadCounters {
    std::atomic<int> m_nDecodes{0};
    std::atomic<int> m_nCacheHits{0};
};

// Fills the item's scaled picture (and, when asked and the file decoded at
// full size, its full picture): from a fresh cache entry when there is one,
// otherwise by decoding at the smallest scale that covers the cache size,
// then writes the cache entry. False (and m_bLoadable cleared) when the file
// cannot be decoded. Runs on a loader thread; touches only the item.
bool LoadThumbnail(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters = nullptr);
