#pragma once

#include "effects/support_helper.h"

// Threshold noise reductions: each pixel is compared with the average of the
// square of side 2 area + 1 around it and, when it passes the test, replaced by
// the average of the square reaching ceil(replaceArea / 2) pixels (at least 1)
// to each side, so 1 and 2 give the 3 x 3 average. Every average reads the
// unchanged image. The exclude-edges variants keep every pixel that has a
// strong Sobel edge (grey level 236 or more) within the comparison square.
class VELVIX_EXPORT CVelvix_NoiseReduction : public CVelvix_SupportHelper {
public:
    // Replaces pixels whose channels all differ from the area average by less than threshold.
    void AveragingNoiseReductionWithThreshold(int area, int threshold, int replaceArea);
    // Replaces pixels with a channel differing from the area average by more than threshold.
    void AveragingNoiseReductionWithReverseThreshold(int area, int threshold, int replaceArea);
    void AveragingNoiseReductionWithThresholdExcludeEdges(int area, int threshold, int replaceArea);
    void AveragingNoiseReductionWithReverseThresholdExcludeEdges(int area, int threshold, int replaceArea);

    // The half side of the replacement square for a replaceArea value.
    static int ReplacementHalfSide(int replaceArea) { return replaceArea <= 2 ? 1 : replaceArea / 2 + replaceArea % 2; }

private:
    void _Reduce(int area, int threshold, int replaceArea, bool reverse, bool excludeEdges);
};
