// PNG through libpng. Every colour type and depth becomes 32-bit BGRX rows
// written straight into the bottom-up buffer; an alpha channel (or a tRNS
// colour key on grey or RGB pictures) goes to the top byte, palette
// transparency is dropped. Any libpng error, a truncated file included,
// refuses the file.
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include <png.h>

#include "image/codec_internal.h"

namespace {

// Saving favours speed: zlib level 1 with the Sub filter writes a
// 24-megapixel photograph in a fraction of the time libpng's defaults take,
// at a size close to theirs.
constexpr int kPngCompressionLevel = 1;
constexpr int kPngFilter = PNG_FILTER_SUB;

void OnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep out, png_size_t length)
{
    auto* input = static_cast<VxCodecInput*>(png_get_io_ptr(png));
    if (input->Read(out, length) != length)
        png_error(png, "unexpected end of file");
}

void WriteData(png_structp png, png_bytep data, png_size_t length)
{
    auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, file) != length)
        png_error(png, "write failed");
}

void FlushData(png_structp png)
{
    if (std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png))) != 0)
        png_error(png, "write failed");
}

struct ReadState {
    std::vector<png_bytep> rows;
    bool allocated = false;
};

} // namespace

bool VxDecodePng(CVelvix_PixelInterface& image, VxCodecInput& input)
{
    std::unique_ptr<ReadState> state(new (std::nothrow) ReadState());
    if (!state)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (state->allocated)
            image.DeleteObject();
        return false;
    }
    png_set_read_fn(png, &input, ReadData);
    png_set_user_limits(png, kVxMaxSide, kVxMaxSide);
    // The side chunks (text, profiles, gamma) are not used: skipped unread.
    // Read, a file of a few bytes whose text chunk claims a gigabyte had the
    // library take and clear one.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    if (!VxSizeAllowed(width, height)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const bool palette = colour == PNG_COLOR_TYPE_PALETTE;
    const bool key = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || key;
    if (palette)
        png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (key)
        png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_scale_16(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 4 || !VxTryResize(state->rows, height) ||
        !VxDecodeBuffer(image, int(height), int(width))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    state->allocated = true;
    VxPixel* pixels = image.GetImageData();
    for (png_uint_32 y = 0; y < height; ++y)
        state->rows[y] = reinterpret_cast<png_bytep>(pixels + std::size_t(height - 1 - y) * width);
    png_read_image(png, state->rows.data());
    // The trailing chunks are not read: the picture is complete.
    png_destroy_read_struct(&png, &info, nullptr);
    if (palette && alpha) {
        const std::size_t count = std::size_t(width) * height;
        for (std::size_t i = 0; i < count; ++i)
            pixels[i] &= 0x00FFFFFFu;
    }
    return true;
}

bool VxEncodePng(CVelvix_PixelInterface& image, std::FILE* file)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, file, WriteData, FlushData);
    const png_uint_32 width = png_uint_32(image.GetWidth()), height = png_uint_32(image.GetHeight());
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kPngCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kPngFilter);
    png_write_info(png, info);
    // Our pixels are B, G, R, unused in memory: libpng drops the fourth byte.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    const VxPixel* pixels = image.GetImageData();
    for (png_uint_32 y = 0; y < height; ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(pixels + std::size_t(height - 1 - y) * width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
