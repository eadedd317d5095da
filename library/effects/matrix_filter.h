#pragma once

#include "effects/support_helper.h"

enum class VxKernel3;

// Blur, sharpen, emboss and the other kernel filters; pixelization and the image signature.
// Kernel filters keep the border (one pixel, two for ReduceJaggies) and leave
// images too small for the kernel unchanged.
class VELVIX_EXPORT CVelvix_MatrixFilter : public CVelvix_SupportHelper {
public:
    void Blur();
    void GaussianBlur();
    // kind 0: the strong kernel (centre 19); any other value: centre 11.
    void Sharpen(int kind);
    void EdgeDetection();
    void EnhanceEdges();
    void EnhanceFocus();
    void EnhanceDetail();
    void ReduceJaggies();
    void Emboss();
    // Each pixel becomes the largest of its 3 x 3 neighbours (24-bit values)
    // not above the middle of their smallest and largest.
    void RemoveNoiseFilter();
    // Squares of side 2n + 1 around every (odd multiple of n) sample point.
    void Pixelize(int n);
    // An n x n grid of blocks, each painted with its average colour.
    void PixelizeBySegments(int n);
    // The averages of that grid without painting: m x m entries (m = n lowered
    // to the width, then the height) in block-row order with row stride m.
    void PixelizeBySegments_DataOnly(int n, unsigned long* out);

private:
    void _Filter3(VxKernel3 kind);
    // Block averages of the segment grid; paints them when out is null.
    void _Segments(int n, unsigned long* out);
};
