#include "painting_threads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <memory>

namespace {

// Qt's own later versions paint with at most this many helpers.
constexpr int kMostPaintingThreads = 8;
constexpr int kStartPatienceMs = 2000;

} // namespace

bool KeepPaintingThreads()
{
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
