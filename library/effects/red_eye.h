#pragma once

#include "image/pixel_interface.h"

// Red-eye reduction inside a rectangle.
class VELVIX_EXPORT CVelvix_RedEye : public virtual CVelvix_PixelInterface {
public:
};
