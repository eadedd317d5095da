#pragma once

#include "image/pixel_interface.h"

// Scanner acquisition; the session itself is process-wide. The instance
// operation trims the dark frame a flatbed scan leaves around the picture.
class VELVIX_EXPORT CVelvix_Twain : public virtual CVelvix_PixelInterface {
public:
    // Removes dark rows and columns at the edges (channel averages all below
    // tolerance). False when nothing is left or the image is empty.
    bool AutoCropForScannedImage(int tolerance);
};
