#pragma once

// Reads the pixel counts (width x height from the file header) of a list of
// pictures on its own thread, so that a slow medium never holds up the
// window. Progress and the result come back through queued calls on the
// context object, which must outlive the reader; a cancelled or destroyed
// reader reports no result.
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "support/thread_refusal.h"

class CPictureSizeReader {
public:
    using Progress = std::function<void(int done)>;
    using Finished = std::function<void(const std::vector<std::uint64_t>& pixels)>;

    CPictureSizeReader() = default;
    ~CPictureSizeReader() { Cancel(); }
    CPictureSizeReader(const CPictureSizeReader&) = delete;
    CPictureSizeReader& operator=(const CPictureSizeReader&) = delete;

    // pixels[i] is 0 for a file whose header does not read. A running read
    // is cancelled first. false when the system refuses the thread: nothing
    // is reported, and `*refused` says why.
    bool Start(std::vector<QString> paths, QObject* context, Progress onProgress, Finished onFinished,
               EThreadRefusal* refused = nullptr);
    // Ends the running read; its result is never reported.
    void Cancel();
    bool IsRunning() const { return m_thread.joinable() && !m_bEnded; }

private:
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_pCancelled;
    std::atomic<bool> m_bEnded{true};
};
