#include "batch_runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "image/parallel.h"
#include "progress_bar.h"

namespace {

std::atomic<bool> g_bInterrupted{false};

// Shared by the workers: the next task, the count done, and standard error.
struct CBatchState {
    std::atomic<long> next{0};
    long done = 0, failed = 0;
    std::mutex lock;
    std::condition_variable finished;
};

} // namespace

void InterruptBatch()
{
    g_bInterrupted = true;
}

CBatchResult RunBatch(long count, int jobs, bool progress, const std::function<std::string(long)>& task)
{
    CBatchState state;
    CProgressBar bar(stderr, count);
    const long threads = std::clamp<long>(jobs, 1, std::max(1L, count));
    auto work = [&] {
        // With several files at once every core already has its own picture:
        // the library's loops stay on this worker's thread.
        std::optional<VxThreadLimit> alone;
        if (threads > 1)
            alone.emplace(1);
        for (long i; !g_bInterrupted && (i = state.next++) < count;) {
            const std::string failure = task(i);
            std::lock_guard guard(state.lock);
            ++state.done;
            if (!failure.empty()) {
                ++state.failed;
                if (progress)
                    bar.Clear();
                std::fprintf(stderr, "ambrel-cli: %s\n", failure.c_str());
            }
            state.finished.notify_all();
        }
    };
    std::vector<std::thread> workers;
    // The system may refuse threads (too many, no memory for a stack): the
    // ones started do the work, or this thread when none could be.
    try {
        for (long t = 0; t < threads; ++t)
            workers.emplace_back(work);
    } catch (const std::exception&) {
    }
    if (workers.empty())
        work();
    if (progress) {
        // The bar is redrawn a few times a second, not after every file.
        std::unique_lock guard(state.lock);
        while (state.done < count && !(g_bInterrupted && state.done >= std::min(count, state.next.load()))) {
            bar.Draw(state.done);
            state.finished.wait_for(guard, std::chrono::milliseconds(200));
        }
        bar.Draw(state.done);
        std::fputc('\n', stderr);
    }
    for (auto& worker : workers)
        worker.join();
    CBatchResult result;
    result.interrupted = g_bInterrupted && state.done < count;
    result.failed = state.failed + (count - state.done);
    return result;
}
