#pragma once

#include <functional>

#include "support/thread_refusal.h"

class QWidget;

// Runs work on a worker thread while the window keeps repainting: the wait
// cursor at once, a busy indicator if it takes longer than a moment, and no
// user input reaching the windows until it is done. Without a running
// application the work simply runs here. When the system cannot start a
// thread the work is not run at all: false, and `*refused` says why.
bool RunWithBusyIndicator(QWidget* parent, const std::function<void()>& work, EThreadRefusal* refused = nullptr);
