#pragma once

// The state of the lock keys where the window system tells it (X11);
// false where it cannot be read.
bool ReadLockKeys(bool& capsLock, bool& numLock, bool& scrollLock);
