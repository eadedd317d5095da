// JPEG through libjpeg-turbo. Decoding writes straight into the bottom-up
// 32-bit buffer (no intermediate picture), applies the EXIF orientation and
// converts CMYK/YCCK. Files that libjpeg recovers from with a warning
// (corrupt entropy data, a premature end) are accepted as it decodes them;
// errors refuse the file.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "image/codec_internal.h"
#include "image/covering_decode.h"

namespace {

// Progressive files may carry any number of scans; past this many the file
// is refused rather than decoded for minutes.
constexpr int kMaxScans = 500;
// Rows handed to libjpeg per call.
constexpr int kBatchRows = 16;

struct ErrorHandler {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorHandler*>(info->err)->jump, 1);
}

void OnOutputMessage(j_common_ptr) {}

void OnProgress(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans)
        OnError(info);
}

int Read16(const unsigned char* p, bool little)
{
    return little ? p[0] | p[1] << 8 : p[0] << 8 | p[1];
}

std::uint32_t Read32(const unsigned char* p, bool little)
{
    return little ? std::uint32_t(Read16(p, true)) | std::uint32_t(Read16(p + 2, true)) << 16
                  : std::uint32_t(Read16(p, false)) << 16 | std::uint32_t(Read16(p + 2, false));
}

// The Orientation tag (1..8) of the first EXIF block; 1 when there is none
// or it is out of range.
int ExifOrientation(j_decompress_ptr info)
{
    for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 14 || std::memcmp(m->data, "Exif\0\0", 6) != 0)
            continue;
        const unsigned char* tiff = m->data + 6;
        const std::size_t size = m->data_length - 6;
        bool little;
        if (tiff[0] == 'I' && tiff[1] == 'I')
            little = true;
        else if (tiff[0] == 'M' && tiff[1] == 'M')
            little = false;
        else
            return 1;
        if (Read16(tiff + 2, little) != 42)
            return 1;
        const std::uint32_t ifd = Read32(tiff + 4, little);
        if (ifd > size - 2)
            return 1;
        const int entries = Read16(tiff + ifd, little);
        for (int i = 0; i < entries; ++i) {
            const std::size_t at = ifd + 2 + 12 * std::size_t(i);
            if (at + 12 > size)
                break;
            if (Read16(tiff + at, little) == 0x0112 && Read16(tiff + at + 2, little) == 3) {
                const int value = Read16(tiff + at + 8, little);
                return value >= 1 && value <= 8 ? value : 1;
            }
        }
        return 1;
    }
    return 1;
}

struct Decoder {
    jpeg_decompress_struct info;
    ErrorHandler error;
    jpeg_progress_mgr progress;
    std::vector<JSAMPROW> rows;
    std::vector<VxPixel> batch;
    bool allocated = false;
};

// Ink values to a pixel. Adobe files store the inks inverted (0 = full ink).
inline VxPixel FromCmyk(const unsigned char* p, bool inverted)
{
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
    return VxPixel(b) | VxPixel(g) << 8 | VxPixel(r) << 16;
}

} // namespace

int VxJpegCoveringScale(int width, int height, int boxWidth, int boxHeight)
{
    if (width < 1 || height < 1 || boxWidth < 1 || boxHeight < 1)
        return 1;
    // The picture fitted into the box keeping its aspect ratio, in integers:
    // a rounding error must not let the reduced picture fall short.
    const long long w = width, h = height, bw = boxWidth, bh = boxHeight;
    const bool widthBound = bw * h <= bh * w;
    const long long fittedWidth = widthBound ? bw : w * bh / h;
    const long long fittedHeight = widthBound ? h * bw / w : bh;
    int chosen = 1;
    for (int denominator : {2, 4, 8}) {
        if ((w + denominator - 1) / denominator < fittedWidth || (h + denominator - 1) / denominator < fittedHeight)
            break;
        chosen = denominator;
    }
    return chosen;
}

bool VxDecodeJpeg(CVelvix_PixelInterface& image, VxCodecInput& input)
{
    std::unique_ptr<Decoder> decoder(new (std::nothrow) Decoder());
    if (!decoder)
        return false;
    Decoder& d = *decoder;
    jpeg_decompress_struct& info = d.info;
    info.err = jpeg_std_error(&d.error.manager);
    d.error.manager.error_exit = OnError;
    d.error.manager.output_message = OnOutputMessage;
    if (setjmp(d.error.jump)) {
        jpeg_destroy_decompress(&info);
        if (d.allocated)
            image.DeleteObject();
        return false;
    }
    jpeg_create_decompress(&info);
    d.progress.progress_monitor = OnProgress;
    info.progress = &d.progress;
    if (input.file)
        jpeg_stdio_src(&info, input.file);
    else
        jpeg_mem_src(&info, input.data, static_cast<unsigned long>(input.size));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (!VxSizeAllowed(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int orientation = ExifOrientation(&info);
    if (input.coverWidth > 0 && input.coverHeight > 0) {
        // The box is given as shown; a quarter turn stores it the other way.
        const bool turned = orientation >= 5;
        info.scale_num = 1;
        info.scale_denom = unsigned(VxJpegCoveringScale(int(info.image_width), int(info.image_height),
                                                        turned ? input.coverHeight : input.coverWidth,
                                                        turned ? input.coverWidth : input.coverHeight));
        input.fullWidth = int(turned ? info.image_height : info.image_width);
        input.fullHeight = int(turned ? info.image_width : info.image_height);
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool inverted = info.saw_Adobe_marker;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);

    const long width = long(info.output_width), height = long(info.output_height);
    const bool swap = orientation >= 5;
    const bool straight = orientation == 1 && !cmyk;
    if (!VxTryResize(d.rows, kBatchRows) || (!straight && !VxTryResize(d.batch, std::size_t(kBatchRows) * width)) ||
        !VxDecodeBuffer(image, int(swap ? width : height), int(swap ? height : width))) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    d.allocated = true;
    VxPixel* pixels = image.GetImageData();

    if (straight) {
        // Straight into the buffer: scanline y is buffer row height - 1 - y.
        while (info.output_scanline < info.output_height) {
            const long first = long(info.output_scanline);
            const long count = std::min<long>(kBatchRows, height - first);
            for (long i = 0; i < count; ++i)
                d.rows[i] = reinterpret_cast<JSAMPROW>(pixels + (height - 1 - first - i) * width);
            const long got = long(jpeg_read_scanlines(&info, d.rows.data(), JDIMENSION(count)));
            if (got <= 0)
                OnError(reinterpret_cast<j_common_ptr>(&info));
            // libjpeg writes 0xFF as the fourth byte; ours is 0.
            for (long i = 0; i < got; ++i) {
                VxPixel* row = reinterpret_cast<VxPixel*>(d.rows[i]);
                for (long x = 0; x < width; ++x)
                    row[x] &= 0x00FFFFFFu;
            }
        }
    } else {
        // Stored pixel (x, y) lands at base(y) + step * x in the buffer.
        std::ptrdiff_t step = 1;
        auto base = [&](long y) -> std::ptrdiff_t {
            switch (orientation) {
            case 2: return (height - 1 - y) * width + width - 1;
            case 3: return y * width + width - 1;
            case 4: return y * width;
            case 5: return (width - 1) * height + y;
            case 6: return (width - 1) * height + height - 1 - y;
            case 7: return height - 1 - y;
            case 8: return y;
            default: return (height - 1 - y) * width;
            }
        };
        switch (orientation) {
        case 2: case 3: step = -1; break;
        case 5: case 6: step = -height; break;
        case 7: case 8: step = height; break;
        default: step = 1; break;
        }
        while (info.output_scanline < info.output_height) {
            const long first = long(info.output_scanline);
            const long count = std::min<long>(kBatchRows, height - first);
            for (long i = 0; i < count; ++i)
                d.rows[i] = reinterpret_cast<JSAMPROW>(d.batch.data() + i * width);
            const long got = long(jpeg_read_scanlines(&info, d.rows.data(), JDIMENSION(count)));
            if (got <= 0)
                OnError(reinterpret_cast<j_common_ptr>(&info));
            for (long i = 0; i < got; ++i) {
                VxPixel* row = d.batch.data() + i * width;
                if (cmyk) {
                    const unsigned char* ink = reinterpret_cast<const unsigned char*>(row);
                    for (long x = 0; x < width; ++x)
                        row[x] = FromCmyk(ink + 4 * x, inverted);
                } else {
                    for (long x = 0; x < width; ++x)
                        row[x] &= 0x00FFFFFFu;
                }
            }
            // Pixel by pixel across the batch, so that a column written by
            // a rotation gets `got` neighbouring pixels at a time.
            std::ptrdiff_t at[kBatchRows];
            for (long i = 0; i < got; ++i)
                at[i] = base(first + i);
            for (long x = 0; x < width; ++x)
                for (long i = 0; i < got; ++i)
                    pixels[at[i] + step * x] = d.batch[std::size_t(i * width + x)];
        }
    }
    // Read to the end of the file: an error there refuses the file too.
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool VxEncodeJpeg(CVelvix_PixelInterface& image, std::FILE* file)
{
    struct Encoder {
        jpeg_compress_struct info;
        ErrorHandler error;
    };
    std::unique_ptr<Encoder> encoder(new (std::nothrow) Encoder());
    if (!encoder)
        return false;
    jpeg_compress_struct& info = encoder->info;
    info.err = jpeg_std_error(&encoder->error.manager);
    encoder->error.manager.error_exit = OnError;
    encoder->error.manager.output_message = OnOutputMessage;
    if (setjmp(encoder->error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    const long width = image.GetWidth(), height = image.GetHeight();
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kVxJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    VxPixel* pixels = image.GetImageData();
    JSAMPROW rows[kBatchRows];
    while (info.next_scanline < info.image_height) {
        const long first = long(info.next_scanline);
        const long count = std::min<long>(kBatchRows, height - first);
        for (long i = 0; i < count; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(pixels + (height - 1 - first - i) * width);
        jpeg_write_scanlines(&info, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
