#pragma once

#include "image/pixel_interface.h"

// Red-eye reduction: finds the strongly red pixel nearest the centre and
// lowers the red of the region grown ring by ring around it. Meant for a
// selection drawn around one eye.
class VELVIX_EXPORT CVelvix_RedEye : public virtual CVelvix_PixelInterface {
public:
    void RedEyeReduce();

private:
    void _FixRedEye(int x, int y);
    bool _FixRedEyePixel(int x, int y);
};
