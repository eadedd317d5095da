#pragma once

// Plain versions of the resampling, rotation, distortion and red-eye
// operations, written straight from their definitions through the pixel
// interface (one pixel at a time, no tables, no threads). The fast library
// code must give the same pixels bit for bit.
#include <algorithm>
#include <cmath>
#include <vector>

#include "test_support.h"

namespace oracle {

inline CVelvix_PixelInterface& I(CVelvix& image)
{
    return image;
}

inline int Channel(VxPixel p, int shift)
{
    return int((p >> shift) & 0xFF);
}

inline VxPixel Bilinear(CVelvix& src, float fx, float fy)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const int x1 = x0 + 1 == W ? x0 : x0 + 1;
    const int y1 = y0 + 1 == H ? y0 : y0 + 1;
    const float dx = fx - x0, dy = fy - y0;
    VxPixel out = 0;
    for (int shift : {16, 8, 0}) {
        const float p00 = Channel(src.Bytes(x0, y0), shift), p10 = Channel(src.Bytes(x1, y0), shift);
        const float p01 = Channel(src.Bytes(x0, y1), shift), p11 = Channel(src.Bytes(x1, y1), shift);
        const float top = (p10 - p00) * dx + p00;
        const float bottom = (p11 - p01) * dx + p01;
        out |= VxPixel(int((bottom - top) * dy + top)) << shift;
    }
    return out;
}

inline float PositiveCube(float u)
{
    return u > 0 ? u * u * u : 0;
}

inline float BSplineWeight(float t)
{
    return (PositiveCube(t + 2) - 4 * PositiveCube(t + 1) + 6 * PositiveCube(t) - 4 * PositiveCube(t - 1)) *
           0.16666667f;
}

inline VxPixel BSpline(CVelvix& src, float fx, float fy)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const float dx = fx - x0, dy = fy - y0;
    float wx[4], wy[4];
    for (int m = 0; m < 4; ++m) {
        wx[m] = BSplineWeight((m - 1) - dx);
        wy[m] = BSplineWeight((m - 1) - dy);
    }
    float r = 0, g = 0, b = 0;
    for (int m = 0; m < 4; ++m) {
        const int xs = x0 - 1 + m;
        if (xs >= W)
            break;
        for (int k = 0; k < 4; ++k) {
            const int ys = y0 - 1 + k;
            if (ys >= H)
                break;
            if (xs >= 0 && ys >= 0) {
                const VxPixel p = src.Bytes(xs, ys);
                r += Channel(p, 16) * (wy[k] * wx[m]);
                g += Channel(p, 8) * (wy[k] * wx[m]);
                b += Channel(p, 0) * (wy[k] * wx[m]);
            }
        }
    }
    return VxPixel(int(r) & 0xFF) << 16 | VxPixel(int(g) & 0xFF) << 8 | VxPixel(int(b) & 0xFF);
}

// Resampling; bspline selects the sampler.
inline CVelvix Resample(CVelvix src, int newHeight, int newWidth, bool keepAspect, bool bspline)
{
    CVelvix out;
    const int W = src.GetWidth(), H = src.GetHeight();
    if (keepAspect) {
        const double rw = double(W) / newWidth, rh = double(H) / newHeight;
        if (rw > rh)
            newHeight = std::max(1, int(H / rw));
        else
            newWidth = std::max(1, int(W / rh));
    }
    I(out).RawCreateImage(newHeight, newWidth);
    const float sx = float(W) / newWidth, sy = float(H) / newHeight;
    for (int x = 0; x < newWidth; ++x)
        for (int y = 0; y < newHeight; ++y) {
            const float fx = x * sx, fy = y * sy;
            out.Bytes(x, y) = bspline ? BSpline(src, fx, fy) : Bilinear(src, fx, fy);
        }
    return out;
}

inline CVelvix SimpleRotate(CVelvix src, bool left)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    CVelvix out;
    I(out).RawCreateImage(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (left)
                out.Bytes(H - 1 - y, x) = src.Bytes(x, y);
            else
                out.Bytes(y, W - 1 - x) = src.Bytes(x, y);
        }
    return out;
}

inline CVelvix SimpleFlip(CVelvix src, bool vertical)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    CVelvix out = src;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            out.Bytes(x, y) = vertical ? src.Bytes(W - 1 - x, y) : src.Bytes(x, H - 1 - y);
    return out;
}

// The margin of RotateAngle. Turns beyond a quarter use the equivalent turn
// folded into 0..90 degrees; up to a quarter that is the angle itself.
inline int RotationMargin(CVelvix& src, int angle)
{
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    int folded = std::abs(angle % 360) % 180;
    if (folded > 90)
        folded = 180 - folded;
    float r0, theta0, cx, cy;
    I(src).CartesianToPolar(hw, hh, r0, theta0);
    I(src).fPolarToCartesian(r0, folded * 0.017453292f + theta0, cx, cy);
    const float pad = hw > hh ? std::ceil(cy - hh) : std::ceil(hw - cx);
    // No margin for a turn folded to 0 (the corner formula gives 1 for a
    // picture one pixel wide, from cos(atan(h / 0)) in single precision).
    return folded != 0 && std::isfinite(pad) && pad > 0 ? int(pad) : 0;
}

inline CVelvix RotateAngle(CVelvix src, int angle, int method)
{
    if (angle % 360 == 180 || angle % 360 == -180) {
        // B-spline: the 0-degree turn mirrored through the middle. Bilinear:
        // the picture itself mirrored, on the 0-degree canvas.
        if (method != 0)
            return SimpleFlip(SimpleFlip(RotateAngle(src, 0, method), true), false);
        const int W = src.GetWidth(), H = src.GetHeight(), pad = RotationMargin(src, 0);
        CVelvix out;
        I(out).RawCreateImage(H + 2 * pad, W + 2 * pad);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                out.Bytes(x + pad, y + pad) = src.Bytes(W - 1 - x, H - 1 - y);
        return out;
    }
    const int W = src.GetWidth(), H = src.GetHeight();
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    const float a = angle * 0.017453292f;
    const int pad = RotationMargin(src, angle);
    CVelvix out = src;
    if (pad != 0)
        I(out).RawCreateImage(H + 2 * pad, W + 2 * pad);
    for (int u = -pad; u < W + pad; ++u)
        for (int v = -pad; v < H + pad; ++v) {
            float X = hw, Y = hh;
            if (u != hw || v != hh) {
                float r, theta;
                I(src).CartesianToPolar(u - hw, v - hh, r, theta);
                I(src).fPolarToCartesian(r, theta + a, X, Y);
                if (u < hw) {
                    X = -X;
                    Y = -Y;
                }
                X += hw;
                Y += hh;
            }
            if (method != 0)
                out.Bytes(u + pad, v + pad) = BSpline(src, X, Y);
            else if (0 <= X && X < W && 0 <= Y && Y < H)
                out.Bytes(u + pad, v + pad) = Bilinear(src, X, Y);
        }
    return out;
}

// The frame of the mapping distortions: position(x, y, X, Y) returns false
// for a pixel that has no source position (it keeps its value).
template <typename Position>
CVelvix Mapping(CVelvix src, Position position)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    CVelvix out = src;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float X, Y;
            if (position(x, y, X, Y) && 0 <= X && X < W && 0 <= Y && Y < H)
                out.Bytes(x, y) = Bilinear(src, X, Y);
        }
    return out;
}

// Polar effects: the offset from the centre goes to (r, theta), newPolar
// changes them, and the result comes back negated for the left half.
template <typename NewPolar>
CVelvix PolarMapping(CVelvix src, NewPolar newPolar)
{
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    return Mapping(src, [&](int x, int y, float& X, float& Y) {
        if (x == hw && y == hh)
            return false;
        float r, theta;
        I(src).CartesianToPolar(x - hw, y - hh, r, theta);
        newPolar(r, theta);
        I(src).fPolarToCartesian(r, theta, X, Y);
        if (x < hw) {
            X = -X;
            Y = -Y;
        }
        X = hw + X;
        Y = hh + Y;
        return true;
    });
}

inline CVelvix FishEye(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    const float far = std::sqrt(float((W - hw - 1) * (W - hw - 1) + (H - hh - 1) * (H - hh - 1)));
    return PolarMapping(src, [&](float& r, float&) { r = r * r / far; });
}

inline CVelvix Swirl(CVelvix src, float k)
{
    return PolarMapping(src, [&](float& r, float& theta) { theta = theta + r * (1 / k); });
}

inline CVelvix Caricature(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    const float reference = W < H ? W - hw : H - hh;
    return PolarMapping(src, [&](float& r, float&) { r = std::sqrt(r * reference); });
}

// Landscape: the angle across the width, the distance down the height.
// Portrait: the same with the roles of the axes exchanged.
inline CVelvix CylinderMirror(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    const bool landscape = W >= H;
    const float reference = landscape ? H - hh : W - hw;
    const float quarter = landscape ? I(src).GetAngle(0, H - hh) : I(src).GetAngle(0, W - hw);
    return Mapping(src, [&](int x, int y, float& X, float& Y) {
        if (x == hw && y == hh)
            return false;
        float r, theta;
        if (landscape) {
            I(src).CartesianToPolar(x - hw, y - hh, r, theta);
            X = hw * (theta / quarter);
            Y = hh * (r / reference);
            if (x < hw) {
                X = -X;
                Y = -Y;
            }
        } else {
            I(src).CartesianToPolar(y - hh, x - hw, r, theta);
            Y = hh * (theta / quarter);
            X = hw * (r / reference);
            if (y < hh) {
                X = -X;
                Y = -Y;
            }
        }
        X = hw + X;
        Y = hh + Y;
        return true;
    });
}

inline CVelvix BathroomWindow2(CVelvix src)
{
    const int hw = I(src).GetHalfWidth(), hh = I(src).GetHalfHeight();
    return Mapping(src, [&](int x, int y, float& X, float& Y) {
        float r, theta;
        I(src).CartesianToPolar(x - hw, y - hh, r, theta);
        const float t = 0.1f * r + theta;
        X = x + std::fmod(t, 32.0f) - 16;
        Y = y;
        return true;
    });
}

inline CVelvix UnderWater(CVelvix src, int wave)
{
    return Mapping(src, [&](int x, int y, float& X, float& Y) {
        X = x + wave * std::sin(y * 0.049087387f);
        Y = y + wave * std::cos(x * 0.049087387f);
        return true;
    });
}

inline CVelvix BathroomWindow1(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    CVelvix out = src;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int sx = x + (x % 32) - 16;
            if (0 <= sx && sx < W)
                out.Bytes(x, y) = src.Bytes(sx, y);
        }
    return out;
}

inline CVelvix Solarization(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    CVelvix out = src;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const VxPixel p = src.Bytes(x, y) & 0xFFFFFF;
            if (p <= double(W) * x * 127.5)
                out.Bytes(x, y) = (255 - Channel(p, 16)) << 16 | (255 - Channel(p, 8)) << 8 | (255 - Channel(p, 0));
        }
    return out;
}

// On whole 32-bit values with wrap-around, in place; the library clears the
// top byte of what it writes, so compare the low 24 bits.
inline CVelvix Relief(CVelvix src)
{
    const int W = src.GetWidth(), H = src.GetHeight();
    for (int y = 0; y <= H - 3; ++y)
        for (int x = 0; x <= W - 3; ++x)
            src.Bytes(x, y) = (src.Bytes(x, y) - src.Bytes(x + 2, y + 2) + 128) & 0xFFFFFF;
    return src;
}

struct ColorInfo {
    VxPixel color;
    int count;
    bool used;
};

inline VxPixel MostUsed(CVelvix& src, int x, int y, int n, std::vector<ColorInfo>& table)
{
    for (ColorInfo& record : table)
        record = ColorInfo{0, 0, false};
    for (int yy = y - n; yy <= y + n; ++yy)
        for (int xx = x - n; xx <= x + n; ++xx) {
            if (!src.ValidPoint(xx, yy))
                continue;
            const VxPixel p = src.Bytes(xx, yy);
            for (ColorInfo& record : table) {
                if (!record.used) {
                    record = ColorInfo{p, 1, true};
                    break;
                }
                if (std::abs(static_cast<long long>(int(record.color - p))) < 657930) {
                    ++record.count;
                    break;
                }
            }
        }
    std::size_t best = 0;
    for (std::size_t j = 1; j < table.size(); ++j)
        if (table[j].count > table[best].count)
            best = j;
    return table[best].count == 1 ? src.Bytes(x, y) : table[best].color;
}

inline CVelvix OilPaint(CVelvix src, int n)
{
    CVelvix out = src;
    std::vector<ColorInfo> table(n * n);
    for (int y = 0; y < src.GetHeight(); ++y)
        for (int x = 0; x < src.GetWidth(); ++x)
            out.Bytes(x, y) = MostUsed(src, x, y, n, table);
    return out;
}

inline bool FixRedEyePixel(CVelvix& image, int x, int y)
{
    if (!image.ValidPoint(x, y))
        return false;
    const VxPixel p = image.Bytes(x, y);
    const int R = Channel(p, 16), G = Channel(p, 8), B = Channel(p, 0);
    if (R / (B + 1.0) > 2.05 && R / (G + 1.0) > 2.05) {
        image.Bytes(x, y) = VxPixel(int(B * 0.29 + G * 0.29 + R * 0.42)) << 16 | G << 8 | B;
        return true;
    }
    return false;
}

inline CVelvix RedEye(CVelvix image)
{
    const int W = image.GetWidth(), H = image.GetHeight();
    const float safe = I(image).GetSafeRadius();
    for (int r = 0; r <= safe; ++r)
        for (int a = 0; a < 360; ++a) {
            const VxPixel p = I(image).PolarBytes(r, a);
            const int R = Channel(p, 16), G = Channel(p, 8), B = Channel(p, 0);
            if (!(R / (B + 1.0) > 2.4 && R / (G + 1.0) > 2.4))
                continue;
            int x, y;
            I(image).PolarToCartesian(r, a, x, y);
            x += I(image).GetHalfWidth();
            y += I(image).GetHalfHeight();
            FixRedEyePixel(image, x, y);
            for (int k = 1; !(x - k < 0 && y - k < 0 && x + k > W && y + k > H); ++k) {
                int changed = 0;
                for (int i = x - k; i < x + k; ++i)
                    changed += FixRedEyePixel(image, i, y - k);
                for (int j = y - k; j < y + k; ++j)
                    changed += FixRedEyePixel(image, x + k, j);
                for (int i = x + k; i > x - k; --i)
                    changed += FixRedEyePixel(image, i, y + k);
                for (int j = y + k; j > y - k; --j)
                    changed += FixRedEyePixel(image, x - k, j);
                if (changed < k)
                    break;
            }
            return image;
        }
    return image;
}

} // namespace oracle
