#include "effects/fine_arts.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <vector>

#include "effects/sampling.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Offset (dx, dy) from the centre in polar form, as CartesianToPolar gives it:
// the angle is the plain arc tangent of the ratio, so it covers a half turn.
inline void Polar(int dx, int dy, float& r, float& theta)
{
    r = std::sqrt(float(dx * dx + dy * dy));
    theta = std::atan(float(dy) / float(dx));
}

// Two colours belong to one oil-paint group when their whole values differ by
// less than 0x0A0A0A (on the signed 32-bit difference).
constexpr std::uint32_t kCloseness = 657930;

// One counting pass of the oil paint: clears and counts the pixels from index
// `begin` on (a multiple of 8) that are still unassigned and close to `seed`.
// square and unassigned hold 128 entries; entries past the square are 0.
int CountClosePlain(const VxPixel* square, std::int32_t* unassigned, int begin, int end, VxPixel seed)
{
    int count = 0;
    for (int i = begin; i < end; ++i)
        if (unassigned[i] && std::uint32_t(seed - square[i] + (kCloseness - 1)) < 2 * kCloseness - 1) {
            unassigned[i] = 0;
            ++count;
        }
    return count;
}

#if defined(__x86_64__) || defined(__i386__)
// |seed - p| < limit is an unsigned comparison; biased to signed for SIMD.
__attribute__((target("avx2,popcnt"))) int CountCloseAvx2(const VxPixel* square, std::int32_t* unassigned, int begin,
                                                          int end, VxPixel seed)
{
    const __m256i bias = _mm256_set1_epi32(int(0x80000000u));
    const __m256i offset = _mm256_set1_epi32(int(kCloseness - 1));
    const __m256i bound = _mm256_set1_epi32(int((2 * kCloseness - 1) ^ 0x80000000u));
    const __m256i seeds = _mm256_set1_epi32(int(seed));
    int count = 0;
    for (int i = begin; i < end; i += 8) {
        const __m256i p = _mm256_load_si256(reinterpret_cast<const __m256i*>(square + i));
        __m256i left = _mm256_load_si256(reinterpret_cast<const __m256i*>(unassigned + i));
        const __m256i distance = _mm256_xor_si256(_mm256_add_epi32(_mm256_sub_epi32(seeds, p), offset), bias);
        const __m256i close = _mm256_and_si256(_mm256_cmpgt_epi32(bound, distance), left);
        left = _mm256_andnot_si256(close, left);
        _mm256_store_si256(reinterpret_cast<__m256i*>(unassigned + i), left);
        count += _mm_popcnt_u32(unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(close))));
    }
    return count;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// FirstGroupCounts for eight neighbouring squares at once.
__attribute__((target("avx2"))) int FirstGroupCountsAvx2(const VxPixel* src, int w, int y, int n, int first,
                                                        int last, int* counts)
{
    const int side = 2 * n + 1;
    const __m256i bias = _mm256_set1_epi32(int(0x80000000u));
    const __m256i offset = _mm256_set1_epi32(int(kCloseness - 1));
    const __m256i bound = _mm256_set1_epi32(int((2 * kCloseness - 1) ^ 0x80000000u));
    int x = first;
    for (; x + 8 <= last; x += 8) {
        const VxPixel* corner = src + std::ptrdiff_t(y - n) * w + (x - n);
        const __m256i seeds = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(corner));
        __m256i count = _mm256_setzero_si256();
        for (int j = 0; j < side; ++j) {
            const VxPixel* row = corner + std::ptrdiff_t(j) * w;
            for (int i = 0; i < side; ++i) {
                const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
                const __m256i distance = _mm256_xor_si256(_mm256_add_epi32(_mm256_sub_epi32(seeds, p), offset), bias);
                count = _mm256_sub_epi32(count, _mm256_cmpgt_epi32(bound, distance));
            }
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(counts + (x - first)), count);
    }
    return x;
}
#endif

using CountClose = int (*)(const VxPixel*, std::int32_t*, int, int, VxPixel);

CountClose ChooseCountClose()
{
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt"))
        return CountCloseAvx2;
#endif
    return CountClosePlain;
}

// The most used colour group of the square of side 2n + 1 around (x, y).
// Scanning in order, a pixel joins the first group whose colour it is close
// to, or claims the next free record. Group k therefore holds exactly the
// pixels close to its colour among those close to none of the groups before
// it, and its colour is the first such pixel in scan order: each group is
// counted in one pass over the square, whatever the order within it. The
// passes stop once no later group can reach the leader (ties go to the
// earlier group).
// The square around one pixel, gathered for the counting passes, with one
// "unassigned" lane per pixel.
struct Square {
    alignas(32) VxPixel pixels[136];
    alignas(32) std::int32_t unassigned[128];
    int total, end;
    VxPixel own;
};

void Gather(const VxPixel* src, int w, int h, int x, int y, int n, Square& square)
{
    const int left = std::max(0, x - n), right = std::min(w - 1, x + n);
    const int bottom = std::max(0, y - n), top = std::min(h - 1, y + n);
    const int perRow = right - left + 1;
    const std::ptrdiff_t bufferSize = std::ptrdiff_t(w) * h;
    VxPixel* pixels = square.pixels;
    int total = 0;
    for (int yy = bottom; yy <= top; ++yy, total += perRow) {
        const std::ptrdiff_t rowStart = std::ptrdiff_t(yy) * w + left;
        const VxPixel* row = src + rowStart;
#if defined(__SSE2__)
        // Twelve pixels at a time (the surplus is overwritten by the next row
        // or cleared below); a loop of variable length would become a call.
        if (rowStart + 12 <= bufferSize) {
            for (int i = 0; i < 12; i += 4)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + total + i),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)));
            continue;
        }
#endif
        std::copy(row, row + perRow, pixels + total);
    }
    const int end = (total + 7) & ~7;
#if defined(__SSE2__)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + total), _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + total + 4), _mm_setzero_si128());
    const __m128i size = _mm_set1_epi32(total), four = _mm_set1_epi32(4);
    __m128i index = _mm_setr_epi32(0, 1, 2, 3);
    for (int i = 0; i < end; i += 4, index = _mm_add_epi32(index, four))
        _mm_store_si128(reinterpret_cast<__m128i*>(square.unassigned + i), _mm_cmplt_epi32(index, size));
#else
    for (int i = total; i < end; ++i)
        pixels[i] = 0;
    for (int i = 0; i < end; ++i)
        square.unassigned[i] = i < total ? -1 : 0;
#endif
    square.total = total;
    square.end = end;
    square.own = src[std::ptrdiff_t(y) * w + x];
}

template <typename Record>
VxPixel MostUsedOf(Square& square, int n, Record* groups, CountClose countClose)
{
    const int capacity = n * n;
    int used = 0, best = 0, bestCount = 0, left_over = square.total, first = 0;
    while (used < capacity && left_over > 0) {
#if defined(__SSE2__)
        // The next seed: the first unassigned pixel, four at a time.
        int lanes;
        first &= ~3;
        while ((lanes = _mm_movemask_ps(_mm_load_ps(reinterpret_cast<const float*>(square.unassigned + first)))) == 0)
            first += 4;
        first += __builtin_ctz(unsigned(lanes));
#else
        while (!square.unassigned[first])
            ++first;
#endif
        const VxPixel seed = square.pixels[first];
        const int count = countClose(square.pixels, square.unassigned, first & ~7, square.end, seed);
        groups[used] = {seed, count, true};
        if (count > bestCount) {
            best = used;
            bestCount = count;
        }
        ++used;
        left_over -= count;
        if (bestCount >= left_over)
            break;
    }
    return bestCount == 1 ? square.own : groups[best].color;
}

template <typename Record>
VxPixel MostUsed(const VxPixel* src, int w, int h, int x, int y, int n, Record* groups, CountClose countClose)
{
    Square square;
    Gather(src, w, h, x, y, n, square);
    return MostUsedOf(square, n, groups, countClose);
}

// For squares wholly inside the picture: how many pixels of the square around
// (x, y) are close to its first pixel (x - n, y - n), for x in [first, last).
// Whenever that first group holds at least half of the square, it wins.
// Counted for four neighbouring squares at once: their first pixels, and the
// pixels at any one offset within them, are four consecutive pixels.
void FirstGroupCounts(const VxPixel* src, int w, int y, int n, int first, int last, int* counts, bool avx2)
{
    const int side = 2 * n + 1;
    int x = first;
#if defined(__x86_64__) || defined(__i386__)
    if (avx2)
        x = FirstGroupCountsAvx2(src, w, y, n, first, last, counts);
#endif
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi32(int(0x80000000u));
    const __m128i offset = _mm_set1_epi32(int(kCloseness - 1));
    const __m128i bound = _mm_set1_epi32(int((2 * kCloseness - 1) ^ 0x80000000u));
    for (; x + 4 <= last; x += 4) {
        const VxPixel* corner = src + std::ptrdiff_t(y - n) * w + (x - n);
        const __m128i seeds = _mm_loadu_si128(reinterpret_cast<const __m128i*>(corner));
        __m128i count = _mm_setzero_si128();
        for (int j = 0; j < side; ++j) {
            const VxPixel* row = corner + std::ptrdiff_t(j) * w;
            for (int i = 0; i < side; ++i) {
                const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
                const __m128i distance = _mm_xor_si128(_mm_add_epi32(_mm_sub_epi32(seeds, p), offset), bias);
                count = _mm_sub_epi32(count, _mm_cmplt_epi32(distance, bound));
            }
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(counts + (x - first)), count);
    }
#endif
    for (; x < last; ++x) {
        const VxPixel* corner = src + std::ptrdiff_t(y - n) * w + (x - n);
        int count = 0;
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i)
                count += std::uint32_t(corner[0] - corner[std::ptrdiff_t(j) * w + i] + (kCloseness - 1)) <
                         2 * kCloseness - 1;
        counts[x - first] = count;
    }
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
    CVelvixBitmap copy;
    if (!IsValidObject() || !_SaveCopy(copy))
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
    m_pOldData = nullptr;
}

namespace {

struct Offset {
    float x, y;
};

// The cheap half of a polar mapping: the shared offset, negated for offsets
// left of the centre, plus the centre.
struct FromCentre {
    float cx, cy;
    void operator()(int, int, int dx, int, const Offset& o, float& sx, float& sy) const
    {
        float x = o.x, y = o.y;
        if (dx < 0) {
            x = -x;
            y = -y;
        }
        sx = x + cx;
        sy = y + cy;
    }
};

} // namespace

bool CVelvix_FineArts::_SaveCopy(CVelvixBitmap& copy)
{
    DELETE_DATA();
    const std::size_t pixels = std::size_t(GetWidth()) * std::size_t(GetHeight());
    if (!copy.Allocate(pixels))
        return false;
    VxCopyPixels(copy.Data(), GetImageData(), pixels);
    m_pOldData = copy.Data();
    return true;
}

template <typename Shared, typename OffsetFn, typename SourceFn>
void CVelvix_FineArts::_MapSymmetric(bool dyRatio, OffsetFn offset, SourceFn source)
{
    CVelvixBitmap copy;
    if (!IsValidObject() || !_SaveCopy(copy))
        return;
    const int w = GetWidth(), h = GetHeight();
    const VxPixel* src = m_pOldData;
    VxPixel* dst = GetImageData();
    VxSymmetricMap<Shared>(
        w, h, dyRatio,
        [w](int, int& begin, int& end) {
            begin = 0;
            end = w;
        },
        offset, source,
        [=](int x, int y, float sx, float sy) { VxBilinearIfInside(src, w, h, sx, sy, dst[std::ptrdiff_t(y) * w + x]); });
    m_pOldData = nullptr;
}

void CVelvix_FineArts::FishEyeEffect()
{
    if (!IsValidObject())
        return;
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    // Distance from the centre to the far corner pixel, which maps to itself.
    const float far = GetRadius(GetWidth() - hw - 1, GetHeight() - hh - 1);
    _MapSymmetric<Offset>(
        true,
        [=](int dx, int dy, Offset& o) {
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dx, dy, r, theta);
            VxPolarToCartesian(r * r / far, theta, o.x, o.y);
            return true;
        },
        FromCentre{float(hw), float(hh)});
}

void CVelvix_FineArts::SwirlEffect(float k)
{
    if (!IsValidObject())
        return;
    const float perRadius = 1 / k;
    _MapSymmetric<Offset>(
        true,
        [=](int dx, int dy, Offset& o) {
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dx, dy, r, theta);
            VxPolarToCartesian(r, theta + r * perRadius, o.x, o.y);
            return true;
        },
        FromCentre{float(GetHalfWidth()), float(GetHalfHeight())});
}

void CVelvix_FineArts::Caricature()
{
    if (!IsValidObject())
        return;
    const int w = GetWidth(), h = GetHeight(), hw = GetHalfWidth(), hh = GetHalfHeight();
    const float reference = float(w < h ? w - hw : h - hh);
    _MapSymmetric<Offset>(
        true,
        [=](int dx, int dy, Offset& o) {
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dx, dy, r, theta);
            VxPolarToCartesian(std::sqrt(r * reference), theta, o.x, o.y);
            return true;
        },
        FromCentre{float(hw), float(hh)});
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
        _MapSymmetric<Offset>(
            true,
            [=](int dx, int dy, Offset& o) {
                if (dx == 0 && dy == 0)
                    return false;
                float r, theta;
                Polar(dx, dy, r, theta);
                o = {cx * (theta / quarter), cy * (r / reference)};
                return true;
            },
            FromCentre{cx, cy});
        return;
    }
    // Portrait: the angle from the vertical axis spreads down the height and
    // the distance across the width, mirrored through the centre for the
    // lower half; the landscape mapping of the picture turned on its side.
    const float quarter = GetAngle(0, w - hw);
    const float reference = float(w - hw);
    _MapSymmetric<Offset>(
        false,
        [=](int dx, int dy, Offset& o) {
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dy, dx, r, theta);
            o = {cx * (r / reference), cy * (theta / quarter)};
            return true;
        },
        [=](int, int, int, int dy, const Offset& o, float& sx, float& sy) {
            float x = o.x, y = o.y;
            if (dy < 0) {
                x = -x;
                y = -y;
            }
            sx = cx + x;
            sy = cy + y;
        });
}

void CVelvix_FineArts::BathroomWindowEffect2()
{
    if (!IsValidObject())
        return;
    _MapSymmetric<float>(
        true,
        [](int dx, int dy, float& shift) {
            if (dx == 0 && dy == 0)
                return false;
            float r, theta;
            Polar(dx, dy, r, theta);
            shift = std::fmod(0.1f * r + theta, 32.0f);
            return true;
        },
        [](int x, int y, int, int, float shift, float& sx, float& sy) {
            sx = float(x) + shift - 16.0f;
            sy = float(y);
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
    return MostUsed(m_pOldData, GetWidth(), GetHeight(), x, y, n, table, ChooseCountClose());
}

void CVelvix_FineArts::OilPaint(int n)
{
    if (!IsValidObject() || n < 1 || n > 5)
        return;
    CVelvixBitmap copy;
    if (!_SaveCopy(copy))
        return;
    const int w = GetWidth(), h = GetHeight();
    const VxPixel* src = m_pOldData;
    VxPixel* dst = GetImageData();
    const CountClose countClose = ChooseCountClose();
    const bool avx2 = countClose != CountClosePlain;
    const int side = 2 * n + 1;
    VxParallelRows(h, (long long)w * h * n, [&](int first, int last) {
        _ColorInfo table[25];
        std::vector<int> firstGroup(std::max(w - 2 * n, 0));
        for (int y = first; y < last; ++y) {
            VxPixel* out = dst + std::ptrdiff_t(y) * w;
            const bool rowsInside = y - n >= 0 && y + n < h;
            int x = 0;
            if (rowsInside && w - 2 * n > 0) {
                for (; x < n; ++x)
                    out[x] = MostUsed(src, w, h, x, y, n, table, countClose);
                FirstGroupCounts(src, w, y, n, n, w - n, firstGroup.data(), avx2);
                for (; x < w - n; ++x) {
                    if (2 * firstGroup[x - n] >= side * side)
                        out[x] = src[std::ptrdiff_t(y - n) * w + (x - n)];
                    else
                        out[x] = MostUsed(src, w, h, x, y, n, table, countClose);
                }
            }
            for (; x < w; ++x)
                out[x] = MostUsed(src, w, h, x, y, n, table, countClose);
        }
    });
    m_pOldData = nullptr;
}
