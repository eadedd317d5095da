#pragma once

#include <cstdio>

#include "image/pixel_interface.h"

// Writes the 24-bit bitmap file layout of the library (pixel data at 58).
class VELVIX_EXPORT CVelvix_BitmapWriter : public virtual CVelvix_PixelInterface {
public:
    bool SaveBitmapImage(const char* path);
    // Writes to an open file; the caller flushes and closes it.
    bool WriteBitmapFile(std::FILE* file);
};
