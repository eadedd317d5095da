#include "effects/red_eye.h"

#include <algorithm>
#include <cmath>

namespace {

// R / (B + 1) > 2.4 and R / (G + 1) > 2.4, compared exactly on integers.
inline bool IsPupil(VxPixel p)
{
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return 5 * r > 12 * (b + 1) && 5 * r > 12 * (g + 1);
}

// The fix test, with 2.05 = 41 / 20; lowers the red channel when it passes.
inline bool FixPixel(VxPixel& pixel)
{
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    if (!(20 * r > 41 * (b + 1) && 20 * r > 41 * (g + 1)))
        return false;
    const int red = int(b * 0.29 + g * 0.29 + r * 0.42);
    pixel = VxPixel(red) << 16 | VxPixel(g) << 8 | VxPixel(b);
    return true;
}

} // namespace

bool CVelvix_RedEye::_FixRedEyePixel(int x, int y)
{
    if (!ValidPoint(x, y))
        return false;
    return FixPixel(Bytes(x, y));
}

void CVelvix_RedEye::_FixRedEye(int x, int y)
{
    _FixRedEyePixel(x, y);
    const int w = GetWidth(), h = GetHeight();
    VxPixel* data = GetImageData();
    auto fix = [&](int px, int py) { return FixPixel(data[std::ptrdiff_t(py) * w + px]); };
    for (int k = 1;; ++k) {
        if (x - k < 0 && y - k < 0 && x + k > w && y + k > h)
            break;
        // The square ring at distance k, 8k pixels, each side clipped to the
        // picture (pixels outside count as not changed).
        int changed = 0;
        if (y - k >= 0 && y - k < h)
            for (int px = std::max(x - k, 0); px <= std::min(x + k - 1, w - 1); ++px)
                changed += fix(px, y - k);
        if (x + k >= 0 && x + k < w)
            for (int py = std::max(y - k, 0); py <= std::min(y + k - 1, h - 1); ++py)
                changed += fix(x + k, py);
        if (y + k >= 0 && y + k < h)
            for (int px = std::min(x + k, w - 1); px >= std::max(x - k + 1, 0); --px)
                changed += fix(px, y + k);
        if (x - k >= 0 && x - k < w)
            for (int py = std::min(y + k, h - 1); py >= std::max(y - k + 1, 0); --py)
                changed += fix(x - k, py);
        if (changed < k)
            break;
    }
}

void CVelvix_RedEye::RedEyeReduce()
{
    if (!IsValidObject())
        return;
    const float safe = GetSafeRadius();
    if (safe < 1)
        return;
    const int w = GetWidth(), h = GetHeight(), hw = GetHalfWidth(), hh = GetHalfHeight();
    const VxPixel* data = GetImageData();
    // Whole radians 0..359, as PolarBytes turns them into offsets.
    float cosine[360], sine[360];
    for (int a = 0; a < 360; ++a) {
        cosine[a] = std::cos(float(a));
        sine[a] = std::sin(float(a));
    }
    for (int r = 0; float(r) <= safe; ++r) {
        const float radius = float(r);
        for (int a = 0; a < 360; ++a) {
            const int x = std::clamp(hw + int(radius * cosine[a]), 0, w - 1);
            const int y = std::clamp(hh + int(radius * sine[a]), 0, h - 1);
            if (IsPupil(data[std::ptrdiff_t(y) * w + x])) {
                int dx, dy;
                PolarToCartesian(radius, float(a), dx, dy);
                _FixRedEye(hw + dx, hh + dy);
                return;
            }
        }
    }
}
