#include "busy_indicator.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>

#include <atomic>
#include <new>
#include <system_error>
#include <thread>

#include "support/wait_cursor.h"

namespace {

constexpr int kBusyIndicatorDelayMs = 400;

} // namespace

bool RunWithBusyIndicator(QWidget* parent, const std::function<void()>& work, EThreadRefusal* refused)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        work();
        return true;
    }
    CVxWaitCursor wait;
    QEventLoop loop;
    std::atomic<bool> finished{false};
    // A thread of its own: one the system refuses is known at once, where a
    // thread pool's task would wait for ever and the window with it.
    std::thread worker;
    try {
        worker = std::thread([&work, &finished, &loop] {
            work();
            finished = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        if (refused)
            *refused = VxWhyThreadRefused();
        return false;
    } catch (const std::bad_alloc&) {
        if (refused)
            *refused = EThreadRefusal::ShortOfMemory;
        return false;
    }

    // Shows itself once the work has taken longer than the delay.
    QProgressDialog busy(QObject::tr("Working..."), QString(), 0, 0, parent);
    busy.setWindowModality(Qt::ApplicationModal);
    busy.setCancelButton(nullptr);
    busy.setMinimumDuration(kBusyIndicatorDelayMs);
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return true;
}
