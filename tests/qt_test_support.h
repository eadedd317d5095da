#pragma once

// Helpers for tests of windows and dialogs.
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace vxtest {

// Runs `act` on the first visible top-level widget of type T as soon as the
// next modal loop starts: the way a test answers a dialog.
template <typename T, typename Act>
void WhenShown(Act act)
{
    QTimer::singleShot(0, [act] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* typed = qobject_cast<T*>(widget); typed && typed->isVisible()) {
                act(typed);
                return;
            }
    });
}

} // namespace vxtest
