#pragma once

#include "image/pixel_interface.h"

// Scanner acquisition; the session itself is process-wide.
class VELVIX_EXPORT CVelvix_Twain : public virtual CVelvix_PixelInterface {
public:
};
