#include "duplicates/signature_compare.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace dif {

static_assert(std::endian::native == std::endian::little, "signatures are compared as little-endian words");

namespace {

// A channel distance sum of 39 and more is at least 5 % of 765.
constexpr int kDifferentSum = 39;
// Channels of a grey entry differ by at most this much (rounding in the
// codecs and the block averages).
constexpr int kGreyTolerance = 6;

// Grid rows in an order that spreads the first ones over the picture: two
// different pictures show it in few rows, so the count passes the limit
// early. The full count does not depend on the order.
constexpr std::size_t kRowOrder[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

std::uint32_t Load32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

int Distance(std::uint32_t a, std::uint32_t b)
{
    return std::abs(int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF)) +
           std::abs(int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF)) + std::abs(int(a & 0xFF) - int(b & 0xFF));
}

int CountDifferentPlain(const unsigned char* first, const unsigned char* second, int limit)
{
    int different = 0;
    for (std::size_t row : kRowOrder) {
        const std::size_t i = row * 16;
        for (std::size_t k = i; k < i + 16; ++k)
            different += Distance(Load32(first + 4 * k), Load32(second + 4 * k)) >= kDifferentSum;
        if (different > limit)
            break;
    }
    return different;
}

#if defined(__x86_64__)
// Eight entries per vector: byte-wise absolute differences of the colour
// bytes, summed per entry (unsigned x 1 into 16-bit pairs, then pairs into
// 32-bit), compared with the limit and counted from the sign mask.
__attribute__((target("avx2,popcnt"))) int CountDifferentAvx2(const unsigned char* first,
                                                             const unsigned char* second, int limit)
{
    const __m256i colours = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i ones8 = _mm256_set1_epi8(1);
    const __m256i ones16 = _mm256_set1_epi16(1);
    const __m256i below = _mm256_set1_epi32(kDifferentSum - 1);
    int different = 0;
    for (std::size_t row : kRowOrder) {
        const std::size_t i = row * 16;
        for (std::size_t k = i; k < i + 16; k += 8) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + 4 * k));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + 4 * k));
            const __m256i d = _mm256_and_si256(_mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a)), colours);
            const __m256i sums = _mm256_madd_epi16(_mm256_maddubs_epi16(d, ones8), ones16);
            const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(sums, below)));
            different += __builtin_popcount(unsigned(mask));
        }
        if (different > limit)
            break;
    }
    return different;
}

bool HaveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return have;
}
#endif

int Luminance(std::uint32_t v)
{
    const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

const unsigned char* Bytes(const Signature& signature)
{
    return reinterpret_cast<const unsigned char*>(signature.data());
}

// The numbers of filled blocks along a side of length >= n cut into n
// segments of the rounded-up length, ascending. Sides longer than n * n
// always fill all n.
const std::vector<int>& FilledSides(int n)
{
    static const auto table = [] {
        std::vector<std::vector<int>> sides(17);
        for (int segments = 1; segments <= 16; ++segments) {
            std::vector<int>& filled = sides[std::size_t(segments)];
            for (int length = segments; length <= segments * segments; ++length) {
                const int block = (length + segments - 1) / segments;
                filled.push_back(std::min(segments, (length + block - 1) / block));
            }
            std::sort(filled.begin(), filled.end());
            filled.erase(std::unique(filled.begin(), filled.end()), filled.end());
        }
        return sides;
    }();
    return table[std::size_t(n)];
}

} // namespace

int MaxDifferentEntries(int threshold)
{
    int d = int(kSignatureEntries);
    while (d >= 0 && MatchFromDifferent(d) < threshold)
        --d;
    return d;
}

int CountDifferent(const unsigned char* first, const unsigned char* second, int limit)
{
#if defined(__x86_64__)
    if (HaveAvx2())
        return CountDifferentAvx2(first, second, limit);
#endif
    return CountDifferentPlain(first, second, limit);
}

SPreparedSignature PrepareSignature(const unsigned char* signatureBytes)
{
    SPreparedSignature out;
    out.isGrey = true;
    for (std::size_t i = 0; i < kSignatureEntries; ++i) {
        const std::uint32_t v = Load32(signatureBytes + 4 * i) & 0xFFFFFF;
        out.colour[i] = v;
        const int r = int(v >> 16), g = int((v >> 8) & 0xFF), b = int(v & 0xFF);
        if (std::max({r, g, b}) - std::min({r, g, b}) > kGreyTolerance)
            out.isGrey = false;
        out.grey[i] = std::uint32_t(Luminance(v)) * 0x010101u;
    }
    return out;
}

std::vector<SGridLayout> CandidateLayouts(const Signature& signature)
{
    // Per stride, the last filled column and row the entries need.
    int lastColumn[17], lastRow[17];
    std::fill(std::begin(lastColumn), std::end(lastColumn), -1);
    std::fill(std::begin(lastRow), std::end(lastRow), -1);
    for (int n = 1; n <= 16; ++n)
        for (int i = 0, x = 0, y = 0; i < int(kSignatureEntries); ++i) {
            if ((signature[std::size_t(i)] & 0xFFFFFF) != 0) {
                lastColumn[n] = std::max(lastColumn[n], x);
                lastRow[n] = y;
            }
            if (++x == n)
                x = 0, ++y;
        }
    std::vector<SGridLayout> best;
    int bestSize = 1 << 30;
    const auto consider = [&](const SGridLayout& layout) {
        const int size = layout.columns * layout.rows;
        if (size < bestSize)
            best.clear(), bestSize = size;
        if (size == bestSize && std::find(best.begin(), best.end(), layout) == best.end())
            best.push_back(layout);
    };
    for (int n = 1; n <= 16; ++n) {
        if (lastRow[n] >= n)
            continue; // the entries run past an n x n grid
        const std::vector<int>& sides = FilledSides(n);
        const auto atLeast = [&](int last) {
            return *std::lower_bound(sides.begin(), sides.end(), last + 1);
        };
        if (n == 16) {
            consider({16, atLeast(lastColumn[16]), atLeast(lastRow[16])});
            continue;
        }
        // A picture's smaller side is n: all n columns filled and some rows,
        // or all n rows and some columns.
        consider({n, n, atLeast(lastRow[n])});
        consider({n, atLeast(lastColumn[n]), n});
    }
    if (std::find(best.begin(), best.end(), SGridLayout{}) == best.end())
        best.push_back(SGridLayout{});
    return best;
}

Signature TransformGrid(const Signature& in, const SGridLayout& layout, int transform)
{
    Signature out{};
    const int columns = layout.columns, rows = layout.rows;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            const int mx = columns - 1 - x, my = rows - 1 - y;
            int nx = x, ny = y;
            switch (transform & 7) {
            case 1: nx = mx; break;
            case 2: ny = my; break;
            case 3: nx = mx, ny = my; break;
            case 4: nx = y, ny = x; break;
            case 5: nx = my, ny = x; break;
            case 6: nx = y, ny = mx; break;
            case 7: nx = my, ny = mx; break;
            default: break;
            }
            out[std::size_t(ny * layout.stride + nx)] = in[std::size_t(y * layout.stride + x)];
        }
    return out;
}

void PrepareHead(const SPreparedSignature& head, const SCompareOptions& options, SHeadVariants& out)
{
    out.isGrey = head.isGrey;
    out.colour.clear();
    out.grey.clear();
    if (!options.rotations) {
        out.colour.push_back(head.colour);
        if (options.greyscale)
            out.grey.push_back(head.grey);
        return;
    }
    for (const SGridLayout& layout : CandidateLayouts(head.colour))
        for (int t = 0; t < 8; ++t) {
            Signature colour = TransformGrid(head.colour, layout, t);
            if (std::find(out.colour.begin(), out.colour.end(), colour) != out.colour.end())
                continue;
            out.colour.push_back(colour);
            if (options.greyscale)
                out.grey.push_back(TransformGrid(head.grey, layout, t));
        }
}

int MatchWithOptions(const SHeadVariants& head, const SPreparedSignature& other, const SCompareOptions& options,
                     int threshold)
{
    const bool grey = options.greyscale && (head.isGrey || other.isGrey);
    const std::vector<Signature>& variants = grey ? head.grey : head.colour;
    const unsigned char* theirs = Bytes(grey ? other.grey : other.colour);
    int limit = MaxDifferentEntries(threshold);
    int best = -1;
    for (const Signature& variant : variants) {
        const int different = CountDifferent(Bytes(variant), theirs, limit);
        if (different <= limit) {
            best = MatchFromDifferent(different);
            limit = different - 1; // only a better match is of interest now
        }
    }
    return best;
}

} // namespace dif
