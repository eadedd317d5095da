#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of worker threads at below-normal priority running queued
// jobs, newest first (the cells just scrolled to). Queued jobs can be
// dropped at once; running ones are waited for. Threads the system refuses
// are done without; with none, a job runs on the thread that queues it.
class CLoaderPool {
public:
    using Job = std::function<void()>;

    // `threads` < 1: one per core. `niceness` as for setpriority.
    explicit CLoaderPool(int threads = 0, int niceness = 5);
    ~CLoaderPool();
    CLoaderPool(const CLoaderPool&) = delete;
    CLoaderPool& operator=(const CLoaderPool&) = delete;

    // `key` identifies the job for Drop (any value; 0 is fine).
    void Queue(const void* key, Job job);
    // Removes queued jobs (not running ones) whose key passes `which`;
    // each dropped job's `onDrop` runs here. Returns how many were dropped.
    int Drop(const std::function<bool(const void*)>& which, const std::function<void(const void*)>& onDrop = {});
    // Drops every queued job and waits for the running ones.
    int DropAllAndWait(const std::function<void(const void*)>& onDrop = {});
    // Waits until every queued job has run.
    void Finish();
    int Threads() const;
    int Queued() const;
    int Running() const;

private:
    void Work(int niceness);
    bool _StartThread();

    struct Entry {
        const void* key;
        Job job;
    };
    mutable std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::condition_variable m_Idle;
    std::deque<Entry> m_Queue;
    int m_nRunning = 0;
    bool m_bStop = false;
    int m_nNiceness = 0;
    std::vector<std::thread> m_Threads;
};
