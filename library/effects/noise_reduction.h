#pragma once

#include "effects/support_helper.h"

// Threshold noise reductions.
class VELVIX_EXPORT CVelvix_NoiseReduction : public CVelvix_SupportHelper {
public:
};
