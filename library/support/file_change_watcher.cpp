#include "support/file_change_watcher.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <unordered_map>

#ifdef __linux__
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

// What the watch thread shares with its owner. The thread holds its own
// reference, so a thread that outlives StopWatch never touches the watcher.
struct CFileChangeWatcher::Shared {
    std::string path;
    bool subtree = false;
    int message = 0;
    CFileChangeWatcher* watcher = nullptr;  // only passed on in the events

    std::mutex receiverMutex;
    QObject* receiver = nullptr;  // cleared by the owner when it lets go

    std::atomic<bool> stop{false};
    // The folder itself is armed by StartWatch, so that every change in it
    // after StartWatch returns is seen; its subfolders are armed by the thread.
    std::shared_ptr<void> notification;
    bool armed = false;
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool finished = false;

#ifdef __linux__
    int wakeFd = -1;  // written by StopWatch so that no wait lasts longer than needed
    ~Shared()
    {
        if (wakeFd >= 0)
            close(wakeFd);
    }
#endif

    void Post(int changed, std::shared_ptr<std::atomic<bool>> waiting = {})
    {
        std::lock_guard<std::mutex> lock(receiverMutex);
        if (receiver)
            QCoreApplication::postEvent(receiver, new CFileChangeEvent(message, watcher, changed, std::move(waiting)));
        else if (waiting)
            waiting->store(false);
    }

    // A change while the last report still waits is owed: reported once
    // that one was taken (ReportOwed, on the watch thread).
    void Report()
    {
        owed = reportWaiting->exchange(true);
        if (!owed)
            Post(1, reportWaiting);
    }
    void ReportOwed()
    {
        if (owed && !reportWaiting->load())
            Report();
    }
    std::shared_ptr<std::atomic<bool>> reportWaiting = std::make_shared<std::atomic<bool>>(false);
    bool owed = false;

    void Finish()
    {
        std::lock_guard<std::mutex> lock(doneMutex);
        finished = true;
        doneSignal.notify_all();
    }

    bool IsFinished()
    {
        std::lock_guard<std::mutex> lock(doneMutex);
        return finished;
    }
};

namespace {

#ifdef __linux__

constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t kWatchMask = kNameEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

class InotifyWatch {
public:
    InotifyWatch(bool subtree, const std::atomic<bool>& stop) : m_bSubtree(subtree), m_Stop(stop)
    {
        m_nFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    ~InotifyWatch()
    {
        if (m_nFd >= 0)
            close(m_nFd);
    }
    int Fd() const { return m_nFd; }

    // The folder alone: quick enough for the owner's thread.
    bool AddRoot(const std::string& path)
    {
        if (m_nFd < 0)
            return false;
        m_nRoot = inotify_add_watch(m_nFd, path.c_str(), kWatchMask);
        if (m_nRoot < 0)
            return false;
        m_Folders[m_nRoot] = path;
        return true;
    }

    // Watches every folder below the root (on the watch thread). Returns
    // whether any was found: a change in one of them before its watch was
    // added has not been seen.
    bool AddSubfolders()
    {
        const std::string root = m_Folders[m_nRoot];
        return m_bSubtree && AddTree(root) > 0;
    }

    // Reads every queued event. Returns false when the watched folder itself
    // went away (the watch cannot go on); `changed` tells whether a name changed.
    bool Drain(bool& changed)
    {
        alignas(inotify_event) char buffer[16384];
        bool alive = true, lost = false;
        for (;;) {
            const ssize_t length = read(m_nFd, buffer, sizeof buffer);
            if (length <= 0)
                break;
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW)
                    changed = lost = true;
                if (event->mask & kNameEvents)
                    changed = true;
                if (m_bSubtree && (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))
                    && event->len > 0) {
                    auto folder = m_Folders.find(event->wd);
                    if (folder != m_Folders.end())
                        AddTree(folder->second + "/" + event->name, true);
                }
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                    if (event->wd == m_nRoot) {
                        changed = true;
                        alive = false;
                    }
                    if (event->mask & IN_IGNORED)
                        m_Folders.erase(event->wd);
                }
            }
        }
        // The events lost may have named new folders: all are walked again.
        if (lost && alive && m_bSubtree)
            if (auto root = m_Folders.find(m_nRoot); root != m_Folders.end())
                AddTree(root->second);
        return alive;
    }

private:
    // Returns the number of folders watched; ends early when the watch stops.
    std::size_t AddTree(const std::string& path, bool includeSelf = false)
    {
        std::size_t added = 0;
        std::error_code error;
        if (includeSelf) {
            const int wd = inotify_add_watch(m_nFd, path.c_str(), kWatchMask);
            if (wd < 0)
                return added;
            m_Folders[wd] = path;
            ++added;
        }
        // Folders that cannot be read or vanish meanwhile are simply not watched.
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end && !m_Stop.load(std::memory_order_relaxed); it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error)) {
                const std::string folder = it->path().string();
                const int wd = inotify_add_watch(m_nFd, folder.c_str(), kWatchMask);
                if (wd >= 0) {
                    m_Folders[wd] = folder;
                    ++added;
                }
            }
        }
        return added;
    }

    int m_nFd = -1;
    int m_nRoot = -1;
    bool m_bSubtree;
    const std::atomic<bool>& m_Stop;
    std::unordered_map<int, std::string> m_Folders;
};

// Waits up to `ms` milliseconds for the inotify descriptor (when given) or
// the stop signal; returns whether the descriptor became readable.
bool WaitFor(int inotifyFd, int wakeFd, int ms, bool& error)
{
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
    const int count = inotifyFd >= 0 ? 2 : 1;
    const int result = poll(fds, nfds_t(count), ms);
    error = false;
    if (result <= 0 || count == 1)
        return false;
    if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL))
        error = true;
    return (fds[1].revents & POLLIN) != 0;
}

void Watch(const std::shared_ptr<CFileChangeWatcher::Shared>& shared)
{
    // The lowest priority of the normal scheduling class.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);

    auto* watchPointer = static_cast<InotifyWatch*>(shared->notification.get());
    if (!shared->armed || !watchPointer) {
        shared->Post(0);
        return;
    }
    InotifyWatch& watch = *watchPointer;
    // The subfolders are watched from here, not by StartWatch, which would
    // hold up its caller for a large tree. What changed in one of them before
    // its watch was added is covered by one report once all are watched.
    bool changed = watch.AddSubfolders();
    while (!shared->stop.load()) {
        bool error = false;
        if (!changed) {
            const bool fired = WaitFor(watch.Fd(), shared->wakeFd, 100, error);
            if (shared->stop.load())
                break;
            if (error) {
                shared->Post(0);
                break;
            }
            if (!fired) {
                shared->ReportOwed();
                continue;
            }
        }
        const bool alive = watch.Drain(changed);
        if (shared->stop.load())
            break;
        if (changed)
            shared->Report();
        changed = false;
        if (!alive) {
            if (shared->owed) // the last word of the watch
                shared->Post(1);
            shared->Post(0);
            break;
        }
        // Bursts of changes are reported at most about five times a second.
        WaitFor(-1, shared->wakeFd, 100, error);
    }
}

#else

// Elsewhere: compare the folder's names every 100 ms.
std::vector<std::string> Snapshot(const std::string& path, bool subtree, bool& ok)
{
    std::vector<std::string> names;
    std::error_code error;
    ok = fs::is_directory(path, error);
    if (!ok)
        return names;
    if (subtree) {
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error))
            names.push_back(it->path().string());
    } else {
        for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Watch(const std::shared_ptr<CFileChangeWatcher::Shared>& shared)
{
    bool ok = false;
    auto last = Snapshot(shared->path, shared->subtree, ok);
    if (!ok) {
        shared->Post(0);
        return;
    }
    // Taken after StartWatch returned: what changed meanwhile is reported.
    if (shared->subtree)
        shared->Report();
    while (!shared->stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        shared->ReportOwed();
        auto now = Snapshot(shared->path, shared->subtree, ok);
        if (!ok) {
            shared->Post(1);
            shared->Post(0);
            break;
        }
        if (now != last) {
            shared->Report();
            last = std::move(now);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

#endif

void WatchThread(std::shared_ptr<CFileChangeWatcher::Shared> shared)
{
    // A tree too large for the memory left ends the watch as any failure
    // does: on this thread the exception would end the program.
    try {
        Watch(shared);
    } catch (const std::bad_alloc&) {
        shared->Post(0);
    }
    shared->Finish();
}

} // namespace

CFileChangeWatcher::CFileChangeWatcher(const CFileChangeWatcher& other)
    : m_strPath(other.m_strPath), m_pWindow(other.m_pWindow), m_nMessage(other.m_nMessage),
      m_bWatchSubtree(other.m_bWatchSubtree)
{
}

CFileChangeWatcher& CFileChangeWatcher::operator=(const CFileChangeWatcher& other)
{
    if (this != &other) {
        StopWatch();
        m_strPath = other.m_strPath;
        m_pWindow = other.m_pWindow;
        m_nMessage = other.m_nMessage;
        m_bWatchSubtree = other.m_bWatchSubtree;
    }
    return *this;
}

CFileChangeWatcher::~CFileChangeWatcher()
{
    StopWatch();
}

void CFileChangeWatcher::ReapFinished()
{
    if (m_Thread && m_Shared->IsFinished()) {
        m_Thread->join();
        m_Thread.reset();
        m_Shared.reset();
    }
}

bool CFileChangeWatcher::IsWatching()
{
    ReapFinished();
    return m_Thread != nullptr;
}

bool CFileChangeWatcher::StartWatch(const std::string& path, QObject* window, int message, bool watchSubtree)
{
    // A watch that failed and ended on its own leaves the object idle.
    ReapFinished();
    if (m_Thread)
        return false;
    auto shared = std::make_shared<Shared>();
    shared->path = path;
    shared->subtree = watchSubtree;
    shared->message = message;
    shared->watcher = this;
    shared->receiver = window;
#ifdef __linux__
    shared->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->wakeFd < 0)
        return false;
    auto notification = std::make_shared<InotifyWatch>(watchSubtree, shared->stop);
    shared->armed = notification->AddRoot(path);
    shared->notification = notification;
#endif
    try {
        m_Thread = std::make_unique<std::thread>(WatchThread, shared);
    } catch (const std::system_error&) {
        return false;
    }
    m_strPath = path;
    m_pWindow = window;
    m_nMessage = message;
    m_bWatchSubtree = watchSubtree;
    m_Shared = std::move(shared);
    return true;
}

void CFileChangeWatcher::StopWatch()
{
    if (!m_Thread)
        return;
    m_Shared->stop.store(true);
#ifdef __linux__
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(m_Shared->wakeFd, &one, sizeof one);
#endif
    bool finished;
    {
        std::unique_lock<std::mutex> lock(m_Shared->doneMutex);
        finished = m_Shared->doneSignal.wait_for(lock, std::chrono::milliseconds(1000),
                                                 [this] { return m_Shared->finished; });
    }
    {
        // From here on the thread posts nothing, whether it ended or not.
        std::lock_guard<std::mutex> lock(m_Shared->receiverMutex);
        m_Shared->receiver = nullptr;
    }
    if (finished)
        m_Thread->join();
    else
        m_Thread->detach();
    m_Thread.reset();
    m_Shared.reset();
}
