#pragma once

#include <cstddef>

#include "image/pixel_interface.h"

class QPainter;

// Reads bitmap (BMP/DIB) files of every common variant into the 32-bit buffer.
class VELVIX_EXPORT CVelvix_CBitmapReader : public virtual CVelvix_PixelInterface {
public:
    int ReadBitmapImage(QPainter* dc, const char* path);
    // Decodes a bitmap file held in memory; 1 on success, 0 (image unchanged
    // before the buffer is made, empty after) on any malformed input.
    int ReadBitmapMemory(const unsigned char* data, std::size_t size);
    // Loads ":/bitmaps/<id>.bmp" from the program's Qt resources.
    int LoadBitmapImage(unsigned int resourceId);
};
