#pragma once

// Samplers and buffer helpers shared by resampling, rotation and the
// distortions. Every floating-point operation here is part of the result:
// keep the operations and their order as they are.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/parallel.h"
#include "image/pixel_interface.h"

#if defined(__SSE2__)
// The four bytes of a pixel as four floats (blue, green, red, top byte).
inline __m128 VxChannels(VxPixel p)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i v = _mm_cvtsi32_si128(int(p));
    v = _mm_unpacklo_epi8(v, zero);
    v = _mm_unpacklo_epi16(v, zero);
    return _mm_cvtepi32_ps(v);
}

// Truncates four channel values in 0..255 and packs them into a pixel.
inline VxPixel VxPackChannels(__m128 v)
{
    __m128i i = _mm_cvttps_epi32(v);
    i = _mm_packs_epi32(i, i);
    i = _mm_packus_epi16(i, i);
    return VxPixel(_mm_cvtsi128_si32(i)) & 0xFFFFFFu;
}
#endif

// fPolarToCartesian of the image object, inline: r cos(angle) and
// r sin(angle) in double, each rounded once to single precision.
inline void VxPolarToCartesian(float r, float angle, float& x, float& y)
{
    x = float(double(r) * std::cos(double(angle)));
    y = float(double(r) * std::sin(double(angle)));
}

// The bilinear blend of four neighbours with fractions dx, dy: along x in
// both rows first, then between the rows; each channel truncated.
inline VxPixel VxBilinearBlend(VxPixel p00, VxPixel p10, VxPixel p01, VxPixel p11, float dx, float dy)
{
#if defined(__SSE2__)
    const __m128 a = VxChannels(p00), b = VxChannels(p10), c = VxChannels(p01), d = VxChannels(p11);
    const __m128 fx = _mm_set1_ps(dx), fy = _mm_set1_ps(dy);
    const __m128 top = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), fx), a);
    const __m128 bottom = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(d, c), fx), c);
    return VxPackChannels(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(bottom, top), fy), top));
#else
    VxPixel result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const float c00 = float((p00 >> shift) & 0xFF), c10 = float((p10 >> shift) & 0xFF);
        const float c01 = float((p01 >> shift) & 0xFF), c11 = float((p11 >> shift) & 0xFF);
        const float top = (c10 - c00) * dx + c00;
        const float bottom = (c11 - c01) * dx + c01;
        result |= VxPixel(int((bottom - top) * dy + top)) << shift;
    }
    return result;
#endif
}

// Bilinear pixel of a w x h source at (fx, fy) with 0 <= fx < w, 0 <= fy < h.
inline VxPixel VxBilinearPixel(const VxPixel* src, int w, int h, float fx, float fy)
{
    int x0 = int(fx), y0 = int(fy);  // non-negative, so truncation is floor
    if (x0 >= w)
        x0 = w - 1;
    if (y0 >= h)
        y0 = h - 1;
    const int x1 = x0 + 1 < w ? x0 + 1 : x0;
    const int y1 = y0 + 1 < h ? y0 + 1 : y0;
    const float dx = fx - float(x0), dy = fy - float(y0);
    const VxPixel* row0 = src + std::ptrdiff_t(y0) * w;
    const VxPixel* row1 = src + std::ptrdiff_t(y1) * w;
    return VxBilinearBlend(row0[x0], row0[x1], row1[x0], row1[x1], dx, dy);
}

// The bilinear pixel when (fx, fy) may lie anywhere: outside the source (or
// not a number) nothing is written and false is returned.
inline bool VxBilinearIfInside(const VxPixel* src, int w, int h, float fx, float fy, VxPixel& out)
{
    if (!(fx >= 0 && fx < float(w) && fy >= 0 && fy < float(h)))
        return false;
    out = VxBilinearPixel(src, w, h, fx, fy);
    return true;
}

inline float VxPositiveCube(float u)
{
    return u > 0 ? u * u * u : 0.0f;
}

// Cubic B-spline weight, single precision.
inline float VxBSplineWeight(float t)
{
    return (VxPositiveCube(t + 2) - 4 * VxPositiveCube(t + 1) + 6 * VxPositiveCube(t) -
            4 * VxPositiveCube(t - 1)) *
           0.16666667f;
}

// Sums the 4 x 4 taps around (x0, y0) with the given weights; taps outside
// the source are skipped (columns from the first one at or beyond w on, rows
// from the first one at or beyond h on, and negative positions).
inline VxPixel VxBSplineTaps(const VxPixel* src, int w, int h, int x0, int y0, const float* wx, const float* wy)
{
#if defined(__SSE2__)
    __m128 sum = _mm_setzero_ps();
    for (int m = 0; m < 4; ++m) {
        const int xs = x0 - 1 + m;
        if (xs >= w)
            break;
        for (int k = 0; k < 4; ++k) {
            const int ys = y0 - 1 + k;
            if (ys >= h)
                break;
            if (xs >= 0 && ys >= 0)
                sum = _mm_add_ps(sum, _mm_mul_ps(VxChannels(src[std::ptrdiff_t(ys) * w + xs]),
                                                 _mm_set1_ps(wy[k] * wx[m])));
        }
    }
    alignas(16) int channel[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(channel), _mm_cvttps_epi32(sum));
    return VxPixel(channel[2] & 0xFF) << 16 | VxPixel(channel[1] & 0xFF) << 8 | VxPixel(channel[0] & 0xFF);
#else
    float r = 0, g = 0, b = 0;
    for (int m = 0; m < 4; ++m) {
        const int xs = x0 - 1 + m;
        if (xs >= w)
            break;
        for (int k = 0; k < 4; ++k) {
            const int ys = y0 - 1 + k;
            if (ys >= h)
                break;
            if (xs >= 0 && ys >= 0) {
                const VxPixel p = src[std::ptrdiff_t(ys) * w + xs];
                const float weight = wy[k] * wx[m];
                r += float((p >> 16) & 0xFF) * weight;
                g += float((p >> 8) & 0xFF) * weight;
                b += float(p & 0xFF) * weight;
            }
        }
    }
    return VxPixel(int(r) & 0xFF) << 16 | VxPixel(int(g) & 0xFF) << 8 | VxPixel(int(b) & 0xFF);
#endif
}

// The four weights of a fraction d: B((m - 1) - d) for m = 0..3.
inline void VxBSplineWeights(float d, float* weights)
{
    for (int m = 0; m < 4; ++m)
        weights[m] = VxBSplineWeight(float(m - 1) - d);
}

// B-spline pixel at any (fx, fy); positions whose taps all lie outside the
// source (and positions that are not numbers) give black.
inline VxPixel VxBSplinePixel(const VxPixel* src, int w, int h, float fx, float fy)
{
    if (!(fx > -3 && fx < float(w) + 2 && fy > -3 && fy < float(h) + 2))
        return 0;
    const float fx0 = std::floor(fx), fy0 = std::floor(fy);
    float wx[4], wy[4];
    VxBSplineWeights(fx - fx0, wx);
    VxBSplineWeights(fy - fy0, wy);
    return VxBSplineTaps(src, w, h, int(fx0), int(fy0), wx, wy);
}

// Gives the image a new black buffer of width x height and hands its old
// buffer to `old`, which stays valid until `old` is freed. If the new buffer
// cannot be made, the image gets its old buffer back and false is returned.
inline bool VxReplaceBuffer(CVelvix_PixelInterface& image, int height, int width, CVelvixBitmap& old)
{
    const VxBitmapInfo info = image.GetBitmapInfo();
    old.Swap(image.GetBitmap());
    image.GetImageData() = nullptr;
    if (image.RawCreateImage(height, width))
        return true;
    image.GetBitmap().Swap(old);
    image.GetImageData() = image.GetBitmap().Data();
    image.GetBitmapInfo() = info;
    return false;
}

// Copies `pixels` pixels on both cores.
inline void VxCopyPixels(VxPixel* to, const VxPixel* from, std::size_t pixels)
{
    VxParallelRanges(pixels, pixels >= (1u << 18), [&](std::size_t begin, std::size_t end) {
        std::memcpy(to + begin, from + begin, (end - begin) * sizeof(VxPixel));
    });
}

// Splits rows [0, count) over the cores when the work is large enough.
template <typename Fn>
void VxParallelRows(int count, long long work, Fn&& fn)
{
    VxParallelRanges(std::size_t(count), work >= (1LL << 16),
                     [&](std::size_t begin, std::size_t end) { fn(int(begin), int(end)); });
}

// Runs an inverse mapping over the pixels of a width x height canvas whose
// polar centre is (cx, cy) = (width / 2, height / 2), both cores.
//
// The polar mappings depend on the offset d = (dx, dy) from the centre only
// through r = |d| and the ratio dy / dx, which d and -d share exactly, so
// one evaluation serves the pixel and its mirror through the centre:
//   offset(dx, dy, Shared& o) -> bool   the costly part, shared by d and -d; false
//                               when the pixel has no source position
//   source(x, y, dx, dy, o, X, Y)  the cheap rest, per pixel
//   write(x, y, X, Y)           samples and stores
// The line through the centre where the ratio is not shared (dx = 0, whose
// ratio is +-infinity; dy = 0 instead when dyRatio is false, for a mapping
// that takes the ratio dx / dy) is evaluated pixel by pixel.
// span(y, begin, end) limits each row to a range symmetric about cx.
template <typename Shared, typename Offset, typename Source, typename Write, typename Span>
void VxSymmetricMap(int width, int height, bool dyRatio, Span span, Offset offset, Source source, Write write)
{
    const int cx = width / 2, cy = height / 2;
    auto alone = [&](int x, int y) {
        const int dx = x - cx, dy = y - cy;
        Shared o;
        if (!offset(dx, dy, o))
            return;
        float sx, sy;
        source(x, y, dx, dy, o, sx, sy);
        write(x, y, sx, sy);
    };
    // One row segment [from, to) of row y (y <= cy) with its mirror.
    auto segment = [&](int y, int begin, int end, int from, int to) {
        const int dy = y - cy, yp = 2 * cy - y;
        if (y == cy) {
            // The middle row pairs with itself: x with 2cx - x.
            for (int x = from; x < to; ++x) {
                const int dx = x - cx, xp = 2 * cx - x;
                if (!dyRatio || dx == 0 || (dx > 0 && xp < begin)) {
                    alone(x, y);
                    continue;
                }
                if (dx > 0)
                    continue;  // written with its partner
                Shared o;
                if (!offset(dx, dy, o))
                    continue;
                float sx, sy;
                source(x, y, dx, dy, o, sx, sy);
                write(x, y, sx, sy);
                if (xp < end) {
                    source(xp, y, -dx, -dy, o, sx, sy);
                    write(xp, y, sx, sy);
                }
            }
            return;
        }
        const bool pairRow = yp < height;
        for (int x = from; x < to; ++x) {
            const int dx = x - cx, xp = 2 * cx - x;
            if (dyRatio && dx == 0) {
                alone(x, y);
                if (pairRow)
                    alone(x, yp);
                continue;
            }
            Shared o;
            if (offset(dx, dy, o)) {
                float sx, sy;
                source(x, y, dx, dy, o, sx, sy);
                write(x, y, sx, sy);
                if (pairRow && xp < end) {
                    source(xp, yp, -dx, -dy, o, sx, sy);
                    write(xp, yp, sx, sy);
                }
            }
        }
    };
    // Tiles of a few rows by a few dozen columns: the source positions of a
    // tile lie close together, while those of a whole turned or twisted row
    // would push each other out of the cache before the next row reuses them.
    constexpr int kTileRows = 16, kTileColumns = 64;
    const int bands = (cy + 1 + kTileRows - 1) / kTileRows;
    VxParallelRows(bands, (long long)width * height, [&](int firstBand, int lastBand) {
        for (int band = firstBand; band < lastBand; ++band) {
            const int y0 = band * kTileRows, y1 = std::min(cy + 1, y0 + kTileRows);
            int begins[kTileRows], ends[kTileRows];
            for (int y = y0; y < y1; ++y)
                span(y, begins[y - y0], ends[y - y0]);
            for (int x0 = 0; x0 < width; x0 += kTileColumns)
                for (int y = y0; y < y1; ++y) {
                    const int begin = begins[y - y0], end = ends[y - y0];
                    const int from = std::max(begin, x0), to = std::min(end, x0 + kTileColumns);
                    if (from < to)
                        segment(y, begin, end, from, to);
                }
            // With an even width, column 0 of a partner row has no partner.
            for (int y = y0; y < y1; ++y) {
                const int yp = 2 * cy - y;
                if (y != cy && yp < height && begins[y - y0] == 0 && 2 * cx == width && ends[y - y0] > 0)
                    alone(0, yp);
            }
        }
    });
}
