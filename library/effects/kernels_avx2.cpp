#include "effects/kernels.h"

// Compiled with -mavx2 (see filters.cmake); used only after a run-time check.
namespace vx_avx2 {
#define VX_KERNEL_NAME "avx2"
#define VX_KERNEL_AVX2 true
#include "effects/kernels_impl.h"
} // namespace vx_avx2
