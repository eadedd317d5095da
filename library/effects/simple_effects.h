#pragma once

#include "image/pixel_interface.h"

// Point and colour effects, mirrors and the divided copies. All work in place
// and leave an image without pixels alone; written pixels have a top byte of 0.
class VELVIX_EXPORT CVelvix_SimpleEffects : public virtual CVelvix_PixelInterface {
public:
    void RedFilter();
    void GreenFilter();
    void BlueFilter();
    void Negative();
    void ConvertToGrayScale();
    // Adds the largest step up to `amount` that keeps every channel of the
    // pixel at most 255, the same for all three channels (the hue stays).
    void Brighten(unsigned char amount);
    // Adds k/255 of each channel's deviation from the channel's mean.
    void ChangeContrast(int k);
    // Maps 0..255 linearly onto d/2..255 (d expected in 0..510).
    void Normalize(double d);
    // A linear gain on every channel.
    void GammaCorrection(double gain);
    // A gain rising from 1 on the inscribed circle to 1 + 2 (gain - 1) near the
    // centre, never above `maximum`; pixels outside the circle stay.
    void CenterGradientGammaCorrection(double gain, double maximum);
    void HistogramEqualization();
    // Moves the three channels by one common amount toward their equalized values.
    void HistogramEqualizationColorBalanced();
    // Equalizes lightness, keeping each pixel's hue and saturation.
    void HistogramEqualizationHSL();
    // Pixel i takes pixel i + (i mod n) when that exists; nothing for n < 1.
    void ShiftBlur(int n);
    void VerticalMirror();
    void HorizantalMirror();
    void DivideInto2Vertical();
    void DivideInto2Horizantal();
    void Divide();
};
