#include "effects/rotation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "effects/sampling.h"

namespace {

// Reverses the pixels of one row in place.
void ReverseRow(VxPixel* row, int w)
{
    int i = 0, j = w - 1;
#if defined(__SSE2__)
    for (; j - i >= 7; i += 4, j -= 4) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + j - 3));
        a = _mm_shuffle_epi32(a, _MM_SHUFFLE(0, 1, 2, 3));
        b = _mm_shuffle_epi32(b, _MM_SHUFFLE(0, 1, 2, 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + j - 3), a);
    }
#endif
    for (; i < j; ++i, --j)
        std::swap(row[i], row[j]);
}

void SwapRows(VxPixel* a, VxPixel* b, int w)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= w; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + x), q);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + x), p);
    }
#endif
    for (; x < w; ++x)
        std::swap(a[x], b[x]);
}

// Quarter turn of a w x h source into an h-wide, w-high destination, for
// destination rows [first, last). left: destination (h - 1 - y, x) = source
// (x, y); otherwise destination (y, w - 1 - x) = source (x, y).
void TurnRows(const VxPixel* src, int w, int h, VxPixel* dst, bool left, int first, int last)
{
    constexpr int kBlock = 16;
    for (int r0 = first; r0 < last; r0 += kBlock) {
        const int r1 = std::min(r0 + kBlock, last);
        for (int c0 = 0; c0 < h; c0 += kBlock) {
            const int c1 = std::min(c0 + kBlock, h);
            for (int r = r0; r < r1; ++r) {
                VxPixel* out = dst + std::ptrdiff_t(r) * h;
                if (left) {
                    // Destination row r is source column r, read from the top row down.
                    for (int c = c0; c < c1; ++c)
                        out[c] = src[std::ptrdiff_t(h - 1 - c) * w + r];
                } else {
                    // Destination row r is source column w - 1 - r.
                    for (int c = c0; c < c1; ++c)
                        out[c] = src[std::ptrdiff_t(c) * w + (w - 1 - r)];
                }
            }
        }
    }
}

} // namespace

void CVelvix_Rotation::SimpleRotate(bool left)
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight();
    CVelvixBitmap old;
    if (!VxReplaceBuffer(*this, w, h, old))
        return;
    m_pRotationSource = old.Data();
    const VxPixel* src = m_pRotationSource;
    VxPixel* dst = GetImageData();
    VxParallelRows(w, (long long)w * h, [&](int first, int last) { TurnRows(src, w, h, dst, left, first, last); });
    m_pRotationSource = nullptr;
}

void CVelvix_Rotation::SimpleFlip(bool vertical)
{
    if (!IsValidObject())
        return;
    // Each destination pixel takes the pixel it is swapped with, so the flip
    // runs in place instead of from a copy.
    const int w = GetWidth(), h = GetHeight();
    VxPixel* data = GetImageData();
    if (vertical) {
        VxParallelRows(h, (long long)w * h, [&](int first, int last) {
            for (int y = first; y < last; ++y)
                ReverseRow(data + std::ptrdiff_t(y) * w, w);
        });
    } else {
        VxParallelRows(h / 2, (long long)w * h, [&](int first, int last) {
            for (int y = first; y < last; ++y)
                SwapRows(data + std::ptrdiff_t(y) * w, data + std::ptrdiff_t(h - 1 - y) * w, w);
        });
    }
}

void CVelvix_Rotation::_MirrorOntoCanvas(int pad)
{
    SimpleFlip(true);
    SimpleFlip(false);
    if (pad == 0)
        return;
    const int w = GetWidth(), h = GetHeight();
    CVelvixBitmap old;
    if (!VxReplaceBuffer(*this, h + 2 * pad, w + 2 * pad, old))
        return;
    // The new canvas starts black; the picture goes into its middle.
    for (int y = 0; y < h; ++y)
        std::copy(old.Data() + std::ptrdiff_t(y) * w, old.Data() + std::ptrdiff_t(y + 1) * w,
                  GetImageData() + std::ptrdiff_t(y + pad) * (w + 2 * pad) + pad);
}

void CVelvix_Rotation::RotateAngle(int angle, int method)
{
    if (!IsValidObject())
        return;
    // A half turn is the turn by 0 degrees mirrored through the middle, so
    // that it covers its canvas exactly. Turned about (hw, hh), an even-sized
    // picture would land one pixel beside a canvas with no margin, losing a
    // row and a column and keeping old pixels at the opposite edges.
    const bool halfTurn = angle % 360 == 180 || angle % 360 == -180;
    if (halfTurn && method != 0) {
        RotateAngle(0, method);
        SimpleFlip(true);
        SimpleFlip(false);
        return;
    }
    const int w = GetWidth(), h = GetHeight();
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    const float a = float(angle) * 0.017453292f;

    // Margin from the corner turned by the angle. The corner formula holds for
    // turns up to a quarter (beyond, it turns negative); larger ones take the
    // bounding box of the turn folded back into 0..90 degrees (150 degrees
    // needs the margin of 30). docs/EFFECTS.md has the reasoning.
    int folded = std::abs(angle % 360) % 180;
    if (folded > 90)
        folded = 180 - folded;
    const float turn = float(folded) * 0.017453292f;
    float r0, theta0, cx, cy;
    CartesianToPolar(hw, hh, r0, theta0);
    fPolarToCartesian(r0, turn + theta0, cx, cy);
    const float margin = hw > hh ? std::ceil(cy - float(hh)) : std::ceil(float(hw) - cx);
    // A 1 x 1 picture has no corner angle (0 / 0); it needs no margin. Nor
    // does a turn folded to 0, which covers the picture's own box: for a
    // picture one pixel wide the corner lies on the vertical axis, and the
    // cosine of that single-precision quarter turn, -4e-8 and not 0, asked
    // for a black frame around a picture turned by 0 or 180 degrees.
    const int pad = folded != 0 && std::isfinite(margin) && margin > 0 ? int(margin) : 0;

    if (halfTurn) {
        // Bilinear sampling at whole positions moves pixels unchanged: the
        // half turn is the point mirror, on the canvas of no turn.
        _MirrorOntoCanvas(pad);
        return;
    }
    CVelvixBitmap old;
    if (pad != 0) {
        if (!VxReplaceBuffer(*this, h + 2 * pad, w + 2 * pad, old))
            return;
    } else {
        // Same canvas: pixels without a source keep their value, so sample
        // from a copy.
        if (!old.Allocate(std::size_t(w) * std::size_t(h)))
            return;
        VxCopyPixels(old.Data(), GetImageData(), std::size_t(w) * std::size_t(h));
    }
    m_pRotationSource = old.Data();
    const VxPixel* src = m_pRotationSource;
    VxPixel* dst = GetImageData();
    const int canvasWidth = w + 2 * pad, canvasHeight = h + 2 * pad;
    const bool bilinear = method == 0;

    // Positions farther from the centre than this (squared) cannot reach the
    // source nor any B-spline tap of it; the margin absorbs rounding.
    const long long reachX = (long long)std::max(hw, w - hw) + 4, reachY = (long long)std::max(hh, h - hh) + 4;
    const long long reach = reachX * reachX + reachY * reachY;
    const float fw = float(hw), fh = float(hh);

    // Columns within reach of row `row`: |dx| <= span, symmetric about the centre.
    const int centreX = hw + pad, centreY = hh + pad;
    auto reachable = [=](int row, int& begin, int& end) {
        const long long dy = row - centreY;
        const long long rest = reach - dy * dy;
        long long span = rest < 0 ? -1 : (long long)std::sqrt(double(rest));
        while (span >= 0 && span * span > rest)
            --span;
        while ((span + 1) * (span + 1) <= rest)
            ++span;
        begin = int(std::max<long long>(0, centreX - span));
        end = int(std::min<long long>(canvasWidth, centreX + span + 1));
        if (end < begin)
            end = begin;
    };
    if (!bilinear && pad == 0) {
        // B-spline writes every pixel: black beyond reach.
        for (int row = 0; row < canvasHeight; ++row) {
            int begin, end;
            reachable(row, begin, end);
            VxPixel* out = dst + std::ptrdiff_t(row) * canvasWidth;
            std::fill(out, out + begin, 0u);
            std::fill(out + end, out + canvasWidth, 0u);
        }
    }
    struct Offset {
        float x, y;
    };
    VxSymmetricMap<Offset>(
        canvasWidth, canvasHeight, true, reachable,
        [=](int dx, int dy, Offset& o) {
            if (dx == 0 && dy == 0) {
                o = {0.0f, 0.0f};  // the centre maps to the source centre
                return true;
            }
            const float r = std::sqrt(float(dx * dx + dy * dy));
            const float theta = std::atan(float(dy) / float(dx));
            VxPolarToCartesian(r, theta + a, o.x, o.y);
            return true;
        },
        [=](int, int, int dx, int, const Offset& o, float& x, float& y) {
            x = o.x;
            y = o.y;
            if (dx < 0) {
                x = -x;
                y = -y;
            }
            x = x + fw;
            y = y + fh;
        },
        [=](int col, int row, float x, float y) {
            VxPixel& out = dst[std::ptrdiff_t(row) * canvasWidth + col];
            if (bilinear)
                VxBilinearIfInside(src, w, h, x, y, out);
            else
                out = VxBSplinePixel(src, w, h, x, y);
        });
    m_pRotationSource = nullptr;
}
