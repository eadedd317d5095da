#pragma once

#include "effects/support_helper.h"

// Blur, sharpen, emboss and the other kernel filters; pixelization and the image signature.
class VELVIX_EXPORT CVelvix_MatrixFilter : public CVelvix_SupportHelper {
public:
};
