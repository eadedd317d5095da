#include "effects/image_diff.h"

#include <cstdlib>

#include "effects/kernels.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// The deviation (sum of the channel differences) x (1/765) x 100 reaches 5.0
// exactly from a sum of 39 on; the double product is monotonic in the sum.
constexpr int kDifferentSum = 39;

int ChannelDistance(unsigned long a, unsigned long b)
{
    return std::abs(int((a >> 16) & 0xFF) - int((b >> 16) & 0xFF)) +
           std::abs(int((a >> 8) & 0xFF) - int((b >> 8) & 0xFF)) + std::abs(int(a & 0xFF) - int(b & 0xFF));
}

#if defined(__SSE2__)
// Four entries per vector: the byte-wise absolute differences of the three
// colour bytes, summed per entry; differing entries counted per lane.
VX_TARGET_AVX2 long CountDifferentAvx2(const unsigned long* first, const unsigned long* second, int count, int& i)
{
    const __m256i colours = _mm256_set1_epi64x(0xFFFFFF);
    const __m256i limit = _mm256_set1_epi64x(kDifferentSum - 1);
    __m256i even = _mm256_setzero_si256(), odd = _mm256_setzero_si256();
    for (; i + 8 <= count; i += 8) {
        const __m256i a0 = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i)), colours);
        const __m256i b0 = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i)), colours);
        const __m256i a1 =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i + 4)), colours);
        const __m256i b1 =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i + 4)), colours);
        even = _mm256_sub_epi64(even, _mm256_cmpgt_epi64(_mm256_sad_epu8(a0, b0), limit));
        odd = _mm256_sub_epi64(odd, _mm256_cmpgt_epi64(_mm256_sad_epu8(a1, b1), limit));
    }
    alignas(32) long long lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi64(even, odd));
    return long(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
}
#endif

} // namespace

double CVelvix_ImageDiff::_GetPixelDeviationPercentage(unsigned long a, unsigned long b)
{
    return double(ChannelDistance(a, b)) * (1.0 / 765) * 100;
}

int CVelvix_ImageDiff::GetImageDiffPercentage(unsigned long* first, unsigned long* second, int count)
{
    if (count < 1 || !first || !second)
        return 0;
    long different = 0;
    int i = 0;
#if defined(__SSE2__)
    if constexpr (sizeof(unsigned long) == 8) {
        if (VxKernels().avx2)
            different = CountDifferentAvx2(first, second, count, i);
        // Two entries per vector: the byte-wise absolute differences of the
        // three colour bytes, summed per entry.
        const __m128i colours = _mm_set1_epi64x(0xFFFFFF);
        const __m128i limit = _mm_set1_epi32(kDifferentSum - 1);
        __m128i counted = _mm_setzero_si128();
        for (; i + 2 <= count; i += 2) {
            const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i)), colours);
            const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(second + i)), colours);
            // Sums below 766 sit in the low 32 bits of each 64-bit lane.
            counted = _mm_sub_epi32(counted, _mm_cmpgt_epi32(_mm_sad_epu8(a, b), limit));
        }
        alignas(16) int lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counted);
        different += long(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    }
#endif
    for (; i < count; ++i)
        different += ChannelDistance(first[i], second[i]) >= kDifferentSum ? 1 : 0;
    return int(double(different) * 100 / count);
}
