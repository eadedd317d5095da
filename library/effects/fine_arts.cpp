#include "effects/fine_arts.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <vector>

#include "effects/sampling.h"

namespace {

// Offset (dx, dy) from the centre in polar form, as CartesianToPolar gives it:
// the angle is the plain arc tangent of the ratio, so it covers a half turn.
inline void Polar(int dx, int dy, float& r, float& theta)
{
    r = std::sqrt(float(dx * dx + dy * dy));
    theta = std::atan(float(dy) / float(dx));
}

// Source position at distance r and angle theta from the centre (cx, cy);
// negated for offsets left of the centre, which restores the lost half turn.
inline void FromPolar(float r, float theta, int dx, float cx, float cy, float& x, float& y)
{
    VxPolarToCartesian(r, theta, x, y);
    if (dx < 0) {
        x = -x;
        y = -y;
    }
    x = x + cx;
    y = y + cy;
}

// Two colours belong to one oil-paint group when their whole values differ by
// less than 0x0A0A0A (on the signed 32-bit difference).
constexpr std::uint32_t kCloseness = 657930;

inline bool Close(VxPixel a, VxPixel b)
{
    return std::uint32_t(a - b + (kCloseness - 1)) < 2 * kCloseness - 1;
}

// The most used colour group around (x, y). Groups are claimed in scan order
// and a pixel joins the first group it is close to. The scan stops early once
// no other group can catch up with the leader, which cannot change the pick.
// Records are claimed in order, so the used ones are a prefix of the table.
template <typename Record>
VxPixel MostUsed(const VxPixel* src, int w, int h, int x, int y, int n, Record* groups)
{
    const int capacity = n * n;
    const int left = std::max(0, x - n), right = std::min(w - 1, x + n);
    const int bottom = std::max(0, y - n), top = std::min(h - 1, y + n);
    const int perRow = right - left + 1;
    int remaining = perRow * (top - bottom + 1);
    int used = 0;
    for (int yy = bottom; yy <= top; ++yy) {
        const VxPixel* row = src + std::ptrdiff_t(yy) * w;
        for (int xx = left; xx <= right; ++xx) {
            const VxPixel p = row[xx];
            int j = 0;
            while (j < used && !Close(groups[j].color, p))
                ++j;
            if (j < used)
                ++groups[j].count;
            else if (used < capacity)
                groups[used++] = {p, 1, true};
        }
        remaining -= perRow;
        if (remaining > 0) {
            int leader = 0;
            for (int j = 1; j < used; ++j)
                if (groups[j].count > groups[leader].count)
                    leader = j;
            int second = 0;
            for (int j = 0; j < used; ++j)
                if (j != leader)
                    second = std::max(second, groups[j].count);
            if (second + remaining < groups[leader].count)
                break;
        }
    }
    int best = 0;
    for (int j = 1; j < used; ++j)
        if (groups[j].count > groups[best].count)
            best = j;
    return groups[best].count == 1 ? src[std::ptrdiff_t(y) * w + x] : groups[best].color;
}

// The generator of the melt: uniform draws in 0..32767.
class MeltRandom {
public:
    explicit MeltRandom(unsigned int seed) : m_state(seed) {}
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return int((m_state >> 16) & 0x7FFF);
    }

private:
    std::uint32_t m_state;
};

} // namespace

template <typename Map>
void CVelvix_FineArts::_MapPixels(Map map)
{
    if (!IsValidObject() || !COPY_DATA())
        return;
    const int w = GetWidth(), h = GetHeight();
    const VxPixel* src = m_pOldData;
    VxPixel* dst = GetImageData();
    VxParallelRows(h, (long long)w * h, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            VxPixel* out = dst + std::ptrdiff_t(y) * w;
            for (int x = 0; x < w; ++x) {
                float sx, sy;
                if (map(x, y, sx, sy))
                    VxBilinearIfInside(src, w, h, sx, sy, out[x]);
            }
        }
    });
    DELETE_DATA();
}

void CVelvix_FineArts::FishEyeEffect()
{
    if (!IsValidObject())
        return;
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    // Distance from the centre to the far corner pixel, which maps to itself.
    const float far = GetRadius(GetWidth() - hw - 1, GetHeight() - hh - 1);
    const float cx = float(hw), cy = float(hh);
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        const int dx = x - hw, dy = y - hh;
        if (dx == 0 && dy == 0)
            return false;
        float r, theta;
        Polar(dx, dy, r, theta);
        FromPolar(r * r / far, theta, dx, cx, cy, sx, sy);
        return true;
    });
}

void CVelvix_FineArts::SwirlEffect(float k)
{
    if (!IsValidObject())
        return;
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    const float cx = float(hw), cy = float(hh), perRadius = 1 / k;
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        const int dx = x - hw, dy = y - hh;
        if (dx == 0 && dy == 0)
            return false;
        float r, theta;
        Polar(dx, dy, r, theta);
        FromPolar(r, theta + r * perRadius, dx, cx, cy, sx, sy);
        return true;
    });
}

void CVelvix_FineArts::Caricature()
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight(), hw = GetHalfWidth(), hh = GetHalfHeight();
    const float reference = float(w < h ? w - hw : h - hh);
    const float cx = float(hw), cy = float(hh);
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        const int dx = x - hw, dy = y - hh;
        if (dx == 0 && dy == 0)
            return false;
        float r, theta;
        Polar(dx, dy, r, theta);
        FromPolar(std::sqrt(r * reference), theta, dx, cx, cy, sx, sy);
        return true;
    });
}

void CVelvix_FineArts::CylinderMirror()
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight(), hw = GetHalfWidth(), hh = GetHalfHeight();
    const float cx = float(hw), cy = float(hh);
    if (w >= h) {
        // The angle of the offset (0, H - hh): a quarter turn.
        const float quarter = GetAngle(0, h - hh);
        const float reference = float(h - hh);
        _MapPixels([=](int x, int y, float& sx, float& sy) {
            const int dx = x - hw, dy = y - hh;
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dx, dy, r, theta);
            float ox = cx * (theta / quarter), oy = cy * (r / reference);
            if (dx < 0) {
                ox = -ox;
                oy = -oy;
            }
            sx = cx + ox;
            sy = cy + oy;
            return true;
        });
        return;
    }
    // Portrait: the angle from the vertical axis spreads down the height and
    // the distance across the width, mirrored through the centre for the
    // lower half; the landscape mapping of the picture turned on its side.
    const float quarter = GetAngle(0, w - hw);
    const float reference = float(w - hw);
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        const int dx = x - hw, dy = y - hh;
        if (dx == 0 && dy == 0)
            return false;
        float r, theta;
        Polar(dy, dx, r, theta);
        float oy = cy * (theta / quarter), ox = cx * (r / reference);
        if (dy < 0) {
            ox = -ox;
            oy = -oy;
        }
        sx = cx + ox;
        sy = cy + oy;
        return true;
    });
}

void CVelvix_FineArts::BathroomWindowEffect2()
{
    if (!IsValidObject())
        return;
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        const int dx = x - hw, dy = y - hh;
        if (dx == 0 && dy == 0)
            return false;
        float r, theta;
        Polar(dx, dy, r, theta);
        const float t = 0.1f * r + theta;
        sx = float(x) + std::fmod(t, 32.0f) - 16.0f;
        sy = float(y);
        return true;
    });
}

void CVelvix_FineArts::UnderWater(int wave)
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight();
    // The shift of a row depends only on the row, that of a column only on the column.
    const float step = 0.049087387f, amplitude = float(wave);
    std::vector<float> rowShift(h), columnShift(w);
    for (int y = 0; y < h; ++y)
        rowShift[y] = amplitude * std::sin(float(y) * step);
    for (int x = 0; x < w; ++x)
        columnShift[x] = amplitude * std::cos(float(x) * step);
    const float* rows = rowShift.data();
    const float* columns = columnShift.data();
    _MapPixels([=](int x, int y, float& sx, float& sy) {
        sx = float(x) + rows[y];
        sy = float(y) + columns[x];
        return true;
    });
}

void CVelvix_FineArts::BathroomWindowEffect1()
{
    if (!IsValidObject())
        return;
    // Each row reads only itself: a copy of the row stands in for the saved copy.
    const int w = GetWidth(), h = GetHeight();
    VxPixel* data = GetImageData();
    VxParallelRows(h, (long long)w * h, [&](int first, int last) {
        std::vector<VxPixel> saved(w);
        for (int y = first; y < last; ++y) {
            VxPixel* row = data + std::ptrdiff_t(y) * w;
            std::copy(row, row + w, saved.begin());
            for (int x = 0; x < w; ++x) {
                const int sx = x + (x % 32) - 16;
                if (sx >= 0 && sx < w)
                    row[x] = saved[sx];
            }
        }
    });
}

void CVelvix_FineArts::ImageSolarization()
{
    if (!IsValidObject())
        return;
    // p <= W * x * 127.5, kept exact as 2p <= 255 * W * x. Each pixel reads
    // only itself, so no copy is needed.
    const int w = GetWidth(), h = GetHeight();
    VxPixel* data = GetImageData();
    VxParallelRows(h, (long long)w * h, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            VxPixel* row = data + std::ptrdiff_t(y) * w;
            for (int x = 0; x < w; ++x) {
                const std::uint64_t p = row[x] & 0xFFFFFFu;
                if (2 * p <= 255ull * std::uint64_t(w) * std::uint64_t(x))
                    row[x] = ~VxPixel(p) & 0xFFFFFFu;
            }
        }
    });
}

void CVelvix_FineArts::ReliefMap()
{
    if (!IsValidObject())
        return;
    // In place: pixel (x + 2, y + 2) is read before it changes. The difference
    // is taken on whole pixel values; the top byte is cleared, as in every
    // pixel the library writes.
    const int w = GetWidth(), h = GetHeight();
    VxPixel* data = GetImageData();
    for (int y = 0; y + 2 < h; ++y) {
        VxPixel* row = data + std::ptrdiff_t(y) * w;
        const VxPixel* above = data + std::ptrdiff_t(y + 2) * w + 2;
        for (int x = 0; x + 2 < w; ++x)
            row[x] = (row[x] - above[x] + 128u) & 0xFFFFFFu;
    }
}

void CVelvix_FineArts::MeltEffect()
{
    MeltEffect(unsigned(std::chrono::system_clock::now().time_since_epoch().count()));
}

void CVelvix_FineArts::MeltEffect(unsigned int seed)
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight();
    if (h < 2)
        return;
    VxPixel* data = GetImageData();
    MeltRandom random(seed);
    const long long swaps = (long long)w * h;
    for (long long i = 0; i < swaps; ++i) {
        const double u1 = random.Next() / 32767.0;
        const double u2 = random.Next() / 32767.0;
        const int x = int(u1 * (w - 1)), y = int(u2 * (h - 2));
        VxPixel& lower = data[std::ptrdiff_t(y) * w + x];
        VxPixel& upper = data[std::ptrdiff_t(y + 1) * w + x];
        if (lower <= upper)
            std::swap(lower, upper);
    }
}

VxPixel CVelvix_FineArts::_GetMostUsed(int x, int y, int n, _ColorInfo* table)
{
    for (int j = 0; j < n * n; ++j)
        table[j] = {};
    return MostUsed(m_pOldData, GetWidth(), GetHeight(), x, y, n, table);
}

void CVelvix_FineArts::OilPaint(int n)
{
    if (!IsValidObject() || n < 1 || n > 5)
        return;
    if (!COPY_DATA())
        return;
    const int w = GetWidth(), h = GetHeight();
    const VxPixel* src = m_pOldData;
    VxPixel* dst = GetImageData();
    VxParallelRows(h, (long long)w * h * n, [&](int first, int last) {
        _ColorInfo groups[25];
        for (int y = first; y < last; ++y)
            for (int x = 0; x < w; ++x)
                dst[std::ptrdiff_t(y) * w + x] = MostUsed(src, w, h, x, y, n, groups);
    });
    DELETE_DATA();
}
