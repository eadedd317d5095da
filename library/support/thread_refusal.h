#pragma once

#include <pthread.h>
#include <sys/mman.h>

#include <cstddef>

// Why the system refused to start a thread. Both causes fail alike (EAGAIN),
// so the memory is asked again: a stack of a new thread's size that cannot
// be mapped now means the memory ran out; otherwise a limit of processes or
// threads (RLIMIT_NPROC, a cgroup's pids.max) refused the task. Header only:
// the scanner's source manager, which links nothing of the library, asks too.
enum class EThreadRefusal { ShortOfMemory, TooManyTasks };

inline EThreadRefusal VxWhyThreadRefused()
{
    std::size_t stack = std::size_t(8) << 20;
    pthread_attr_t defaults;
    if (pthread_getattr_default_np(&defaults) == 0) {
        std::size_t size = 0;
        if (pthread_attr_getstacksize(&defaults, &size) == 0 && size > 0)
            stack = size;
        pthread_attr_destroy(&defaults);
    }
    void* block = mmap(nullptr, stack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (block == MAP_FAILED)
        return EThreadRefusal::ShortOfMemory;
    munmap(block, stack);
    return EThreadRefusal::TooManyTasks;
}
