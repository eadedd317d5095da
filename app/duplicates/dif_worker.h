#pragma once

// One background worker of the duplicate finder (the scan or the
// comparison). The body runs on its own thread and reports to the window
// only through queued calls; it never touches a widget.
#include <atomic>
#include <functional>
#include <thread>

#include "support/thread_refusal.h"

class CDIFWorker {
public:
    CDIFWorker() = default;
    ~CDIFWorker();
    CDIFWorker(const CDIFWorker&) = delete;
    CDIFWorker& operator=(const CDIFWorker&) = delete;

    bool IsRunning() const { return m_thread.joinable(); }
    // false when the system refuses the thread: the body is not run, and
    // `*refused` says why.
    bool Start(std::function<void()> body, EThreadRefusal* refused = nullptr);
    // The stop procedure: raises the shared stop counter, waits for the
    // body to end while the window keeps handling its events (a finished
    // report queued by the body may run meanwhile), then resets the counter.
    void Stop(std::atomic<int>& stopRequests);
    // Joins a body that has ended (its finished report calls this).
    void Finish();

private:
    std::thread m_thread;
    std::atomic<bool> m_bEnded{false};
};
