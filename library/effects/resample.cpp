#include "effects/resample.h"

#include <vector>

#include "effects/sampling.h"

namespace {

// Source coordinate of each destination index: its integer part (clamped to
// the source) and its fraction. The destination index times the scale factor,
// in single precision, with no half-pixel offset.
struct Position {
    int lower;
    float fraction;
};

std::vector<Position> Positions(int count, int sourceSize, float scale)
{
    std::vector<Position> positions(count);
    for (int i = 0; i < count; ++i) {
        const float f = float(i) * scale;
        int lower = int(f);
        if (lower >= sourceSize)
            lower = sourceSize - 1;
        positions[i] = {lower, f - float(lower)};
    }
    return positions;
}

// Bilinear resampling of one band of destination rows.
void BilinearRows(const VxPixel* src, int w, int h, VxPixel* dst, int newWidth, const std::vector<Position>& columns,
                  const std::vector<Position>& rows, int first, int last)
{
    // Columns that fall exactly on a source column need no blend along x:
    // (p10 - p00) * 0 + p00 is p00 exactly; likewise rows and dy.
    bool allColumnsExact = true;
    for (const Position& c : columns)
        allColumnsExact = allColumnsExact && c.fraction == 0.0f;
    for (int y = first; y < last; ++y) {
        const Position row = rows[y];
        const int y1 = row.lower + 1 < h ? row.lower + 1 : row.lower;
        const VxPixel* row0 = src + std::ptrdiff_t(row.lower) * w;
        const VxPixel* row1 = src + std::ptrdiff_t(y1) * w;
        VxPixel* out = dst + std::ptrdiff_t(y) * newWidth;
        if (row.fraction == 0.0f && allColumnsExact) {
            for (int x = 0; x < newWidth; ++x)
                out[x] = row0[columns[x].lower] & 0xFFFFFFu;
            continue;
        }
        for (int x = 0; x < newWidth; ++x) {
            const Position c = columns[x];
            const int x1 = c.lower + 1 < w ? c.lower + 1 : c.lower;
            out[x] = VxBilinearBlend(row0[c.lower], row0[x1], row1[c.lower], row1[x1], c.fraction, row.fraction);
        }
    }
}

#if defined(__SSE2__)
// Enlarging: every source row feeds several destination rows, so its blends
// along x (the "top" and "bottom" of the bilinear pixel) are computed once and
// kept for two source rows.
void EnlargeRows(const VxPixel* src, int w, int h, VxPixel* dst, int newWidth, const std::vector<Position>& columns,
                 const std::vector<Position>& rows, int first, int last)
{
    struct Channels {
        __m128 v;
    };
    struct Blended {
        int row = -1;
        std::vector<Channels> values;
    };
    Blended slots[2];
    slots[0].values.resize(newWidth);
    slots[1].values.resize(newWidth);
    auto fetch = [&](int row, int keep) -> const Channels* {
        for (Blended& slot : slots)
            if (slot.row == row)
                return slot.values.data();
        Blended& slot = slots[0].row == keep ? slots[1] : slots[0];
        const VxPixel* line = src + std::ptrdiff_t(row) * w;
        for (int x = 0; x < newWidth; ++x) {
            const Position c = columns[x];
            const int x1 = c.lower + 1 < w ? c.lower + 1 : c.lower;
            const __m128 a = VxChannels(line[c.lower]), b = VxChannels(line[x1]);
            slot.values[x].v = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(c.fraction)), a);
        }
        slot.row = row;
        return slot.values.data();
    };
    for (int y = first; y < last; ++y) {
        const Position row = rows[y];
        const int y1 = row.lower + 1 < h ? row.lower + 1 : row.lower;
        const Channels* top = fetch(row.lower, -1);
        VxPixel* out = dst + std::ptrdiff_t(y) * newWidth;
        if (row.fraction == 0.0f) {
            // (bottom - top) * 0 + top is top exactly.
            for (int x = 0; x < newWidth; ++x)
                out[x] = VxPackChannels(top[x].v);
            continue;
        }
        const Channels* bottom = fetch(y1, row.lower);
        const __m128 dy = _mm_set1_ps(row.fraction);
        for (int x = 0; x < newWidth; ++x)
            out[x] = VxPackChannels(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(bottom[x].v, top[x].v), dy), top[x].v));
    }
}
#endif

struct Weights {
    float w[4];
};

std::vector<Weights> SplineWeights(const std::vector<Position>& positions)
{
    std::vector<Weights> weights(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        VxBSplineWeights(positions[i].fraction, weights[i].w);
    return weights;
}

void BSplineRows(const VxPixel* src, int w, int h, VxPixel* dst, int newWidth, const std::vector<Position>& columns,
                 const std::vector<Position>& rows, int first, int last)
{
    const std::vector<Weights> wx = SplineWeights(columns), wy = SplineWeights(rows);
    for (int y = first; y < last; ++y) {
        const int y0 = rows[y].lower;
        const float* rowWeights = wy[y].w;
        const bool rowsInside = y0 >= 1 && y0 + 2 < h;
        VxPixel* out = dst + std::ptrdiff_t(y) * newWidth;
        for (int x = 0; x < newWidth; ++x) {
            const int x0 = columns[x].lower;
            const float* columnWeights = wx[x].w;
#if defined(__SSE2__)
            if (rowsInside && x0 >= 1 && x0 + 2 < w) {
                // All 16 taps inside: the same sums without the bounds tests.
                const VxPixel* p = src + std::ptrdiff_t(y0 - 1) * w + (x0 - 1);
                __m128 sum = _mm_setzero_ps();
                for (int m = 0; m < 4; ++m)
                    for (int k = 0; k < 4; ++k)
                        sum = _mm_add_ps(sum, _mm_mul_ps(VxChannels(p[std::ptrdiff_t(k) * w + m]),
                                                         _mm_set1_ps(rowWeights[k] * columnWeights[m])));
                alignas(16) int channel[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(channel), _mm_cvttps_epi32(sum));
                out[x] = VxPixel(channel[2] & 0xFF) << 16 | VxPixel(channel[1] & 0xFF) << 8 |
                         VxPixel(channel[0] & 0xFF);
                continue;
            }
#endif
            out[x] = VxBSplineTaps(src, w, h, x0, y0, columnWeights, rowWeights);
        }
    }
}

} // namespace

template <typename Sampler>
void CVelvix_Resample::_Resample(int newHeight, int newWidth, Sampler sampler)
{
    const int w = GetWidth(), h = GetHeight();
    CVelvixBitmap old;
    if (!VxSizeAllowed(newWidth, newHeight) || !VxReplaceBuffer(*this, newHeight, newWidth, old))
        return;
    m_pResampleSource = old.Data();
    const float sx = float(w) / float(newWidth), sy = float(h) / float(newHeight);
    const std::vector<Position> columns = Positions(newWidth, w, sx), rows = Positions(newHeight, h, sy);
    VxPixel* dst = GetImageData();
    const VxPixel* src = m_pResampleSource;
    VxParallelRows(newHeight, (long long)newWidth * newHeight, [&](int first, int last) {
        sampler(src, w, h, dst, newWidth, columns, rows, first, last);
    });
    m_pResampleSource = nullptr;
}

void CVelvix_Resample::Resample_Bilinear(int newHeight, int newWidth, bool keepAspect)
{
    if (!IsValidObject() || newHeight < 1 || newWidth < 1)
        return;
    if (keepAspect) {
        // In double: a box near the int range would give a float beyond it
        // (float(INT_MAX) is 2^31), and converting that is undefined.
        const double w = GetWidth(), h = GetHeight();
        const double rw = w / newWidth, rh = h / newHeight;
        const double fitted = rw > rh ? h / rw : w / rh;
        if (!(fitted < 2147483647.0))
            return;
        if (rw > rh)
            newHeight = int(fitted);
        else
            newWidth = int(fitted);
        // A very thin picture would otherwise fit into zero rows or columns.
        if (newHeight < 1)
            newHeight = 1;
        if (newWidth < 1)
            newWidth = 1;
    }
#if defined(__SSE2__)
    if (newHeight > GetHeight()) {
        _Resample(newHeight, newWidth, EnlargeRows);
        return;
    }
#endif
    _Resample(newHeight, newWidth, BilinearRows);
}

void CVelvix_Resample::Resample_BSpline(int newHeight, int newWidth)
{
    if (!IsValidObject() || newHeight < 1 || newWidth < 1)
        return;
    _Resample(newHeight, newWidth, BSplineRows);
}
