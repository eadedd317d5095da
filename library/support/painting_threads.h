#pragma once

// Qt's raster painting splits a large fill (a progress bar's antialiased
// stripes, a scaled picture) over QThreadPool::globalInstance() and waits for
// every part. A part whose thread the system refuses to start is never run,
// and the window's thread waits for ever. KeepPaintingThreads() starts the
// pool's threads while threads can be had and keeps them for the life of the
// process; false when some could not be started (a later call tries again).
// Header only: the scanner's source manager links nothing of the library.
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <memory>

inline bool KeepPaintingThreads()
{
    // Qt's own later versions paint with at most this many helpers.
    constexpr int kMostPaintingThreads = 8;
    constexpr int kStartPatienceMs = 2000;
    static bool kept = false;
    if (kept)
        return true;
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(std::min(pool->maxThreadCount(), kMostPaintingThreads));
    const int count = pool->maxThreadCount();
    // Every task holds its thread until all have started, so that each
    // starts a thread of its own.
    auto started = std::make_shared<QSemaphore>();
    auto go = std::make_shared<QSemaphore>();
    for (int i = 0; i < count; ++i)
        pool->start([started, go] {
            started->release();
            go->acquire();
        });
    kept = started->tryAcquire(count, kStartPatienceMs);
    go->release(count);
    return kept;
}
