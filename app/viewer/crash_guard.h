#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Marks the image being decoded in the settings store for the lifetime of
// the guard, so that the next start can name a file that crashed the
// decoder. Safe on any thread; decodes may overlap (a prefetch in one window
// while another opens a file), and the mark of each one still running stays
// stored (one a line) until it ends.
//
// The store's writes flush to disk, which takes tens of milliseconds: they
// run in order on a thread of their own. Setting the mark is waited for (it
// must be stored before the decode starts); clearing it is not, so that a
// decoded picture reaches the screen without waiting for the disk.
class CCrashGuard {
public:
    CCrashGuard(const std::string& path, int index);
    ~CCrashGuard();
    CCrashGuard(const CCrashGuard&) = delete;
    CCrashGuard& operator=(const CCrashGuard&) = delete;

    // Returns once every mark set or cleared so far is stored; runs by
    // itself when the application object goes away.
    static void WaitForWrites();

    // Told of every guarded decode (path, index), on the decoding thread;
    // tests use it to see that no decode runs unguarded.
    static std::function<void(const std::string& path, int index)> s_pfnObserver;

private:
    std::uint64_t m_nId = 0;
};
