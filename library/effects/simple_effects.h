#pragma once

#include "image/pixel_interface.h"

// Point and colour effects.
class VELVIX_EXPORT CVelvix_SimpleEffects : public virtual CVelvix_PixelInterface {
public:
};
