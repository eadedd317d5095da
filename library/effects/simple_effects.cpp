#include "effects/simple_effects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/histogram.h"
#include "effects/kernels.h"
#include "effects/row_filter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t kParallelPixels = 1u << 16;

// fn(pixel) -> new pixel, on every pixel, on all cores.
template <typename Fn>
void MapPixels(VxPixel* pixels, std::size_t n, Fn fn)
{
    VxParallelPieces(n, n >= kParallelPixels, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            pixels[i] = fn(pixels[i]);
    });
}

// A floating-point channel value truncated and limited to 0..255.
[[gnu::always_inline]] inline std::uint8_t Channel(double v)
{
    if (!(v > 0))
        return 0;
    return v >= 255.0 ? 255 : std::uint8_t(int(v));
}

[[gnu::always_inline]] inline int R(VxPixel p) { return int((p >> 16) & 0xFF); }
[[gnu::always_inline]] inline int G(VxPixel p) { return int((p >> 8) & 0xFF); }
[[gnu::always_inline]] inline int B(VxPixel p) { return int(p & 0xFF); }
[[gnu::always_inline]] inline VxPixel Pack(int r, int g, int b) { return VxPixel(r) << 16 | VxPixel(g) << 8 | VxPixel(b); }

// The sums of the red, green and blue values of n pixels, on all cores.
void SumChannels(const VxPixel* pixels, std::size_t n, std::uint64_t (&totals)[3])
{
    const bool parallel = n >= kParallelPixels;
    const std::size_t workers = parallel ? VxCores() : 1;
    std::vector<std::uint64_t> partial(workers * 3, 0);
    VxParallelPieces(n, parallel, [&](std::size_t worker, std::size_t begin, std::size_t end) {
        std::uint64_t r = 0, g = 0, b = 0;
        std::size_t i = begin;
#if defined(__SSE2__)
        // Blocks of 512 pixels: each byte position summed in 16-bit lanes
        // (at most 256 values of 255 each), then added to the totals.
        const __m128i zero = _mm_setzero_si128();
        for (; i + 512 <= end; i += 512) {
            __m128i sums = zero;
            for (std::size_t k = i; k < i + 512; k += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + k));
                sums = _mm_add_epi16(sums, _mm_add_epi16(_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)));
            }
            alignas(16) std::uint16_t lanes[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
            b += std::uint64_t(lanes[0]) + lanes[4], g += std::uint64_t(lanes[1]) + lanes[5];
            r += std::uint64_t(lanes[2]) + lanes[6];
        }
#endif
        for (; i < end; ++i) {
            r += R(pixels[i]);
            g += G(pixels[i]);
            b += B(pixels[i]);
        }
        partial[worker * 3] += r, partial[worker * 3 + 1] += g, partial[worker * 3 + 2] += b;
    });
    for (std::size_t w = 0; w < workers; ++w)
        for (int c = 0; c < 3; ++c)
            totals[c] += partial[w * 3 + c];
}

} // namespace

#define VX_PIXELS                                                                          \
    if (!IsValidObject())                                                                  \
        return;                                                                            \
    [[maybe_unused]] VxPixel* pixels = GetImageData();                                     \
    [[maybe_unused]] const std::size_t count = std::size_t(GetWidth()) * std::size_t(GetHeight())

void CVelvix_SimpleEffects::RedFilter()
{
    VX_PIXELS;
    MapPixels(pixels, count, [](VxPixel p) { return p & 0xFF0000u; });
}

void CVelvix_SimpleEffects::GreenFilter()
{
    VX_PIXELS;
    MapPixels(pixels, count, [](VxPixel p) { return p & 0x00FF00u; });
}

void CVelvix_SimpleEffects::BlueFilter()
{
    VX_PIXELS;
    MapPixels(pixels, count, [](VxPixel p) { return p & 0x0000FFu; });
}

void CVelvix_SimpleEffects::Negative()
{
    VX_PIXELS;
    MapPixels(pixels, count, [](VxPixel p) { return ~p & 0xFFFFFFu; });
}

namespace {

// The double sum of the definition, truncated; the plain loop of processors without AVX2.
void Grey(VxPixel* __restrict pixels, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const VxPixel p = pixels[i];
        const double g = double(G(p)) * 0.587 + double(R(p)) * 0.299 + double(B(p)) * 0.114;
        pixels[i] = VxPixel(int(g)) * 0x010101u;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// With S = 587 G + 299 R + 114 B the double sum truncates to floor(S / 1000),
// except where S is a multiple of 1000 and the rounded products add up to just
// below it. For each red and green at most one blue makes S such a multiple
// (114 b = -S mod 1000 has one solution below 500), so one bit per red-green
// pair says whether that pixel's grey is one less.
class GreyRoundDown {
public:
    GreyRoundDown()
    {
        for (int r = 0; r < 256; ++r)
            for (int g = 0; g < 256; ++g) {
                const int missing = (1000 - (587 * g + 299 * r) % 1000) % 1000;
                if (missing % 2)
                    continue;
                const int b = missing / 2 * 193 % 500;  // 57 x 193 = 1 mod 500
                if (b > 255)
                    continue;
                const double sum = double(g) * 0.587 + double(r) * 0.299 + double(b) * 0.114;
                if (int(sum) < (587 * g + 299 * r + 114 * b) / 1000)
                    m_Bits[r << 3 | g >> 5] |= 1u << (g & 31);
            }
    }
    bool operator()(VxPixel p) const { return (m_Bits[(p >> 13) & 0x7FF] >> ((p >> 8) & 31)) & 1; }

private:
    std::uint32_t m_Bits[2048] = {};
};

// Built once, by baseline code (the sums must be the plain loop's).
[[gnu::noinline]] const GreyRoundDown& RoundDown()
{
    static const GreyRoundDown bits;
    return bits;
}

// Eight pixels a step in integers: S from two multiply-adds of 16-bit halves,
// floor(S / 1000) through a float that stays far from an integer, and where
// S is a nonzero multiple of 1000 the bit decides.
VX_TARGET_AVX2 void GreyAvx2(VxPixel* pixels, std::size_t n)
{
    const GreyRoundDown& roundDown = RoundDown();
    const __m256i low = _mm256_set1_epi32(0x00FF00FF), blueRed = _mm256_set1_epi32(299 << 16 | 114),
                  green = _mm256_set1_epi32(587), one = _mm256_set1_epi32(1), thousand = _mm256_set1_epi32(1000);
    const __m256 half = _mm256_set1_ps(0.5f), thousandth = _mm256_set1_ps(0.001f);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i));
        const __m256i s = _mm256_add_epi32(_mm256_madd_epi16(_mm256_and_si256(p, low), blueRed),
                                           _mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi32(p, 8), low), green));
        __m256i grey = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(s), half), thousandth));
        // S = 1000 max(grey, 1): a multiple of 1000 other than 0.
        const __m256i multiple = _mm256_cmpeq_epi32(s, _mm256_mullo_epi32(_mm256_max_epi32(grey, one), thousand));
        if (const int lanes = _mm256_movemask_ps(_mm256_castsi256_ps(multiple))) {
            alignas(32) std::int32_t values[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(values), grey);
            for (int k = 0; k < 8; ++k)
                values[k] -= (lanes >> k & 1) && roundDown(pixels[i + k]);
            grey = _mm256_load_si256(reinterpret_cast<const __m256i*>(values));
        }
        // The grey byte into the three colour bytes (bytes 4 k of each 128-bit half).
        grey = _mm256_shuffle_epi8(grey, _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128,
                                                          0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i), grey);
    }
    Grey(pixels + i, n - i);
}
#endif

} // namespace

void CVelvix_SimpleEffects::ConvertToGrayScale()
{
    VX_PIXELS;
    const bool avx2 = VxKernels().avx2;
    VxParallelPieces(count, count >= kParallelPixels, [&](std::size_t, std::size_t begin, std::size_t end) {
#if defined(__x86_64__) || defined(__i386__)
        if (avx2)
            return GreyAvx2(pixels + begin, end - begin);
#endif
        Grey(pixels + begin, end - begin);
    });
}

void CVelvix_SimpleEffects::Brighten(unsigned char amount)
{
    VX_PIXELS;
    MapPixels(pixels, count, [amount](VxPixel p) {
        const int step = std::min(int(amount), 255 - std::max(R(p), std::max(G(p), B(p))));
        return (p & 0xFFFFFFu) + VxPixel(step) * 0x010101u;
    });
}

void CVelvix_SimpleEffects::ChangeContrast(int k)
{
    VX_PIXELS;
    std::uint64_t totals[3] = {0, 0, 0};
    SumChannels(pixels, count, totals);
    // The channel sums are integers below 2^53, so their double sums are exact.
    std::uint8_t table[3][256];
    for (int c = 0; c < 3; ++c) {
        const int mean = int(double(totals[c]) / double(count));
        for (int v = 0; v < 256; ++v)
            table[c][v] = Channel(double(v) + std::trunc(double(v - mean) * (1.0 / 255) * double(k)));
    }
    VxApplyChannelTables(pixels, count, table[0], table[1], table[2]);
}

void CVelvix_SimpleEffects::Normalize(double d)
{
    VX_PIXELS;
    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = Channel(double(v) * (1.0 / 255) * (255 - d * 0.5) + d * 0.5);
    VxApplyChannelTables(pixels, count, table, table, table);
}

void CVelvix_SimpleEffects::GammaCorrection(double gain)
{
    VX_PIXELS;
    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = Channel(double(v) * gain);
    VxApplyChannelTables(pixels, count, table, table, table);
}

namespace {

struct CenterGradient {
    double a, maximum;
    float reference;
    int width, height, hw, hh;
};

// The image object's radius: a float square root.
[[gnu::always_inline]] inline float Radius(int dx, int dy)
{
    return std::sqrt(float(dx * dx + dy * dy));
}

// The factors of the pixels dx = 0 .. count - 1 columns from the centre of a
// row dy rows from it, limited to 0 .. 255 (NaN to 0): channel values 0 .. 255
// times the limited factor limit to the same bytes.
[[gnu::always_inline]] inline void GradientFactors(const CenterGradient& c, int dy, double* __restrict factor, int dx,
                                                   int count)
{
    for (; dx < count; ++dx) {
        const double q = std::min(double(c.reference) / double(Radius(dx, dy)), 3.0);
        const double f = std::min((q - 1) * c.a + 1, c.maximum);
        factor[dx] = f > 0 ? std::min(f, 255.0) : 0.0;
    }
}

[[gnu::always_inline]] inline void ScaleChannels(const double* __restrict factor, VxPixel* __restrict row, int x,
                                                 int count)
{
    for (; x < count; ++x) {
        const double f = factor[x];
        const VxPixel p = row[x];
        row[x] = Pack(Channel(R(p) * f), Channel(G(p) * f), Channel(B(p) * f));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Four columns at a time, with the scalar steps' exact operations: float
// radius, double quotient and factor, and the minima written so that they
// pick the same operand as std::min (also for a NaN argument).
VX_TARGET_AVX2 void GradientFactorsAvx2(const CenterGradient& c, int dy, double* factor, int count)
{
    const __m128i dy2 = _mm_set1_epi32(dy * dy), step = _mm_set1_epi32(4);
    const __m256d reference = _mm256_set1_pd(double(c.reference)), three = _mm256_set1_pd(3.0),
                  one = _mm256_set1_pd(1.0), a = _mm256_set1_pd(c.a), maximum = _mm256_set1_pd(c.maximum),
                  zero = _mm256_setzero_pd(), top = _mm256_set1_pd(255.0);
    __m128i dx = _mm_setr_epi32(0, 1, 2, 3);
    int x = 0;
    for (; x + 4 <= count; x += 4, dx = _mm_add_epi32(dx, step)) {
        const __m128 r = _mm_sqrt_ps(_mm_cvtepi32_ps(_mm_add_epi32(_mm_mullo_epi32(dx, dx), dy2)));
        const __m256d q = _mm256_min_pd(three, _mm256_div_pd(reference, _mm256_cvtps_pd(r)));
        const __m256d f = _mm256_min_pd(maximum, _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(q, one), a), one));
        _mm256_storeu_pd(factor + x, _mm256_min_pd(_mm256_max_pd(f, zero), top));
    }
    GradientFactors(c, dy, factor, x, count);
}

// trunc(v x f) for a factor already limited to 0 .. 255: at most 255 x 255,
// limited to 255 by the saturating packs below.
VX_TARGET_AVX2 inline __m128i ScaledChannelAvx2(__m128i v, __m256d f)
{
    return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(v), f));
}

VX_TARGET_AVX2 void ScaleChannelsAvx2(const double* factor, VxPixel* row, int count)
{
    // Four pixels' blue, green and red bytes side by side, and back.
    const __m128i planes = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, -128, -128, -128, -128),
                  pixels = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 12, 2, 6, 10, 12, 3, 7, 11, 12);
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m256d f = _mm256_loadu_pd(factor + x);
        const __m128i bytes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), planes);
        const __m128i blue = ScaledChannelAvx2(_mm_cvtepu8_epi32(bytes), f);
        const __m128i green = ScaledChannelAvx2(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 4)), f);
        const __m128i red = ScaledChannelAvx2(_mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8)), f);
        const __m128i packed =
            _mm_packus_epi16(_mm_packs_epi32(blue, green), _mm_packs_epi32(red, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_shuffle_epi8(packed, pixels));
    }
    ScaleChannels(factor, row, x, count);
}
#endif

void GradientFactorsPlain(const CenterGradient& c, int dy, double* factor, int count)
{
    GradientFactors(c, dy, factor, 0, count);
}

void ScaleChannelsPlain(const double* factor, VxPixel* row, int count)
{
    ScaleChannels(factor, row, 0, count);
}

// The two rows d rows above and below the centre, which share their radii:
// the factors are computed once for the columns on one side of the centre and
// mirrored to the other.
template <typename Factors, typename Scale>
void CenterGradientRowPair(const CenterGradient& c, VxPixel* pixels, int d, std::vector<double>& half,
                           std::vector<double>& run, Factors factors, Scale scale)
{
    if (!(Radius(0, d) <= c.reference))
        return;
    // The radius grows with the distance from the centre column, so the
    // row's pixels inside the circle form one run; find its ends.
    int lo = 0, hi = c.hw;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        Radius(mid - c.hw, d) <= c.reference ? hi = mid : lo = mid + 1;
    }
    const int first = lo;
    lo = c.hw, hi = c.width - 1;
    while (lo < hi) {
        const int mid = hi - (hi - lo) / 2;
        Radius(mid - c.hw, d) <= c.reference ? lo = mid : hi = mid - 1;
    }
    const int last = lo;
    factors(c, d, half.data(), std::max(c.hw - first, last - c.hw) + 1);
    for (int x = first; x <= last; ++x)
        run[std::size_t(x - first)] = half[std::size_t(std::abs(x - c.hw))];
    auto row = [&](int y) { return pixels + std::size_t(y) * std::size_t(c.width) + first; };
    if (c.hh + d < c.height)
        scale(run.data(), row(c.hh + d), last - first + 1);
    if (d > 0 && c.hh - d >= 0)
        scale(run.data(), row(c.hh - d), last - first + 1);
}

} // namespace

void CVelvix_SimpleEffects::CenterGradientGammaCorrection(double gain, double maximum)
{
    VX_PIXELS;
    const int width = GetWidth(), height = GetHeight();
    const int hw = GetHalfWidth(), hh = GetHalfHeight();
    const float reference = width >= height ? GetRadius(0, height - hh) : GetRadius(width - hw, 0);
    // The maximum caps the brightening. Below 1 it would darken the whole
    // disc, so that a gain of 1 changed the picture and the rim showed a
    // step; there it means no brightening at all.
    const double ceiling = maximum < 1.0 ? 1.0 : maximum;
    const CenterGradient c{gain - 1, ceiling, reference, width, height, hw, hh};
    const bool avx2 = VxKernels().avx2;
    const int distances = std::max(hh, height - 1 - hh) + 1;
    VxParallelPieces(std::size_t(distances), count >= kParallelPixels,
                     [&](std::size_t, std::size_t begin, std::size_t end) {
        std::vector<double> half(std::size_t(width) + 1), run(static_cast<std::size_t>(width));
        for (int d = int(begin); d < int(end); ++d) {
#if defined(__x86_64__) || defined(__i386__)
            if (avx2) {
                CenterGradientRowPair(c, pixels, d, half, run, GradientFactorsAvx2, ScaleChannelsAvx2);
                continue;
            }
#endif
            CenterGradientRowPair(c, pixels, d, half, run, GradientFactorsPlain, ScaleChannelsPlain);
        }
    });
}

void CVelvix_SimpleEffects::HistogramEqualization()
{
    VX_PIXELS;
    VxChannelCounts counts;
    VxCountChannels(pixels, count, counts);
    // The running share of every value, summed in the order of the values,
    // gives each table entry exactly the number a per-pixel summation gives.
    std::uint8_t table[3][256];
    const double share = 1.0 / double(count);
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int v = 0; v < 256; ++v) {
            sum += double(counts.count[c][v]) * share;
            table[c][v] = Channel(std::min(255 * sum, 255.0));
        }
    }
    VxApplyChannelTables(pixels, count, table[0], table[1], table[2]);
}

namespace {

// Each channel moves toward its own target (the same channel of goal) by the
// smallest of the three distances.
[[gnu::always_inline]] inline void BalanceBody(const VxPixel* __restrict goal, VxPixel* __restrict pixels,
                                               std::size_t i, std::size_t n)
{
    for (; i < n; ++i) {
        const VxPixel p = pixels[i], e = goal[i];
        const int r = R(p), g = G(p), b = B(p), er = R(e), eg = G(e), eb = B(e);
        const int dr = er > r ? er - r : r - er, dg = eg > g ? eg - g : g - eg, db = eb > b ? eb - b : b - eb;
        const int dist = std::min(dr, std::min(dg, db));
        pixels[i] = Pack(er > r ? r + dist : r - dist, eg > g ? g + dist : g - dist, eb > b ? b + dist : b - dist);
    }
}

void Balance(const VxPixel* goal, VxPixel* pixels, std::size_t n)
{
    BalanceBody(goal, pixels, 0, n);
}

#if defined(__x86_64__) || defined(__i386__)
// Eight pixels in bytes: the distances up and down saturate at 0, so each
// channel gains min(up, step) and loses min(down, step).
VX_TARGET_AVX2 inline void BalanceEightAvx2(const VxPixel* goal, VxPixel* pixels)
{
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128, 0, 0, 0,
                                            -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    const __m256i e = _mm256_load_si256(reinterpret_cast<const __m256i*>(goal));
    const __m256i up = _mm256_subs_epu8(e, p), down = _mm256_subs_epu8(p, e), d = _mm256_or_si256(up, down);
    const __m256i least = _mm256_min_epu8(d, _mm256_min_epu8(_mm256_srli_epi32(d, 8), _mm256_srli_epi32(d, 16)));
    const __m256i step = _mm256_shuffle_epi8(least, spread);
    const __m256i moved = _mm256_sub_epi8(_mm256_add_epi8(p, _mm256_min_epu8(up, step)), _mm256_min_epu8(down, step));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), _mm256_and_si256(moved, _mm256_set1_epi32(0xFFFFFF)));
}

// Two stretches are moved side by side, which keeps more reads in flight, and
// the targets of each eight pixels are looked up a few steps before they are
// used, so that the table reads and the byte arithmetic overlap.
VX_TARGET_AVX2 void BalanceAvx2(const VxChannelLookup& lookup, VxPixel* pixels, std::size_t n)
{
    constexpr std::size_t kStretches = 2, kAhead = 2, kRing = 8;
    const std::size_t steps = n / (8 * kStretches), stretch = steps * 8;
    alignas(32) VxPixel goal[kStretches][kRing * 8];
    for (std::size_t j = 0; j < steps + kAhead; ++j) {
        if (j < steps)
            for (std::size_t s = 0; s < kStretches; ++s) {
                VxPixel* slot = goal[s] + j % kRing * 8;
                const VxPixel* from = pixels + s * stretch + j * 8;
                for (int k = 0; k < 8; ++k)
                    slot[k] = lookup(from[k]);
            }
        if (j >= kAhead)
            for (std::size_t s = 0; s < kStretches; ++s)
                BalanceEightAvx2(goal[s] + (j - kAhead) % kRing * 8, pixels + s * stretch + (j - kAhead) * 8);
    }
    const std::size_t done = kStretches * stretch;
    lookup.Apply(pixels + done, goal[0], n - done);
    BalanceBody(goal[0], pixels + done, 0, n - done);
}
#endif

} // namespace

void CVelvix_SimpleEffects::HistogramEqualizationColorBalanced()
{
    VX_PIXELS;
    VxChannelCounts counts;
    VxCountChannels(pixels, count, counts);
    std::uint8_t target[3][256];
    for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int v = 0; v < 256; ++v) {
            sum += double(counts.count[c][v]) / double(count);
            target[c][v] = std::uint8_t(int(std::min(255 * sum, 255.0)));
        }
    }
    const VxChannelLookup lookup(target[0], target[1], target[2]);
    const bool avx2 = VxKernels().avx2;
    VxParallelPieces(count, count >= kParallelPixels, [&](std::size_t, std::size_t begin, std::size_t end) {
#if defined(__x86_64__) || defined(__i386__)
        if (avx2)
            return BalanceAvx2(lookup, pixels + begin, end - begin);
#endif
        // The targets of a stretch of pixels, then the moves toward them.
        VxPixel goal[1024];
        for (std::size_t i = begin; i < end; i += 1024) {
            const std::size_t n = std::min<std::size_t>(1024, end - i);
            lookup.Apply(pixels + i, goal, n);
            Balance(goal, pixels + i, n);
        }
    });
}

namespace {

// The lightness of a colour depends only on the sum of its largest and
// smallest channel (0..510); so does its bin.
constexpr int kExtremeSums = 511;

[[gnu::always_inline]] inline int ExtremeSum(VxPixel p)
{
    return std::max(R(p), std::max(G(p), B(p))) + std::min(R(p), std::min(G(p), B(p)));
}

#if defined(__x86_64__) || defined(__i386__)
// One channel of the image object's HSL-to-RGB conversion for eight hues t.
VX_TARGET_AVX2 inline __m256i HslChannelAvx2(__m256 p, __m256 q, __m256 t)
{
    const __m256 f60 = _mm256_set1_ps(60.0f), f180 = _mm256_set1_ps(180.0f), f240 = _mm256_set1_ps(240.0f),
                 f360 = _mm256_set1_ps(360.0f), qp = _mm256_sub_ps(q, p);
    t = _mm256_blendv_ps(_mm256_blendv_ps(t, _mm256_add_ps(t, f360), _mm256_cmp_ps(t, _mm256_setzero_ps(), _CMP_LT_OQ)),
                         _mm256_sub_ps(t, f360), _mm256_cmp_ps(t, f360, _CMP_GT_OQ));
    __m256 c = p;
    c = _mm256_blendv_ps(c, _mm256_add_ps(p, _mm256_div_ps(_mm256_mul_ps(qp, _mm256_sub_ps(f240, t)), f60)),
                         _mm256_cmp_ps(t, f240, _CMP_LT_OQ));
    c = _mm256_blendv_ps(c, q, _mm256_cmp_ps(t, f180, _CMP_LT_OQ));
    c = _mm256_blendv_ps(c, _mm256_add_ps(p, _mm256_div_ps(_mm256_mul_ps(qp, t), f60)), _mm256_cmp_ps(t, f60, _CMP_LT_OQ));
    return _mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(c, _mm256_set1_ps(255.0f))), _mm256_set1_epi32(0xFF));
}

// Eight pixels at a time through the image object's HSL conversion (_GetHSL,
// then _SetHSL with the new lightness), with its float operations in its
// order, branches turned into selections. Returns how many pixels it did.
VX_TARGET_AVX2 std::size_t EqualizeLightnessAvx2(const float* newLightness, VxPixel* pixels, std::size_t n)
{
    const __m256i byte = _mm256_set1_epi32(0xFF), full = _mm256_set1_epi32(510);
    const __m256 scale = _mm256_set1_ps(kVxLightnessScale), half = _mm256_set1_ps(0.5f),
                 one = _mm256_set1_ps(1.0f), two = _mm256_set1_ps(2.0f), four = _mm256_set1_ps(4.0f),
                 six = _mm256_set1_ps(6.0f), f60 = _mm256_set1_ps(60.0f), f120 = _mm256_set1_ps(120.0f),
                 f255 = _mm256_set1_ps(255.0f), f360 = _mm256_set1_ps(360.0f);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i pixel = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + i));
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(pixel, 16), byte),
                      g = _mm256_and_si256(_mm256_srli_epi32(pixel, 8), byte), b = _mm256_and_si256(pixel, byte);
        const __m256i maxC = _mm256_max_epi32(r, _mm256_max_epi32(g, b)),
                      minC = _mm256_min_epi32(r, _mm256_min_epi32(g, b));
        const __m256i sum = _mm256_add_epi32(maxC, minC);
        const __m256 d = _mm256_cvtepi32_ps(_mm256_sub_epi32(maxC, minC));
        const __m256 l = _mm256_mul_ps(_mm256_cvtepi32_ps(sum), scale);
        const __m256 s = _mm256_blendv_ps(_mm256_div_ps(d, _mm256_cvtepi32_ps(_mm256_sub_epi32(full, sum))),
                                          _mm256_div_ps(d, _mm256_cvtepi32_ps(sum)), _mm256_cmp_ps(l, half, _CMP_LE_OQ));
        const __m256 rc = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(maxC, r)), d),
                     gc = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(maxC, g)), d),
                     bc = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(maxC, b)), d);
        __m256 h = _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(bc, gc), six), f60);
        h = _mm256_blendv_ps(h, _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(rc, bc), two), f60),
                             _mm256_castsi256_ps(_mm256_cmpeq_epi32(g, maxC)));
        h = _mm256_blendv_ps(h, _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(gc, rc), four), f60),
                             _mm256_castsi256_ps(_mm256_cmpeq_epi32(b, maxC)));
        h = _mm256_blendv_ps(h, _mm256_sub_ps(h, f360), _mm256_cmp_ps(h, f360, _CMP_GT_OQ));

        const __m256 L = _mm256_i32gather_ps(newLightness, sum, 4);
        const __m256 q = _mm256_blendv_ps(_mm256_sub_ps(_mm256_add_ps(L, s), _mm256_mul_ps(L, s)),
                                          _mm256_mul_ps(L, _mm256_add_ps(one, s)), _mm256_cmp_ps(L, half, _CMP_LE_OQ));
        const __m256 p = _mm256_sub_ps(_mm256_mul_ps(two, L), q);
        const __m256i colour = _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi32(HslChannelAvx2(p, q, _mm256_add_ps(h, f120)), 16),
                            _mm256_slli_epi32(HslChannelAvx2(p, q, h), 8)),
            HslChannelAvx2(p, q, _mm256_sub_ps(h, f120)));
        // Greys (largest = smallest) keep no hue: all three channels take the lightness.
        const __m256i grey = _mm256_mullo_epi32(_mm256_and_si256(_mm256_cvttps_epi32(_mm256_mul_ps(L, f255)), byte),
                                                _mm256_set1_epi32(0x010101));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i),
                            _mm256_blendv_epi8(colour, grey, _mm256_cmpeq_epi32(maxC, minC)));
    }
    return i;
}
#endif

} // namespace

void CVelvix_SimpleEffects::HistogramEqualizationHSL()
{
    VX_PIXELS;
    // Lightness (0..1) in 241 bins. Hue and saturation stay: equalizing the
    // circular hue would recolour the picture, and equalizing saturation
    // would tint every grey. The bins are counted by the integer sum that
    // decides the lightness.
    constexpr int kBins = 241;
    const bool parallel = count >= kParallelPixels;
    const std::size_t parts = parallel ? VxCores() : 1;
    std::vector<std::uint32_t> sums(parts * kExtremeSums, 0);
    VxParallelPieces(count, parallel, [&](std::size_t worker, std::size_t begin, std::size_t end) {
        std::uint32_t* counts = &sums[worker * kExtremeSums];
        for (std::size_t i = begin; i < end; ++i)
            ++counts[ExtremeSum(pixels[i])];
    });
    int binOfSum[kExtremeSums];
    std::uint64_t histogram[kBins] = {};
    for (int v = 0; v < kExtremeSums; ++v) {
        binOfSum[v] = std::clamp(int(float(v) * kVxLightnessScale * 240), 0, 240);
        for (std::size_t p = 0; p < parts; ++p)
            histogram[binOfSum[v]] += sums[p * kExtremeSums + std::size_t(v)];
    }
    float shares[kBins];
    double sum = 0;
    for (int v = 0; v < kBins; ++v) {
        sum += double(histogram[v]) / double(count);
        shares[v] = float(std::min(sum, 1.0));
    }
    float newLightness[kExtremeSums];
    for (int v = 0; v < kExtremeSums; ++v)
        newLightness[v] = shares[binOfSum[v]];
    const bool avx2 = VxKernels().avx2;
    VxParallelPieces(count, count >= kParallelPixels, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::size_t i = begin;
#if defined(__x86_64__) || defined(__i386__)
        if (avx2)
            i += EqualizeLightnessAvx2(newLightness, pixels + begin, end - begin);
#endif
        for (; i < end; ++i) {
            float h, s, l;
            GetHSL(int(i), h, s, l);
            SetHSL(int(i), h, s, newLightness[ExtremeSum(pixels[i])]);
        }
    });
}

void CVelvix_SimpleEffects::ShiftBlur(int n)
{
    VX_PIXELS;
    if (n < 1)
        return;
    // Pixel i reads pixel i + (i mod n) >= i, not yet changed in increasing
    // order. Each range also reads up to n - 1 pixels past its end; those are
    // saved before the ranges run in parallel.
    const std::size_t period = std::size_t(n);
    std::size_t parts = count >= kParallelPixels ? VxCores() : 1;
    if (period * 4 > count / parts)
        parts = 1;
    std::vector<VxPixel> saved;
    saved.reserve((parts - 1) * period);  // only what the parallel ranges save
    for (std::size_t p = 1; p < parts; ++p) {
        const std::size_t start = count * p / parts;
        const std::size_t stop = std::min(count, start + period);
        saved.insert(saved.end(), pixels + start, pixels + stop);
        saved.resize(p * period);
    }
    VxParallelRanges(parts, parts > 1, [&](std::size_t pBegin, std::size_t pEnd) {
        for (std::size_t p = pBegin; p < pEnd; ++p) {
            const std::size_t begin = count * p / parts, end = count * (p + 1) / parts;
            const VxPixel* after = p + 1 < parts ? saved.data() + p * period : nullptr;
            std::size_t offset = begin % period;
            for (std::size_t i = begin; i < end; ++i) {
                const std::size_t j = i + offset;
                if (j < end)
                    pixels[i] = pixels[j];
                else if (j < count)
                    pixels[i] = after ? after[j - end] : pixels[j];
                if (++offset == period)
                    offset = 0;
            }
        }
    });
}

void CVelvix_SimpleEffects::VerticalMirror()
{
    VX_PIXELS;
    const int width = GetWidth();
    VxParallelRanges(std::size_t(GetHeight()), count >= kParallelPixels, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y)
            std::reverse(pixels + y * width, pixels + (y + 1) * width);
    });
}

void CVelvix_SimpleEffects::HorizantalMirror()
{
    VX_PIXELS;
    const std::size_t width = std::size_t(GetWidth()), height = std::size_t(GetHeight());
    VxParallelRanges(height / 2, count >= kParallelPixels, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y)
            std::swap_ranges(pixels + y * width, pixels + (y + 1) * width, pixels + (height - 1 - y) * width);
    });
}

void CVelvix_SimpleEffects::DivideInto2Horizantal()
{
    VX_PIXELS;
    // Whole rows in the order of the column-wise definition: each step reads
    // a row that step has not overwritten yet (or, for an odd height, the
    // first row of the second copy, already written).
    const std::size_t width = std::size_t(GetWidth());
    const int height = GetHeight(), half = height / 2;
    const std::size_t rowBytes = width * sizeof(VxPixel);
    for (int y = 1; y < half; ++y)
        std::memcpy(pixels + std::size_t(y) * width, pixels + std::size_t(2 * y) * width, rowBytes);
    for (int y = half; y < height; ++y)
        if (y != y - half)
            std::memcpy(pixels + std::size_t(y) * width, pixels + std::size_t(y - half) * width, rowBytes);
}

void CVelvix_SimpleEffects::DivideInto2Vertical()
{
    VX_PIXELS;
    const int width = GetWidth(), half = width / 2;
    VxParallelRanges(std::size_t(GetHeight()), count >= kParallelPixels, [&](std::size_t begin, std::size_t end) {
        for (std::size_t y = begin; y < end; ++y) {
            VxPixel* row = pixels + y * width;
            for (int x = 0; x < half; ++x)
                row[x] = row[2 * x];
            for (int x = half; x < width; ++x)
                row[x] = row[x - half];
        }
    });
}

void CVelvix_SimpleEffects::Divide()
{
    DivideInto2Vertical();
    DivideInto2Horizantal();
}
