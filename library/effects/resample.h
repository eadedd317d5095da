#pragma once

#include "image/pixel_interface.h"

// Bilinear and B-spline resampling. The image keeps its identity; its buffer
// is replaced by one of the new size.
class VELVIX_EXPORT CVelvix_Resample : public virtual CVelvix_PixelInterface {
public:
    CVelvix_Resample() = default;
    CVelvix_Resample(const CVelvix_Resample&) : m_pResampleSource(nullptr) {}
    CVelvix_Resample& operator=(const CVelvix_Resample&) { return *this; }

    // With keepAspect the result fits inside newWidth x newHeight with the
    // picture's aspect ratio; one side equals the requested side.
    void Resample_Bilinear(int newHeight, int newWidth, bool keepAspect);
    void Resample_BSpline(int newHeight, int newWidth);

private:
    template <typename Sampler>
    void _Resample(int newHeight, int newWidth, Sampler sampler);

    // The pixels before the operation, present only while one runs.
    const VxPixel* m_pResampleSource = nullptr;
};
