// GIF through giflib. The picture is the first frame composed on the
// logical screen as a single-image reader shows it: the screen filled with
// the background colour of the global colour table (black without one), the
// frame drawn at its offset and clipped to the screen, every frame pixel in
// its table colour (palette transparency is dropped, as for every palette
// picture). The rest of the file must be well-formed too: a file that giflib
// cannot read to its end is refused, as a truncated one is.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <gif_lib.h>

#include "image/codec_internal.h"

namespace {

// Frames after the first are decoded only to check them; past this many
// pixels their compressed data is merely walked over.
constexpr long long kCheckBudget = kVxMaxPixels;

int ReadGif(GifFileType* gif, GifByteType* out, int count)
{
    auto* input = static_cast<VxCodecInput*>(gif->UserData);
    return count > 0 ? int(input->Read(out, std::size_t(count))) : 0;
}

int WriteGif(GifFileType* gif, const GifByteType* data, int count)
{
    auto* file = static_cast<std::FILE*>(gif->UserData);
    return count > 0 ? int(std::fwrite(data, 1, std::size_t(count), file)) : 0;
}

struct GifCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

VxPixel Colour(const GifColorType& c)
{
    return VxPixel(c.Blue) | VxPixel(c.Green) << 8 | VxPixel(c.Red) << 16;
}

bool SkipImageData(GifFileType* gif)
{
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
        return false;
    while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
            return false;
    return true;
}

// Frame row of the n-th line of an interlaced frame (passes 0/8, 4/8, 2/4, 1/2).
int InterlacedRow(int n, int height)
{
    const int pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
    if (n < pass1)
        return n * 8;
    n -= pass1;
    if (n < pass2)
        return 4 + n * 8;
    n -= pass2;
    if (n < pass3)
        return 2 + n * 4;
    return 1 + (n - pass3) * 2;
}

// `line` holds one frame row.
bool DrawFirstFrame(CVelvix_PixelInterface& image, GifFileType* gif, std::vector<GifPixelType>& line)
{
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map)
        return false;
    VxPixel colours[256] = {};  // indices beyond the table are black
    for (int i = 0; i < map->ColorCount && i < 256; ++i)
        colours[i] = Colour(map->Colors[i]);
    const int screenWidth = image.GetWidth(), screenHeight = image.GetHeight();
    VxPixel* pixels = image.GetImageData();
    const int width = frame.Width, height = frame.Height;
    for (int n = 0; n < height; ++n) {
        if (DGifGetLine(gif, line.data(), width) == GIF_ERROR)
            return false;
        const long long y = (long long)frame.Top + (frame.Interlace ? InterlacedRow(n, height) : n);
        if (y >= screenHeight)
            continue;
        VxPixel* row = pixels + std::size_t(screenHeight - 1 - y) * screenWidth;
        const int left = frame.Left;
        const int count = left >= screenWidth ? 0 : std::min(width, screenWidth - left);
        for (int x = 0; x < count; ++x)
            row[left + x] = colours[line[std::size_t(x)]];
    }
    return true;
}

} // namespace

bool VxDecodeGif(CVelvix_PixelInterface& image, VxCodecInput& input)
{
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadGif, &error));
    if (!gif || !VxSizeAllowed(gif->SWidth, gif->SHeight))
        return false;
    VxPixel background = 0;
    if (gif->SColorMap && gif->SBackGroundColor < gif->SColorMap->ColorCount)
        background = Colour(gif->SColorMap->Colors[gif->SBackGroundColor]);

    bool drawn = false, allocated = false;
    long long budget = kCheckBudget;
    std::vector<GifPixelType> scratch;
    auto fail = [&] {
        if (allocated)
            image.DeleteObject();
        return false;
    };
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return fail();
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return fail();
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return fail();
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR)
            return fail();
        const GifImageDesc& frame = gif->Image;
        const long long area = (long long)frame.Width * frame.Height;
        if (frame.Width < 0 || frame.Height < 0 || (area > 0 && !VxSizeAllowed(frame.Width, frame.Height)))
            return fail();
        if (!drawn) {
            if (!VxTryResize(scratch, std::size_t(frame.Width)) || !image.RawCreateImage(gif->SHeight, gif->SWidth))
                return false;
            allocated = true;
            VxPixel* pixels = image.GetImageData();
            const std::size_t count = std::size_t(gif->SWidth) * gif->SHeight;
            for (std::size_t i = 0; i < count; ++i)
                pixels[i] = background;
            drawn = true;
            // A frame of no pixels leaves the background.
            if (area == 0 ? !SkipImageData(gif.get()) : !DrawFirstFrame(image, gif.get(), scratch))
                return fail();
        } else if (area > 0 && area <= budget) {
            budget -= area;
            if (!VxTryResize(scratch, std::size_t(frame.Width)))
                return fail();
            for (int n = 0; n < frame.Height; ++n)
                if (DGifGetLine(gif.get(), scratch.data(), frame.Width) == GIF_ERROR)
                    return fail();
        } else if (!SkipImageData(gif.get())) {
            return fail();
        }
    }
    if (!drawn)
        return false;  // no image in the file
    return true;
}

namespace {

// Exact palette for a picture of at most 256 colours: an open-addressing
// table from colour to index; false once a 257th colour appears.
class ExactPalette {
public:
    bool Build(const VxPixel* pixels, std::size_t count)
    {
        std::memset(m_keys, 0, sizeof m_keys);
        for (std::size_t i = 0; i < count; ++i)
            if (Index(pixels[i] & 0xFFFFFF, true) < 0)
                return false;
        return true;
    }
    int Index(VxPixel colour, bool add = false)
    {
        const std::uint32_t key = colour + 1;
        unsigned slot = (key * 2654435761u) >> 22;
        for (;; slot = (slot + 1) & 1023) {
            if (m_keys[slot] == key)
                return m_index[slot];
            if (m_keys[slot] == 0) {
                if (!add || m_count == 256)
                    return -1;
                m_keys[slot] = key;
                m_index[slot] = m_count;
                m_colours[m_count++] = colour;
                return m_index[slot];
            }
        }
    }
    int Count() const { return m_count; }
    VxPixel Colour(int i) const { return m_colours[i]; }

private:
    std::uint32_t m_keys[1024];
    int m_index[1024];
    VxPixel m_colours[256];
    int m_count = 0;
};

} // namespace

bool VxEncodeGif(CVelvix_PixelInterface& image, std::FILE* file)
{
    const int width = image.GetWidth(), height = image.GetHeight();
    const VxPixel* pixels = image.GetImageData();
    const std::size_t count = std::size_t(width) * height;

    GifColorType colours[256] = {};
    int colourCount = 0;
    std::unique_ptr<ExactPalette> exact(new (std::nothrow) ExactPalette());
    std::vector<GifByteType> quantized;  // indices, top row first, when quantized
    std::vector<GifPixelType> line;
    if (!exact || !VxTryResize(line, std::size_t(width)))
        return false;
    if (exact->Build(pixels, count)) {
        colourCount = exact->Count();
        for (int i = 0; i < colourCount; ++i) {
            const VxPixel c = exact->Colour(i);
            colours[i] = GifColorType{GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)};
        }
    } else {
        std::vector<GifByteType> red, green, blue;
        if (!VxTryResize(red, count) || !VxTryResize(green, count) || !VxTryResize(blue, count) ||
            !VxTryResize(quantized, count))
            return false;
        for (int y = 0; y < height; ++y) {
            const VxPixel* row = pixels + std::size_t(height - 1 - y) * width;
            const std::size_t at = std::size_t(y) * width;
            for (int x = 0; x < width; ++x) {
                red[at + x] = GifByteType(row[x] >> 16);
                green[at + x] = GifByteType(row[x] >> 8);
                blue[at + x] = GifByteType(row[x]);
            }
        }
        colourCount = 256;
        if (GifQuantizeBuffer(unsigned(width), unsigned(height), &colourCount, red.data(), green.data(),
                              blue.data(), quantized.data(), colours) == GIF_ERROR)
            return false;
    }
    int bits = 1;
    while ((1 << bits) < colourCount)
        ++bits;
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours);
    if (!map)
        return false;

    int error = 0;
    GifFileType* gif = EGifOpen(file, WriteGif, &error);
    if (!gif) {
        GifFreeMapObject(map);
        return false;
    }
    bool ok = EGifPutScreenDesc(gif, width, height, bits, 0, map) != GIF_ERROR &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
    GifFreeMapObject(map);
    for (int y = 0; ok && y < height; ++y) {
        if (quantized.empty()) {
            const VxPixel* row = pixels + std::size_t(height - 1 - y) * width;
            for (int x = 0; x < width; ++x)
                line[std::size_t(x)] = GifPixelType(exact->Index(row[x] & 0xFFFFFF));
            ok = EGifPutLine(gif, line.data(), width) != GIF_ERROR;
        } else {
            ok = EGifPutLine(gif, quantized.data() + std::size_t(y) * width, width) != GIF_ERROR;
        }
    }
    return EGifCloseFile(gif, &error) != GIF_ERROR && ok;
}
