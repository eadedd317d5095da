#include "effects/kernels.h"

namespace vx_portable {
#define VX_KERNEL_NAME "portable"
#define VX_KERNEL_AVX2 false
#include "effects/kernels_impl.h"
} // namespace vx_portable
