#pragma once

// Shared plumbing of the JPEG, PNG and GIF codecs (one file per codec).
#include <cstddef>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <vector>

#include "image/pixel_interface.h"

// Where a decoder reads from: an open file or a block of memory.
struct VxCodecInput {
    std::FILE* file = nullptr;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    // When set, a JPEG may be decoded at a reduced scale whose picture still
    // covers a box of this size (fitted with its aspect ratio).
    int coverWidth = 0;
    int coverHeight = 0;
    // Set by a reduced-scale decode: the picture's full size as shown.
    int fullWidth = 0;
    int fullHeight = 0;

    // Up to `count` bytes; fewer only at the end of the input or on an error.
    std::size_t Read(void* out, std::size_t count);
};

// Each decoder fills `image` from the input and returns false on any error.
// The image is left as it was when the error comes before the new picture is
// allocated, and empty after that.
bool VxDecodeJpeg(CVelvix_PixelInterface& image, VxCodecInput& input);
bool VxDecodePng(CVelvix_PixelInterface& image, VxCodecInput& input);
bool VxDecodeGif(CVelvix_PixelInterface& image, VxCodecInput& input);

// The buffer for a decoder that writes every pixel: a picture of the same
// size keeps its buffer (no new allocation, no page faults on first touch),
// any other gets a new one.
inline bool VxDecodeBuffer(CVelvix_PixelInterface& image, int height, int width)
{
    if (image.IsValidObject() && image.GetWidth() == width && image.GetHeight() == height)
        return true;
    return image.RawCreateImage(height, width);
}

// Work buffers of the codecs grow with the picture. One that cannot be had
// fails the read or save: an exception would escape the C libraries' error
// handling (leaking their state) and end a worker thread's program.
template <typename T>
bool VxTryResize(std::vector<T>& buffer, std::size_t size) noexcept
{
    try {
        buffer.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Reads a JPEG, PNG, GIF or bitmap file by its content, a JPEG at the
// smallest scale covering coverWidth x coverHeight when those are set.
bool VxReadCodecFile(CVelvix_PixelInterface& image, const char* path, int coverWidth, int coverHeight,
                     int* fullWidth, int* fullHeight);

// Each encoder writes the picture (the top byte of the pixels ignored) to an
// open file and returns false on any error, including a failed write.
bool VxEncodeJpeg(CVelvix_PixelInterface& image, std::FILE* file);
bool VxEncodePng(CVelvix_PixelInterface& image, std::FILE* file);
bool VxEncodeGif(CVelvix_PixelInterface& image, std::FILE* file);

// The JPEG quality of saved files.
constexpr int kVxJpegQuality = 90;
