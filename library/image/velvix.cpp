#include "image/velvix.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "image/parallel.h"

namespace {

// Buffers above this size are mapped: fresh pages are zero without a pass,
// and huge pages cut the cost of the first touch.
constexpr std::size_t kMapThreshold = 1u << 20;
constexpr std::size_t kHugePage = 2u << 20;

constexpr float kLightnessScale = kVxLightnessScale;

} // namespace

bool CVelvixBitmap::Allocate(std::size_t pixels)
{
    Free();
    if (pixels == 0)
        return false;
    const std::size_t bytes = pixels * sizeof(VxPixel);
    if (bytes >= kMapThreshold) {
        const std::size_t mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return false;
        madvise(p, mapped, MADV_HUGEPAGE);
        m_pData = static_cast<VxPixel*>(p);
        m_nMappedBytes = mapped;
    } else {
        m_pData = static_cast<VxPixel*>(std::calloc(pixels, sizeof(VxPixel)));
        if (!m_pData)
            return false;
    }
    m_nPixels = pixels;
    return true;
}

void CVelvixBitmap::Free()
{
    if (m_nMappedBytes)
        munmap(m_pData, m_nMappedBytes);
    else
        std::free(m_pData);
    m_pData = nullptr;
    m_nPixels = 0;
    m_nMappedBytes = 0;
}

CVelvix::CVelvix() = default;

CVelvix::CVelvix(const CVelvix& source) : CVelvix()
{
    *this = source;
}

CVelvix::~CVelvix() = default;

void CVelvix::Swap(CVelvix& other) noexcept
{
    m_Bitmap.Swap(other.m_Bitmap);
    std::swap(m_Info, other.m_Info);
    std::swap(m_pData, other.m_pData);
}

CVelvix& CVelvix::operator=(const CVelvix& source)
{
    if (this == &source)
        return *this;
    const int width = source.m_Info.bmWidth, height = source.m_Info.bmHeight;
    // Same size: overwrite the buffer in place (the undo ring copies between
    // images of one size all the time); otherwise make a new one.
    const bool reuse = source.m_pData && m_pData && m_Info.bmWidth == width && m_Info.bmHeight == height;
    if (!reuse) {
        DeleteObject();
        if (!source.m_pData || !RawCreateImage(height, width))
            return *this;
    }
    m_Info = source.m_Info;
    m_Info.bmBits = m_pData;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    VxPixel* target = m_pData;
    const VxPixel* from = source.m_pData;
    VxParallelRanges(pixels, pixels >= (1u << 20), [&](std::size_t begin, std::size_t end) {
        std::memcpy(target + begin, from + begin, (end - begin) * sizeof(VxPixel));
    });
    return *this;
}

void CVelvix::DeleteObject()
{
    m_pData = nullptr;
    m_Info.bmBits = nullptr;
    m_Bitmap.Free();
}

bool CVelvix::RawCreateImage(int height, int width)
{
    DeleteObject();
    if (!VxSizeAllowed(width, height))
        return false;
    if (!m_Bitmap.Allocate(std::size_t(width) * std::size_t(height)))
        return false;
    m_pData = m_Bitmap.Data();
    m_Info = VxBitmapInfo{0, width, height, width * 4, 1, 32, m_pData};
    return true;
}

unsigned char* CVelvix::Create24BitDWORDAlignedBuffer(int& size)
{
    size = 0;
    if (!IsValidObject())
        return nullptr;
    const int width = m_Info.bmWidth, height = m_Info.bmHeight;
    const int padding = width & 3;
    const std::size_t rowBytes = std::size_t(width) * 3 + padding;
    size = int(rowBytes * height);
    auto* block = new (std::nothrow) unsigned char[rowBytes * height];
    if (!block)
        return nullptr;
    const VxPixel* pixels = m_pData;
    VxParallelRanges(std::size_t(height), std::size_t(width) * height >= (1u << 18),
                     [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) {
            const VxPixel* row = pixels + y * width;
            unsigned char* out = block + y * rowBytes;
            int x = 0;
            // Four bytes at a time; the fourth is overwritten by the next pixel.
            for (; x + 1 < width; ++x, out += 3)
                std::memcpy(out, &row[x], 4);
            for (; x < width; ++x, out += 3) {
                out[0] = row[x] & 0xFF;
                out[1] = (row[x] >> 8) & 0xFF;
                out[2] = (row[x] >> 16) & 0xFF;
            }
            std::memset(out, 0, padding);
        }
    });
    return block;
}

VxPixel& CVelvix::PolarBytes(float radius, float angle)
{
    int x = GetHalfWidth() + int(radius * std::cos(angle));
    int y = GetHalfHeight() + int(radius * std::sin(angle));
    if (x >= m_Info.bmWidth)
        x = m_Info.bmWidth - 1;
    if (y >= m_Info.bmHeight)
        y = m_Info.bmHeight - 1;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    return Bytes(x, y);
}

float CVelvix::GetRadius(int x, int y)
{
    return std::sqrt(float(x * x + y * y));
}

float CVelvix::GetAngle(int x, int y)
{
    return std::atan(float(y) / float(x));
}

void CVelvix::CartesianToPolar(int x, int y, float& radius, float& angle)
{
    radius = GetRadius(x, y);
    angle = GetAngle(x, y);
}

void CVelvix::PolarToCartesian(float radius, float angle, int& x, int& y)
{
    x = int(radius * std::cos(angle));
    y = int(radius * std::sin(angle));
}

void CVelvix::fPolarToCartesian(float radius, float angle, float& x, float& y)
{
    // Products in double, rounded once: the rotation margins depend on it (a
    // 4 x 2 picture turned by 90 degrees has its corner at exactly 2.0, where
    // single precision gives 2.0000002 and a margin one pixel too wide).
    x = float(double(radius) * std::cos(double(angle)));
    y = float(double(radius) * std::sin(double(angle)));
}

float CVelvix::GetSafeRadius()
{
    if (GetHalfWidth() < GetHalfHeight())
        return float(m_Info.bmWidth - GetHalfWidth());
    return float(m_Info.bmHeight - GetHalfHeight());
}

void CVelvix::_GetHSL(VxPixel pixel, float& h, float& s, float& l)
{
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const int maxC = std::max(r, std::max(g, b)), minC = std::min(r, std::min(g, b));
    const float d = float(maxC - minC);
    l = float(maxC + minC) * kLightnessScale;
    if (maxC == minC) {
        h = 0;
        s = 0;
        return;
    }
    s = l <= 0.5f ? d / float(maxC + minC) : d / float(510 - maxC - minC);
    const float rc = float(maxC - r) / d, gc = float(maxC - g) / d, bc = float(maxC - b) / d;
    if (r == maxC)
        h = (bc - gc + 6) * 60;
    if (g == maxC)
        h = (rc - bc + 2) * 60;
    if (b == maxC)
        h = (gc - rc + 4) * 60;
    if (h > 360)
        h = h - 360;
}

namespace {

// The low 8 bits of trunc(v). A float of magnitude 2^31 or more is a multiple
// of 256, so they are 0, as they are taken to be for a NaN; converting such a
// value to int is undefined.
unsigned LowByte(float v)
{
    return v > -2147483648.0f && v < 2147483648.0f ? unsigned(int(v)) & 0xFF : 0;
}

unsigned HslChannel(float p, float q, float t)
{
    if (t > 360)
        t = t - 360;
    else if (t < 0)
        t = t + 360;
    float c;
    if (t < 60)
        c = p + (q - p) * t / 60;
    else if (t < 180)
        c = q;
    else if (t < 240)
        c = p + (q - p) * (240 - t) / 60;
    else
        c = p;
    return LowByte(c * 255);
}

} // namespace

VxPixel CVelvix::_SetHSL(float h, float s, float l)
{
    if (s == 0) {
        const unsigned v = LowByte(l * 255);
        return v * 0x010101u;
    }
    const float q = l <= 0.5f ? l * (1 + s) : l + s - l * s;
    const float p = 2 * l - q;
    return (HslChannel(p, q, h + 120) << 16) | (HslChannel(p, q, h) << 8) | HslChannel(p, q, h - 120);
}

void CVelvix::GetHSL(int x, int y, float& h, float& s, float& l)
{
    _GetHSL(Bytes(x, y), h, s, l);
}

void CVelvix::GetHSL(int i, float& h, float& s, float& l)
{
    _GetHSL(Bytes(i), h, s, l);
}

void CVelvix::SetHSL(int x, int y, float h, float s, float l)
{
    Bytes(x, y) = _SetHSL(h, s, l);
}

void CVelvix::SetHSL(int i, float h, float s, float l)
{
    Bytes(i) = _SetHSL(h, s, l);
}

namespace {

// trunc(v), limited to the int range (NaN gives 0): boxes near that range
// give quotients beyond it, whose plain conversion is undefined.
int SaturatedInt(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    if (v <= -2147483648.0f)
        return std::numeric_limits<int>::min();
    return int(v);
}

} // namespace

void CVelvix::FitIntoBox(int imageWidth, int imageHeight, int width, int height, bool keepAspect,
                         int& drawnWidth, int& drawnHeight)
{
    drawnWidth = width;
    drawnHeight = height;
    if (!keepAspect)
        return;
    const float rx = float(imageWidth) / float(width), ry = float(imageHeight) / float(height);
    if (rx <= ry)
        drawnWidth = SaturatedInt(float(imageWidth) / ry);
    else
        drawnHeight = SaturatedInt(float(imageHeight) / rx);
}

bool CVelvix::CopyFromRect(CVelvix& source, const VxRect* sourceRect, VxRect* targetRect, bool flip)
{
    const VxRect* src = sourceRect && !sourceRect->IsEmpty() ? sourceRect : nullptr;
    const VxRect* dst = targetRect && !targetRect->IsEmpty() ? targetRect : nullptr;
    if (!source.IsValidObject())
        return false;
    if (!src && !dst) {
        *this = source;
        return IsValidObject();
    }
    if (dst && !IsValidObject())
        return false;
    auto inside = [](const VxRect& r, int w, int h) {
        return 0 <= r.left && r.left <= r.right && r.right <= w && 0 <= r.top && r.top <= r.bottom &&
               r.bottom <= h;
    };
    if (src && !inside(*src, source.GetWidth(), source.GetHeight()))
        return false;
    if (dst && !inside(*dst, GetWidth(), GetHeight()))
        return false;
    // Only now, inside their pictures, are the sizes of the rectangles sure to fit an int.
    if (src && dst && (src->Width() != dst->Width() || src->Height() != dst->Height()))
        return false;
    if (this == &source) {
        // Copying within one image: the rows may overlap, so work from a copy.
        CVelvix copy(source);
        return CopyFromRect(copy, sourceRect, targetRect, flip);
    }

    const VxRect from = src ? *src : VxRect{0, 0, source.GetWidth(), source.GetHeight()};
    VxRect to;
    if (!dst) {
        if (!RawCreateImage(from.Height(), from.Width()))
            return false;
        to = VxRect{0, 0, from.Width(), from.Height()};
    } else {
        to = *dst;
    }
    const int areaWidth = std::min(from.Width(), to.Width());
    const int areaHeight = std::min(from.Height(), to.Height());
    const int sourceHeight = source.GetHeight(), targetHeight = GetHeight();
    for (int r = 0; r < areaHeight; ++r) {
        // Display row -> buffer row; without flip the rectangles are buffer rows.
        const int sourceRow = flip ? sourceHeight - 1 - (from.top + r) : from.top + r;
        const int targetRow = flip ? targetHeight - 1 - (to.top + r) : to.top + r;
        std::memmove(&Bytes(to.left, targetRow), &source.Bytes(from.left, sourceRow),
                     std::size_t(areaWidth) * sizeof(VxPixel));
    }
    return true;
}

bool CVelvix::Crop(const VxRect& rect)
{
    if (!IsValidObject())
        return false;
    CVelvix copy(*this);
    return CopyFromRect(copy, &rect, nullptr, true);
}

bool CVelvix::Resize(QPainter* /*dc*/, int width, int height, bool keepAspect)
{
    if (!IsValidObject())
        return false;
    if (GetWidth() == width && GetHeight() == height)
        return true;
    int newWidth, newHeight;
    FitIntoBox(GetWidth(), GetHeight(), width, height, keepAspect, newWidth, newHeight);
    if (!VxSizeAllowed(newWidth, newHeight))
        return false;
    CVelvix scaled;
    if (!scaled.RawCreateImage(newHeight, newWidth))
        return false;
    // Nearest pixel in display coordinates: whole rows and columns are
    // dropped or repeated, nothing is blended.
    const long long oldWidth = GetWidth(), oldHeight = GetHeight();
    std::vector<int> columns(newWidth);
    for (int x = 0; x < newWidth; ++x)
        columns[x] = int((2 * x + 1) * oldWidth / (2LL * newWidth));
    for (int r = 0; r < newHeight; ++r) {
        const int sourceRow = int((2 * r + 1) * oldHeight / (2LL * newHeight));
        const VxPixel* from = &Bytes(0, int(oldHeight) - 1 - sourceRow);
        VxPixel* to = &scaled.Bytes(0, newHeight - 1 - r);
        for (int x = 0; x < newWidth; ++x)
            to[x] = from[columns[x]];
    }
    Swap(scaled);
    return true;
}
