#include "browser/thumbnails/loader_pool.h"

#include <algorithm>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

CLoaderPool::CLoaderPool(int threads, int niceness)
{
    if (threads < 1)
        threads = std::max(1, int(std::thread::hardware_concurrency()));
    m_nNiceness = niceness;
    // Threads the system refuses (too many running) are done without; with
    // none at all, Queue tries again.
    while (int(m_Threads.size()) < threads && _StartThread()) {
    }
}

bool CLoaderPool::_StartThread()
{
    try {
        m_Threads.emplace_back([this, niceness = m_nNiceness] { Work(niceness); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

CLoaderPool::~CLoaderPool()
{
    DropAllAndWait();
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bStop = true;
    }
    m_Wake.notify_all();
    for (std::thread& thread : m_Threads)
        thread.join();
}

void CLoaderPool::Queue(const void* key, Job job)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_Threads.empty() || _StartThread()) {
            m_Queue.push_back({key, std::move(job)});
            job = nullptr;
        }
    }
    // Without any thread the job runs here: slower, but not waited for
    // for ever.
    if (job) {
        job();
        return;
    }
    m_Wake.notify_one();
}

int CLoaderPool::Threads() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return int(m_Threads.size());
}

int CLoaderPool::Drop(const std::function<bool(const void*)>& which, const std::function<void(const void*)>& onDrop)
{
    // The choice is made without the lock: it may ask the view where a cell
    // is, and the view may lay itself out and drop again.
    std::vector<const void*> queued, chosen, dropped;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (const Entry& entry : m_Queue)
            queued.push_back(entry.key);
    }
    for (const void* key : queued)
        if (which(key))
            chosen.push_back(key);
    if (!chosen.empty()) {
        // Sorted: a folder of thousands of queued loads is not searched
        // once per entry.
        std::sort(chosen.begin(), chosen.end(), std::less<const void*>());
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (auto it = m_Queue.begin(); it != m_Queue.end();) {
            if (std::binary_search(chosen.begin(), chosen.end(), it->key, std::less<const void*>())) {
                dropped.push_back(it->key);
                it = m_Queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (onDrop)
        for (const void* key : dropped)
            onDrop(key);
    return int(dropped.size());
}

int CLoaderPool::DropAllAndWait(const std::function<void(const void*)>& onDrop)
{
    const int dropped = Drop([](const void*) { return true; }, onDrop);
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Idle.wait(lock, [this] { return m_nRunning == 0; });
    return dropped;
}

void CLoaderPool::Finish()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Idle.wait(lock, [this] { return m_nRunning == 0 && m_Queue.empty(); });
}

int CLoaderPool::Queued() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return int(m_Queue.size());
}

int CLoaderPool::Running() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nRunning;
}

void CLoaderPool::Work(int niceness)
{
    // Background work must not slow the window down.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), niceness);
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [this] { return m_bStop || !m_Queue.empty(); });
        if (m_Queue.empty())
            return; // stopping
        Entry entry = std::move(m_Queue.back());
        m_Queue.pop_back();
        ++m_nRunning;
        lock.unlock();
        entry.job();
        entry.job = nullptr;
        lock.lock();
        if (--m_nRunning == 0)
            m_Idle.notify_all();
    }
}
