#pragma once

#include "effects/support_helper.h"

// Painterly and geometric distortions.
class VELVIX_EXPORT CVelvix_FineArts : public CVelvix_SupportHelper {
public:
};
