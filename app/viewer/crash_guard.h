#pragma once

#include <functional>
#include <string>

// Marks the image being decoded in the settings store for the lifetime of
// the guard, so that the next start can name a file that crashed the
// decoder. Safe on any thread.
class CCrashGuard {
public:
    CCrashGuard(const std::string& path, int index);
    ~CCrashGuard();
    CCrashGuard(const CCrashGuard&) = delete;
    CCrashGuard& operator=(const CCrashGuard&) = delete;

    // Told of every guarded decode (path, index), on the decoding thread;
    // tests use it to see that no decode runs unguarded.
    static std::function<void(const std::string& path, int index)> s_pfnObserver;
};
