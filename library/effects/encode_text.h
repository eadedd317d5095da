#pragma once

#include "image/pixel_interface.h"

// Text hidden in the low bits of the pixels.
class VELVIX_EXPORT CVelvix_EncodeText : public virtual CVelvix_PixelInterface {
public:
};
