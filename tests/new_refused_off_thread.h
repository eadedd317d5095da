#pragma once

// For a test program whose workers must meet the end of the memory: while
// g_newLimit is set, every operator new above that many bytes fails on
// threads other than g_sparedThread (the window's or the test's own, which
// still draws and checks). Include it in one file of the program.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>

std::atomic<std::size_t> g_newLimit{0};
std::thread::id g_sparedThread;

// From malloc, as the standard library's own: its delete frees these too.
void* operator new(std::size_t size)
{
    if (const std::size_t limit = g_newLimit.load(std::memory_order_relaxed);
        limit && size > limit && std::this_thread::get_id() != g_sparedThread)
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

#include "operator_new_companions.h"
