#pragma once

#include <cstdint>

#include "effects/support_helper.h"

// Painterly and geometric distortions. The mapping effects compute every
// pixel from a position in the saved copy, sampled bilinearly; pixels whose
// position falls outside the picture keep their value.
class VELVIX_EXPORT CVelvix_FineArts : public CVelvix_SupportHelper {
public:
    // Each pixel takes the most frequent colour group of the square of side
    // 2n + 1 around it; n from 1 to 5.
    void OilPaint(int n);
    // Random swaps of vertical neighbours that move larger pixel values toward
    // row 0; seeded from the clock.
    void MeltEffect();
    // The same with a chosen seed, for a repeatable result.
    void MeltEffect(unsigned int seed);
    void FishEyeEffect();
    // Turns each pixel about the centre by its distance / k radians.
    void SwirlEffect(float k);
    void ImageSolarization();
    void ReliefMap();
    void Caricature();
    // Landscape and square pictures spread the angle across the width and the
    // distance down the height; portrait pictures get the same mapping with
    // the axes exchanged.
    void CylinderMirror();
    void BathroomWindowEffect1();
    void BathroomWindowEffect2();
    void UnderWater(int wave);

    VxPixel& OldBytes(int x, int y) override { return m_pOldData[y * GetWidth() + x]; }

private:
    struct _ColorInfo {
        VxPixel color;
        std::int32_t count;
        bool used;
    };

    VxPixel _GetMostUsed(int x, int y, int n, _ColorInfo* table);
    // Points the saved copy at `copy`, a copy of the pixels in huge pages
    // (the mappings read it scattered) made on both cores.
    bool _SaveCopy(CVelvixBitmap& copy);
    template <typename Map>
    void _MapPixels(Map map);
    template <typename Shared, typename OffsetFn, typename SourceFn>
    void _MapSymmetric(bool dyRatio, OffsetFn offset, SourceFn source);
};
