#include "busy_indicator.h"

#include <QApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QtConcurrent/QtConcurrentRun>

#include "support/wait_cursor.h"

namespace {

constexpr int kBusyIndicatorDelayMs = 400;

} // namespace

void RunWithBusyIndicator(QWidget* parent, const std::function<void()>& work)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        work();
        return;
    }
    CVxWaitCursor wait;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(work));

    // Shows itself once the work has taken longer than the delay.
    QProgressDialog busy(QObject::tr("Working..."), QString(), 0, 0, parent);
    busy.setWindowModality(Qt::ApplicationModal);
    busy.setCancelButton(nullptr);
    busy.setMinimumDuration(kBusyIndicatorDelayMs);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
}
