#pragma once

// For a test program whose threads the system refuses (a user at the limit
// of processes): while g_refuseThreads is set, every thread start fails
// with EAGAIN, std::thread's, QThread's and the thread pools' alike.
// While g_refuseMainThreadStarts is set, only the main thread's starts fail:
// threads it started before go on starting theirs. Include it in one file of
// the program.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

std::atomic<bool> g_refuseThreads{false};
std::atomic<bool> g_refuseMainThreadStarts{false};

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) noexcept
{
    if (g_refuseThreads.load() || (g_refuseMainThreadStarts.load() && gettid() == getpid()))
        return EAGAIN;
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return real(thread, attributes, start, argument);
}
