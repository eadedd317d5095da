#include "effects/kernels.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<const VxKernelTable*> g_forced{nullptr};

bool HasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace

const VxKernelTable& VxPortableKernels()
{
    return vx_portable::kTable;
}

const VxKernelTable* VxAvx2Kernels()
{
    static const bool available = HasAvx2();
    return available ? &vx_avx2::kTable : nullptr;
}

const VxKernelTable& VxKernels()
{
    if (const VxKernelTable* forced = g_forced.load(std::memory_order_relaxed))
        return *forced;
    static const VxKernelTable& chosen = VxAvx2Kernels() ? *VxAvx2Kernels() : VxPortableKernels();
    return chosen;
}

void VxForceKernels(const VxKernelTable* table)
{
    g_forced.store(table, std::memory_order_relaxed);
}
