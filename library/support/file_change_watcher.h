#pragma once

#include <QEvent>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "velvix_export.h"

class QObject;
class CFileChangeWatcher;

// Posted to the receiver of a watch: Changed() is 1 when a name in the folder
// changed, 0 when the watch failed and has ended. At most one report of
// changes waits in the receiver's queue: a receiver busy for long gets one
// for all the changes meanwhile, not one per beat of the watch.
class VELVIX_EXPORT CFileChangeEvent : public QEvent {
public:
    CFileChangeEvent(int message, CFileChangeWatcher* watcher, int changed,
                     std::shared_ptr<std::atomic<bool>> waiting = {})
        : QEvent(QEvent::Type(message)), m_pWatcher(watcher), m_nChanged(changed), m_pWaiting(std::move(waiting))
    {
    }
    ~CFileChangeEvent() override
    {
        if (m_pWaiting)
            m_pWaiting->store(false);
    }
    CFileChangeWatcher* Watcher() const { return m_pWatcher; }
    int Changed() const { return m_nChanged; }

private:
    CFileChangeWatcher* m_pWatcher;
    int m_nChanged;
    std::shared_ptr<std::atomic<bool>> m_pWaiting;
};

// Watches one folder (optionally with its subfolders) on a background thread
// and posts a CFileChangeEvent when a file or folder in it is created,
// deleted or renamed. Changes of contents, size or time are not reported.
class VELVIX_EXPORT CFileChangeWatcher {
public:
    CFileChangeWatcher() = default;
    // A copy takes the settings of the watch, never its thread: it starts idle.
    CFileChangeWatcher(const CFileChangeWatcher& other);
    CFileChangeWatcher& operator=(const CFileChangeWatcher& other);
    virtual ~CFileChangeWatcher();

    // False when a watch is already running or its thread cannot be created.
    // Returns at once: with `watchSubtree` the thread adds the subfolders'
    // watches and, when there are any, reports one change once all are
    // watched, covering what changed in them before.
    bool StartWatch(const std::string& path, QObject* window, int message, bool watchSubtree);
    // Ends the watch, waiting at most a second; a thread that does not end in
    // time is left to finish alone and never reaches the receiver again.
    void StopWatch();
    bool IsWatching();

    const std::string& GetPath() const { return m_strPath; }
    bool IsWatchingSubtree() const { return m_bWatchSubtree; }

    struct Shared;

private:
    void ReapFinished();

    std::string m_strPath;
    QObject* m_pWindow = nullptr;
    int m_nMessage = 0;
    bool m_bWatchSubtree = false;
    std::unique_ptr<std::thread> m_Thread;
    std::shared_ptr<Shared> m_Shared;
};
