#pragma once

#include "image/pixel_interface.h"

// Histograms.
class VELVIX_EXPORT CVelvix_Analysis : public virtual CVelvix_PixelInterface {
public:
    // Counts every value of red, green and blue; max is the largest count. An
    // image without pixels writes nothing.
    void GetHistogram(int red[256], int green[256], int blue[256], int& max);
};
