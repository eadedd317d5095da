#include "viewer/crash_guard.h"

#include <QCoreApplication>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "shell/ambrel_app.h"

namespace {

class GuardWriter {
public:
    // Never destroyed: its thread may still wait for work at exit.
    static GuardWriter& Instance()
    {
        static GuardWriter* writer = new GuardWriter;
        return *writer;
    }

    // Queues the write; with `wait`, returns once it is stored.
    void Write(bool set, const std::string& path, int index, bool wait)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Jobs.push_back({set, QString::fromStdString(path), index});
        const std::uint64_t ticket = ++m_nQueued;
        m_Work.notify_one();
        if (wait)
            m_Done.wait(lock, [&] { return m_nWritten >= ticket; });
    }

    void WaitForAll()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Done.wait(lock, [&] { return m_nWritten >= m_nQueued; });
    }

private:
    struct Job {
        bool set;
        QString path;
        int index;
    };

    GuardWriter() : m_Thread([this] { Run(); }) { m_Thread.detach(); }

    void Run()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        for (;;) {
            m_Work.wait(lock, [&] { return !m_Jobs.empty(); });
            const Job job = m_Jobs.front();
            m_Jobs.pop_front();
            lock.unlock();
            CAmbrelApp::RecordLastImage(job.set, job.path, job.index);
            lock.lock();
            ++m_nWritten;
            m_Done.notify_all();
        }
    }

    std::mutex m_Mutex;
    std::condition_variable m_Work, m_Done;
    std::deque<Job> m_Jobs;
    std::uint64_t m_nQueued = 0, m_nWritten = 0;
    std::thread m_Thread;
};

// A clear still queued when the program ends is stored before it goes.
void DrainAtExit()
{
    qAddPostRoutine(CCrashGuard::WaitForWrites);
}
Q_COREAPP_STARTUP_FUNCTION(DrainAtExit)

} // namespace

std::function<void(const std::string&, int)> CCrashGuard::s_pfnObserver;

CCrashGuard::CCrashGuard(const std::string& path, int index)
{
    if (s_pfnObserver)
        s_pfnObserver(path, index);
    GuardWriter::Instance().Write(true, path, index, true);
}

CCrashGuard::~CCrashGuard()
{
    GuardWriter::Instance().Write(false, std::string(), 0, false);
}

void CCrashGuard::WaitForWrites()
{
    GuardWriter::Instance().WaitForAll();
}
