#pragma once

#include "image/pixel_interface.h"

// Quarter turns, flips and rotation by any angle.
class VELVIX_EXPORT CVelvix_Rotation : public virtual CVelvix_PixelInterface {
public:
};
