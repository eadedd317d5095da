#pragma once

#include <QImage>

#include <atomic>
#include <cstddef>
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
    // Decodes running side by side now, and at most.
    std::atomic<int> m_nDecoding{0};
    std::atomic<int> m_nPeakDecoding{0};
};

// The memory that the decodes of every loader may take together (a single
// larger picture is decoded alone). 0 restores the default.
void SetThumbnailDecodeMemory(std::size_t bytes);

// A cache entry made by a load, to be written once the cell shows.
struct SCacheEntry {
    std::string m_strPath;
    int m_nBucket = 0;
    QImage m_Picture; // null: nothing to write
    int m_nFullWidth = 0, m_nFullHeight = 0;
};

// Fills the item's scaled picture (and, when asked and the file decoded at
// full size, its full picture): from a fresh cache entry when there is one,
// otherwise by decoding at the smallest scale that covers the cache size.
// A decoded file's new cache entry goes to `entry` when given, else it is
// written here. False (and m_bLoadable cleared) when the file cannot be
// decoded. Runs on a loader thread; touches only the item.
bool LoadThumbnail(ThumbnailItem& item, const SThumbnailLoad& load, SLoadCounters* counters = nullptr,
                   SCacheEntry* entry = nullptr);
// Writes an entry LoadThumbnail handed out (nothing for a null picture).
bool WriteCacheEntry(const CThumbnailCache& cache, const SCacheEntry& entry);
