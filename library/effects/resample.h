#pragma once

#include "image/pixel_interface.h"

// Bilinear and B-spline resampling.
class VELVIX_EXPORT CVelvix_Resample : public virtual CVelvix_PixelInterface {
public:
};
