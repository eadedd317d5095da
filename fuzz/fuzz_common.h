#pragma once

#include <cstddef>
#include <cstdint>

#include "image/codec_internal.h"
#include "image/velvix.h"

// Reads every pixel of a decoded picture, so that ASan sees a buffer that
// is shorter than its size says.
inline void TouchPixels(CVelvix& image)
{
    if (!image.IsValidObject())
        return;
    volatile VxPixel sum = 0;
    const int n = image.GetWidth() * image.GetHeight();
    for (int i = 0; i < n; ++i)
        sum = sum + image.Bytes(i);
}

template <typename Decoder>
int FuzzCodec(Decoder decode, const std::uint8_t* data, std::size_t size)
{
    CVelvix image;
    VxCodecInput input;
    input.data = data;
    input.size = size;
    if (decode(image, input))
        TouchPixels(image);
    return 0;
}
