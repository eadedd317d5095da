#pragma once

#include "image/pixel_interface.h"

// Quarter turns, flips and rotation by any angle. Row 0 is the bottom row of
// the picture, so SimpleRotate(true) and a negative angle turn it
// counter-clockwise on screen.
class VELVIX_EXPORT CVelvix_Rotation : public virtual CVelvix_PixelInterface {
public:
    CVelvix_Rotation() = default;
    CVelvix_Rotation(const CVelvix_Rotation&) : m_pRotationSource(nullptr) {}
    CVelvix_Rotation& operator=(const CVelvix_Rotation&) { return *this; }

    void SimpleRotate(bool left);
    // vertical: mirror about the vertical axis (each row reversed).
    void SimpleFlip(bool vertical);
    // Rotates about the centre by whole degrees and enlarges the canvas so
    // that the corners stay visible; method 0 bilinear, otherwise B-spline.
    void RotateAngle(int angle, int method);

private:
    // The half turn with bilinear sampling: the point mirror, centred on a
    // black canvas `pad` pixels wider on every side.
    void _MirrorOntoCanvas(int pad);
    // The pixels before the operation, present only while one runs.
    const VxPixel* m_pRotationSource = nullptr;
};
