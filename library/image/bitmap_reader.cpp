// Our own bitmap (BMP/DIB) decoder. It accepts what other programs write:
// 1, 2, 4, 8, 16, 24 and 32 bits per pixel, RLE4 and RLE8, bit-field masks
// (with alpha), top-down rows, and the OS/2 1.x/2.x, V4 and V5 headers.
// Every offset is checked against the file before it is read, and the
// picture is allocated only once the file is known to hold its pixels
// (uncompressed) or its whole run-length stream has been checked (RLE).
#include "image/bitmap_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

enum : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

std::uint16_t Get16(const unsigned char* p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// One colour channel given by a bit mask, scaled to 8 bits with rounding.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;  // mask >> shift

    // False for a mask whose bits are not contiguous.
    bool Set(std::uint32_t m)
    {
        mask = m;
        if (!m)
            return true;
        shift = 0;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
        return (max & (max + 1)) == 0;
    }
    std::uint32_t Get(std::uint32_t value) const
    {
        if (!mask)
            return 0;
        const std::uint64_t v = (value & mask) >> shift;
        return std::uint32_t((v * 255 + max / 2) / max);
    }
};

struct Header {
    long long width = 0, height = 0;  // height > 0 after reading; topDown says the order
    bool topDown = false;
    int bpp = 0;
    std::uint32_t compression = kRgb;
    bool os2v1 = false;
    Channel red, green, blue, alpha;
    bool masks = false;  // the channels come from bit-field masks
    VxPixel palette[256] = {};
    std::size_t pixels = 0;  // offset of the pixel data
};

// Reads the headers and the palette; false for anything malformed or not
// supported. Nothing is allocated here.
bool ParseHeader(const unsigned char* data, std::size_t size, Header& h)
{
    if (size < 26 || data[0] != 'B' || data[1] != 'M')
        return false;
    const std::uint32_t offset = Get32(data + 10);
    const std::uint32_t infoSize = Get32(data + 14);
    const bool windows = infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    const bool os2v2 = !windows && infoSize >= 16 && infoSize <= 64;
    if (infoSize != 12 && !windows && !os2v2)
        return false;
    if (14 + std::size_t(infoSize) > size)
        return false;
    const unsigned char* info = data + 14;
    // Fields beyond a short OS/2 2.x header read as zero.
    unsigned char full[64] = {};
    std::uint32_t clrUsed = 0;
    if (infoSize == 12) {
        h.os2v1 = true;
        h.width = Get16(info + 4);
        h.height = Get16(info + 6);
        h.bpp = Get16(info + 10);
    } else {
        std::memcpy(full, info, infoSize < 64 ? infoSize : 64);
        h.width = std::int32_t(Get32(full + 4));
        h.height = std::int32_t(Get32(full + 8));
        h.bpp = Get16(full + 14);
        h.compression = Get32(full + 16);
        clrUsed = Get32(full + 32);
        // OS/2 2.x numbers Huffman 1D as 3 and RLE24 as 4: neither is supported.
        if (os2v2 && (h.compression == 3 || h.compression == 4))
            return false;
    }
    if (h.height < 0) {
        h.height = -h.height;
        h.topDown = true;
    }
    if (!VxSizeAllowed(h.width, h.height))
        return false;

    std::size_t at = 14 + infoSize;
    switch (h.compression) {
    case kRgb:
        if (h.bpp != 1 && h.bpp != 2 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
            return false;
        break;
    case kRle8:
        if (h.bpp != 8 || h.topDown)
            return false;
        break;
    case kRle4:
        if (h.bpp != 4 || h.topDown)
            return false;
        break;
    case kBitFields:
    case kAlphaBitFields: {
        if (h.bpp != 16 && h.bpp != 32)
            return false;
        std::uint32_t m[4] = {};
        if (infoSize >= 52) {
            for (int i = 0; i < (infoSize >= 56 ? 4 : 3); ++i)
                m[i] = Get32(info + 40 + 4 * i);
        } else {
            const int count = h.compression == kAlphaBitFields ? 4 : 3;
            if (at + 4 * count > size)
                return false;
            for (int i = 0; i < count; ++i)
                m[i] = Get32(data + at + 4 * i);
            at += 4 * count;
        }
        const std::uint64_t limit = h.bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        for (std::uint32_t mask : m)
            if (mask > limit)
                return false;
        if (!h.red.Set(m[0]) || !h.green.Set(m[1]) || !h.blue.Set(m[2]) || !h.alpha.Set(m[3]))
            return false;
        h.masks = true;
        break;
    }
    default:  // embedded JPEG or PNG, and anything unknown
        return false;
    }
    if (h.compression == kRgb && h.bpp == 16) {
        h.red.Set(0x7C00);
        h.green.Set(0x03E0);
        h.blue.Set(0x001F);
        h.masks = true;
    }

    if (h.bpp <= 8) {
        const std::size_t entry = h.os2v1 ? 3 : 4;
        const std::size_t colours = std::size_t(1) << h.bpp;
        std::size_t count = (clrUsed == 0 || h.os2v1) ? colours : clrUsed;
        // A palette larger than the depth needs is fine if it is really
        // there, before the pixels; a count that cannot be is refused.
        const std::size_t room = offset > at ? (offset - at) / entry : 0;
        if (count > colours) {
            if (offset == 0 || count > room)
                return false;
            count = colours;
        }
        if (offset != 0 && count > room)
            count = room;  // a short palette: the remaining colours are black
        if (at + count * entry > size)
            return false;
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* e = data + at + i * entry;
            h.palette[i] = VxPixel(e[0]) | VxPixel(e[1]) << 8 | VxPixel(e[2]) << 16;
        }
        if (offset == 0)
            at += count * entry;
    }
    if (offset != 0) {
        if (offset < at)
            return false;
        at = offset;
    }
    if (at >= size)
        return false;
    h.pixels = at;
    return true;
}

// Checks a whole run-length stream without writing anything: every run and
// literal block stays inside its row, every delta inside the picture, and
// the stream ends with end-of-bitmap or once the top row is complete.
bool CheckRle(const unsigned char* p, std::size_t n, long long width, long long height, bool four)
{
    long long x = 0, y = 0;
    std::size_t i = 0;
    while (y < height) {
        if (i + 2 > n)
            return false;
        const unsigned count = p[i], code = p[i + 1];
        i += 2;
        if (count) {
            if (x + count > width)
                return false;
            x += count;
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (i + 2 > n)
                return false;
            x += p[i];
            y += p[i + 1];
            i += 2;
            if (x > width || y > height || (y == height && x > 0))
                return false;
        } else {
            if (x + code > width)
                return false;
            const std::size_t bytes = four ? (code + 1) / 2 : code;
            i += bytes + (bytes & 1);
            if (i > n)
                return false;
            x += code;
        }
    }
    return true;
}

void DecodeRle(const unsigned char* p, std::size_t n, const Header& h, VxPixel* out, bool four)
{
    const long long width = h.width;
    long long x = 0, y = 0;
    std::size_t i = 0;
    while (y < h.height && i + 2 <= n) {
        const unsigned count = p[i], code = p[i + 1];
        i += 2;
        VxPixel* row = out + y * width;
        if (count) {
            if (four) {
                const VxPixel a = h.palette[code >> 4], b = h.palette[code & 15];
                for (unsigned k = 0; k < count; ++k)
                    row[x + k] = (k & 1) ? b : a;
            } else {
                const VxPixel a = h.palette[code];
                for (unsigned k = 0; k < count; ++k)
                    row[x + k] = a;
            }
            x += count;
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {
            const unsigned char* src = p + i;
            for (unsigned k = 0; k < code; ++k)
                row[x + k] = h.palette[four ? ((k & 1) ? src[k / 2] & 15 : src[k / 2] >> 4) : src[k]];
            const std::size_t bytes = four ? (code + 1) / 2 : code;
            i += bytes + (bytes & 1);
            x += code;
        }
    }
}

void DecodeRow(const unsigned char* src, const Header& h, VxPixel* out)
{
    const long long width = h.width;
    switch (h.bpp) {
    case 1:
    case 2:
    case 4:
    case 8: {
        const int bpp = h.bpp, perByte = 8 / bpp;
        const unsigned mask = (1u << bpp) - 1;
        for (long long x = 0; x < width; ++x) {
            const unsigned byte = src[x / perByte];
            const int shift = 8 - bpp * (int(x % perByte) + 1);
            out[x] = h.palette[(byte >> shift) & mask];
        }
        break;
    }
    case 16:
        for (long long x = 0; x < width; ++x) {
            const std::uint32_t v = Get16(src + 2 * x);
            out[x] = h.blue.Get(v) | h.green.Get(v) << 8 | h.red.Get(v) << 16 | h.alpha.Get(v) << 24;
        }
        break;
    case 24:
        for (long long x = 0; x < width; ++x, src += 3)
            out[x] = VxPixel(src[0]) | VxPixel(src[1]) << 8 | VxPixel(src[2]) << 16;
        break;
    case 32:
        if (!h.masks) {
            // The fourth byte (alpha) is kept as it is.
            std::memcpy(out, src, std::size_t(width) * 4);
        } else if (h.red.mask == 0xFF0000 && h.green.mask == 0xFF00 && h.blue.mask == 0xFF &&
                   (h.alpha.mask == 0 || h.alpha.mask == 0xFF000000u)) {
            const VxPixel keep = h.alpha.mask ? 0xFFFFFFFFu : 0x00FFFFFFu;
            for (long long x = 0; x < width; ++x)
                out[x] = Get32(src + 4 * x) & keep;
        } else {
            for (long long x = 0; x < width; ++x) {
                const std::uint32_t v = Get32(src + 4 * x);
                out[x] = h.blue.Get(v) | h.green.Get(v) << 8 | h.red.Get(v) << 16 | h.alpha.Get(v) << 24;
            }
        }
        break;
    }
}

} // namespace

int CVelvix_CBitmapReader::ReadBitmapMemory(const unsigned char* data, std::size_t size)
{
    if (!data)
        return 0;
    auto header = std::make_unique<Header>();
    Header& h = *header;
    if (!ParseHeader(data, size, h))
        return 0;
    const unsigned char* pixels = data + h.pixels;
    const std::size_t available = size - h.pixels;

    if (h.compression == kRle8 || h.compression == kRle4) {
        const bool four = h.compression == kRle4;
        if (!CheckRle(pixels, available, h.width, h.height, four))
            return 0;
        if (!RawCreateImage(int(h.height), int(h.width)))
            return 0;
        // Pixels the stream skips (deltas, early end of line or bitmap) stay black.
        DecodeRle(pixels, available, h, GetImageData(), four);
        return 1;
    }

    // Every row but the last must be complete with its padding; the last
    // needs only its pixel bytes. Shorter files are refused.
    const std::uint64_t rowBytes = (std::uint64_t(h.width) * h.bpp + 7) / 8;
    const std::uint64_t stride = (std::uint64_t(h.width) * h.bpp + 31) / 32 * 4;
    if (stride * std::uint64_t(h.height - 1) + rowBytes > available)
        return 0;
    if (!RawCreateImage(int(h.height), int(h.width)))
        return 0;
    VxPixel* out = GetImageData();
    for (long long r = 0; r < h.height; ++r) {
        const long long y = h.topDown ? h.height - 1 - r : r;
        DecodeRow(pixels + stride * r, h, out + y * h.width);
    }
    return 1;
}

int CVelvix_CBitmapReader::ReadBitmapImage(QPainter*, const char* path)
{
    if (!path)
        return 0;
    // O_NONBLOCK: a FIFO must not block; regular files read as usual.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat info {};
    // Nothing we accept is larger than the biggest picture at 32 bits plus
    // generous room for headers, palette and profiles.
    constexpr long long kMaxFile = kVxMaxPixels * 4 + (64LL << 20);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 || info.st_size > kMaxFile) {
        close(fd);
        return 0;
    }
    const std::size_t size = std::size_t(info.st_size);
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size]);
    std::size_t done = 0;
    while (bytes && done < size) {
        const ssize_t got = read(fd, bytes.get() + done, size - done);
        if (got <= 0)
            break;
        done += std::size_t(got);
    }
    close(fd);
    if (!bytes || done != size)
        return 0;
    return ReadBitmapMemory(bytes.get(), size);
}
