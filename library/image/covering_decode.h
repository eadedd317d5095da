#pragma once

#include "velvix_export.h"

class CVelvix;

// Decoding for thumbnails: a JPEG needs no more than the size it is shown
// at, and decodes several times faster at a reduced scale.

// The denominator (1, 2, 4 or 8) of the smallest JPEG scale at which a
// picture of width x height, as stored, still covers the picture fitted
// into a box of boxWidth x boxHeight. libjpeg rounds scaled sides up.
VELVIX_EXPORT int VxJpegCoveringScale(int width, int height, int boxWidth, int boxHeight);

// As CVelvix::ReadImage (same extension rules, same readers), but a JPEG
// decodes at the smallest scale (1/2, 1/4, 1/8) whose picture still covers
// a box of width x height. fullWidth/fullHeight (when given) receive the
// size of the picture at full scale, as shown. 1 on success, 0 otherwise.
VELVIX_EXPORT int VxReadImageCovering(CVelvix& image, const char* path, int width, int height,
                                      int* fullWidth = nullptr, int* fullHeight = nullptr);
