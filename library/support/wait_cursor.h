#pragma once

#include <QApplication>
#include <QCursor>

// The wait cursor for the lifetime of the guard; guards nest.
class CVxWaitCursor {
public:
    CVxWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~CVxWaitCursor() { QApplication::restoreOverrideCursor(); }
    // Shows the wait cursor again after a dialog changed it.
    void Restore() { QApplication::changeOverrideCursor(QCursor(Qt::WaitCursor)); }

    CVxWaitCursor(const CVxWaitCursor&) = delete;
    CVxWaitCursor& operator=(const CVxWaitCursor&) = delete;
};
