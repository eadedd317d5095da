#pragma once

#include "image/pixel_interface.h"

// Similarity of two image signatures (arrays of 0x00RRGGBB colours).
class VELVIX_EXPORT CVelvix_ImageDiff : public virtual CVelvix_PixelInterface {
public:
    // The percentage (0..100, truncated) of the `count` entry pairs whose
    // colours differ by 5 % or more; 0 when count < 1.
    int GetImageDiffPercentage(unsigned long* first, unsigned long* second, int count);

protected:
    CVelvix_ImageDiff() = default;
    ~CVelvix_ImageDiff() override = default;

private:
    // (|dr| + |dg| + |db|) / 765 in percent.
    double _GetPixelDeviationPercentage(unsigned long a, unsigned long b);
};
