#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vx_detail {
// 0: no limit. Per thread, so that each caller decides for its own work.
inline thread_local unsigned t_threadLimit = 0;

// The first exception of the threads of one loop (std::bad_alloc from an
// effect's work buffer), carried to the loop's caller once every thread has
// ended: one escaping a thread of its own would end the program.
class CFirstFailure {
public:
    template <typename Work>
    void Run(Work&& work) noexcept
    {
        try {
            work();
        } catch (...) {
            const std::lock_guard<std::mutex> lock(m_Lock);
            if (!m_First)
                m_First = std::current_exception();
            m_bFailed = true;
        }
    }
    bool Failed() const { return m_bFailed; }
    void Rethrow() const
    {
        if (m_First)
            std::rethrow_exception(m_First);
    }

private:
    std::mutex m_Lock;
    std::exception_ptr m_First;
    std::atomic<bool> m_bFailed{false};
};
} // namespace vx_detail

// While it lives, the library's loops started on this thread use at most
// `threads` threads (1: this thread only). For callers that already run one
// picture per core, whose workers would otherwise each split their picture
// over every core again. Results do not depend on it.
class VxThreadLimit {
public:
    explicit VxThreadLimit(unsigned threads) : m_previous(vx_detail::t_threadLimit)
    {
        vx_detail::t_threadLimit = std::max(1u, threads);
    }
    ~VxThreadLimit() { vx_detail::t_threadLimit = m_previous; }
    VxThreadLimit(const VxThreadLimit&) = delete;
    VxThreadLimit& operator=(const VxThreadLimit&) = delete;

private:
    unsigned m_previous;
};

// The threads the library's loops may use on this thread: the cores, or fewer
// under a VxThreadLimit.
inline std::size_t VxCores()
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned limit = vx_detail::t_threadLimit;
    return limit ? std::min(limit, cores) : cores;
}

// Runs fn(begin, end) over [0, count) split into one contiguous range per core.
// Only for work whose result does not depend on the order of the ranges. The
// ranges run under a limit of one thread, so work they start does not split again.
template <typename Fn>
void VxParallelRanges(std::size_t count, bool parallel, Fn&& fn)
{
    const std::size_t parts = parallel ? std::min<std::size_t>(VxCores(), count) : 1;
    if (parts <= 1) {
        fn(std::size_t(0), count);
        return;
    }
    vx_detail::CFirstFailure failure;
    std::vector<std::thread> workers;
    // A thread the system refuses (no memory for its stack, too many
    // threads) leaves its range to this thread: an escaping exception would
    // end the program.
    try {
        workers.reserve(parts - 1);
        for (std::size_t p = 1; p < parts; ++p)
            workers.emplace_back([&fn, &failure, count, parts, p] {
                const VxThreadLimit alone(1);
                failure.Run([&] { fn(count * p / parts, count * (p + 1) / parts); });
            });
    } catch (const std::exception&) {
    }
    failure.Run([&] {
        const VxThreadLimit alone(1);
        fn(std::size_t(0), count / parts);
        for (std::size_t p = workers.size() + 1; p < parts; ++p)
            fn(count * p / parts, count * (p + 1) / parts);
    });
    for (auto& worker : workers)
        worker.join();
    failure.Rethrow();
}

// Runs fn(worker, begin, end) over [0, count) cut into a few contiguous pieces
// per core. Each worker (0 is this thread, the others below VxCores()) takes
// the next piece when it has finished one, so a core that another program
// keeps busy takes fewer pieces instead of holding up the rest. Only for work
// whose result depends neither on the pieces nor on which worker runs them.
template <typename Fn>
void VxParallelPieces(std::size_t count, bool parallel, Fn&& fn)
{
    const std::size_t workers = parallel ? std::min<std::size_t>(VxCores(), count) : 1;
    if (workers <= 1) {
        if (count > 0)
            fn(std::size_t(0), std::size_t(0), count);
        return;
    }
    constexpr std::size_t kPiecesPerWorker = 8;
    const std::size_t pieces = std::min(count, workers * kPiecesPerWorker);
    std::atomic<std::size_t> next{0};
    vx_detail::CFirstFailure failure;
    auto work = [&fn, &next, &failure, count, pieces](std::size_t worker) {
        const VxThreadLimit alone(1);
        failure.Run([&] {
            for (std::size_t p = next++; p < pieces; p = next++)
                fn(worker, count * p / pieces, count * (p + 1) / pieces);
        });
        if (failure.Failed())
            next = pieces;  // the work has failed: the others stop after their piece
    };
    std::vector<std::thread> threads;
    // Fewer threads than asked for (see VxParallelRanges): this one takes
    // the pieces they would have taken.
    try {
        threads.reserve(workers - 1);
        for (std::size_t w = 1; w < workers; ++w)
            threads.emplace_back(work, w);
    } catch (const std::exception&) {
    }
    work(0);
    for (auto& thread : threads)
        thread.join();
    failure.Rethrow();
}
