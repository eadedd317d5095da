#pragma once

#include "image/pixel_interface.h"

// Sobel, Prewitt and Kirsh edge images.
class VELVIX_EXPORT CVelvix_SobelEdgeDetector : public virtual CVelvix_PixelInterface {
public:
};
