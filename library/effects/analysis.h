#pragma once

#include "image/pixel_interface.h"

// Histograms.
class VELVIX_EXPORT CVelvix_Analysis : public virtual CVelvix_PixelInterface {
public:
};
