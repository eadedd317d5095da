#pragma once

// Row kernels of the neighbourhood filters, compiled once for the baseline
// instruction set and once for AVX2; VxKernels() picks one at run time.
// Internal to the library.
#include <cstdint>

#include "image/pixel_interface.h"

enum class VxKernel3 {
    Blur,
    GaussianBlur,
    Sharpen,
    Sharpen1,
    EdgeDetection,
    EnhanceEdges,
    EnhanceFocus,
    EnhanceDetail,
    Emboss,
};

struct VxKernelTable {
    // Output row y from the original rows y - 1, y, y + 1: columns 1 .. width - 2.
    void (*convolve3)(VxKernel3 kind, const VxPixel* above, const VxPixel* row, const VxPixel* below,
                      VxPixel* out, int width);
    // The 5 x 5 jaggy kernel: rows[0..4] are the original rows y - 2 .. y + 2; columns 2 .. width - 3.
    void (*reduceJaggies)(const VxPixel* const* rows, VxPixel* out, int width);
    void (*removeNoise)(const VxPixel* above, const VxPixel* row, const VxPixel* below, VxPixel* out, int width);
    // Gradient edge image (method 0 Sobel, 1 Prewitt, 2 Kirsh): grey magnitude
    // when !useThreshold, else black where a channel magnitude exceeds threshold.
    void (*edges)(int method, bool useThreshold, int threshold, const VxPixel* above, const VxPixel* row,
                  const VxPixel* below, VxPixel* out, int width);
    const char* name;
    bool avx2;  // the point effects pick their AVX2 loops along with it
};

// Marks a function to be compiled for AVX2 besides the baseline copy; called
// only when VxKernels().avx2 says so.
#if defined(__x86_64__) || defined(__i386__)
#define VX_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define VX_TARGET_AVX2
#endif

const VxKernelTable& VxKernels();
const VxKernelTable& VxPortableKernels();
// Null when the processor lacks AVX2.
const VxKernelTable* VxAvx2Kernels();
// Tests run the filters on each table in turn; null restores the automatic choice.
void VxForceKernels(const VxKernelTable* table);

namespace vx_portable {
extern const VxKernelTable kTable;
}
namespace vx_avx2 {
extern const VxKernelTable kTable;
}
