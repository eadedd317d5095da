#pragma once

#include <cstddef>
#include <cstdio>

#include "image/pixel_interface.h"

class QPainter;

enum class VxCodecFormat { Jpeg, Png, Gif };

// JPEG, PNG and GIF through libjpeg-turbo, libpng and giflib. Decoding goes
// by the file's content, not by its name.
class CVelvix_JPEGAndOthersSupport : public virtual CVelvix_PixelInterface {
public:
    bool ReadCodecImage(QPainter* dc, const char* path);
    bool ReadCodecMemory(const unsigned char* data, std::size_t size);
    bool SaveCodecImage(const char* path, VxCodecFormat format);
    // Encodes into an open file; the caller flushes and closes it.
    bool WriteCodecFile(std::FILE* file, VxCodecFormat format);
};
