#pragma once

#include <pthread.h>
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

// While it lives, this process may take `headroom` bytes of address space
// more than it holds now: a larger block cannot be had, as at the end of the
// memory (Qt's images and the pictures' pixels do not come from operator new).
// Blocks above 64 MB, that is: malloc serves smaller ones from the space its
// thread arenas have already set aside. Nor can a new thread's stack (8 MB)
// be had under a headroom below it.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t headroom)
    {
        std::ifstream status("/proc/self/status");
        rlim_t sizeKb = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0)
                sizeKb = rlim_t(std::atoll(line.c_str() + 7));
        getrlimit(RLIMIT_AS, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = sizeKb * 1024 + headroom;
        m_set = sizeKb > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &m_old); }
    bool IsSet() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
};

// While it lives, new threads ask for stacks of 64 MB, larger than any an
// ended thread left to be reused: under a smaller headroom they cannot start,
// as when the memory has run out.
class LargeThreadStacks {
public:
    LargeThreadStacks()
    {
        pthread_attr_t large;
        if (pthread_getattr_default_np(&m_usual) != 0 || pthread_getattr_default_np(&large) != 0)
            return;
        m_set = pthread_attr_setstacksize(&large, 64 << 20) == 0 && pthread_setattr_default_np(&large) == 0;
        pthread_attr_destroy(&large);
    }
    ~LargeThreadStacks()
    {
        if (m_set)
            pthread_setattr_default_np(&m_usual);
        pthread_attr_destroy(&m_usual);
    }
    bool IsSet() const { return m_set; }

private:
    pthread_attr_t m_usual{};
    bool m_set = false;
};
