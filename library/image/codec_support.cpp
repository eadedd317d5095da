#include "image/codec_support.h"

// Placeholder until the JPEG, PNG and GIF codecs land: everything fails.
bool CVelvix_JPEGAndOthersSupport::ReadCodecImage(QPainter*, const char*)
{
    return false;
}

bool CVelvix_JPEGAndOthersSupport::ReadCodecMemory(const unsigned char*, std::size_t)
{
    return false;
}

bool CVelvix_JPEGAndOthersSupport::SaveCodecImage(const char*, VxCodecFormat)
{
    return false;
}
