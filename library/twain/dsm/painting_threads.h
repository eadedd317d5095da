#pragma once

// Qt's raster painting splits a large fill over QThreadPool::globalInstance()
// and waits for every part. A part whose thread the system refuses to start
// is never run, and the painting (a progress bar's stripes during a scan)
// waits for ever. This starts the pool's threads while threads can be had
// and keeps them for the life of the process; false when some could not be
// started (a later call tries again).
bool KeepPaintingThreads();
