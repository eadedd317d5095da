#include "viewer/crash_guard.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
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

    // Marks a decode as running and returns once the marks are stored.
    std::uint64_t Begin(const std::string& path, int index)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        const std::uint64_t id = ++m_nNextId;
        m_Running.emplace(id, CAmbrelApp::LastImageText(QString::fromStdString(path), index));
        const std::uint64_t ticket = _Queue();
        m_Done.wait(lock, [&] { return m_nWritten >= ticket; });
        return id;
    }

    // The decode ended: the marks of the others stay. Not waited for.
    void End(std::uint64_t id)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Running.erase(id);
        _Queue();
    }

    void WaitForAll()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Done.wait(lock, [&] { return m_nWritten >= m_nQueued; });
    }

private:
    GuardWriter() = default;

    // Queues the marks of every decode running now, oldest first, one a line.
    // Without a thread of its own (the system refuses one: too many running)
    // they are stored here, in the same order.
    std::uint64_t _Queue()
    {
        QStringList marks;
        for (const auto& [id, mark] : m_Running)
            marks << mark;
        if (!m_bThread) {
            try {
                std::thread([this] { Run(); }).detach();
                m_bThread = true;
            } catch (const std::system_error&) {
                CAmbrelApp::StoreLastImage(marks.join(QLatin1Char('\n')));
                m_nWritten = ++m_nQueued;
                m_Done.notify_all();
                return m_nQueued;
            }
        }
        m_Jobs.push_back(marks.join(QLatin1Char('\n')));
        m_Work.notify_one();
        return ++m_nQueued;
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        for (;;) {
            m_Work.wait(lock, [&] { return !m_Jobs.empty(); });
            const QString text = m_Jobs.front();
            m_Jobs.pop_front();
            lock.unlock();
            CAmbrelApp::StoreLastImage(text);
            lock.lock();
            ++m_nWritten;
            m_Done.notify_all();
        }
    }

    std::mutex m_Mutex;
    std::condition_variable m_Work, m_Done;
    std::deque<QString> m_Jobs;
    std::map<std::uint64_t, QString> m_Running;
    std::uint64_t m_nQueued = 0, m_nWritten = 0, m_nNextId = 0;
    bool m_bThread = false;
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
    m_nId = GuardWriter::Instance().Begin(path, index);
}

CCrashGuard::~CCrashGuard()
{
    GuardWriter::Instance().End(m_nId);
}

void CCrashGuard::WaitForWrites()
{
    GuardWriter::Instance().WaitForAll();
}
