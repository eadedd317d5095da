#pragma once

#include "image/pixel_interface.h"

// Similarity of two image signatures.
class VELVIX_EXPORT CVelvix_ImageDiff : public virtual CVelvix_PixelInterface {
public:
};
