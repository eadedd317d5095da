#include "duplicates/signature_blocks.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/velvix.h"

namespace dif {

namespace {

// Rows added in 16-bit lanes before they move to the block sums (256 x 255
// fits).
constexpr int kRowsPerFlush = 256;

struct SBlockGeometry {
    int n = 0, blockWidth = 0, blockHeight = 0, rows = 0, columns = 0;
};

SBlockGeometry Geometry(int width, int height)
{
    SBlockGeometry g;
    g.n = std::min({16, width, height});
    g.blockWidth = (width + g.n - 1) / g.n;
    g.blockHeight = (height + g.n - 1) / g.n;
    g.rows = std::min(g.n, (height + g.blockHeight - 1) / g.blockHeight);
    g.columns = std::min(g.n, (width + g.blockWidth - 1) / g.blockWidth);
    return g;
}

// Adds the bytes of one row to the lanes, sixteen at a time where the
// processor allows.
void AddRow(const unsigned char* bytes, std::uint16_t* lanes, std::size_t count)
{
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= count; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k));
        auto* low = reinterpret_cast<__m128i*>(lanes + k);
        auto* high = reinterpret_cast<__m128i*>(lanes + k + 8);
        _mm_storeu_si128(low, _mm_add_epi16(_mm_loadu_si128(low), _mm_unpacklo_epi8(v, zero)));
        _mm_storeu_si128(high, _mm_add_epi16(_mm_loadu_si128(high), _mm_unpackhi_epi8(v, zero)));
    }
#endif
    for (; k < count; ++k)
        lanes[k] = std::uint16_t(lanes[k] + bytes[k]);
}

// Moves the lanes into the block sums (blue, green, red per block column).
void Flush(std::vector<std::uint16_t>& lanes, const SBlockGeometry& g, int width, std::uint64_t* sums)
{
    for (int i = 0; i < g.columns; ++i) {
        const int x0 = i * g.blockWidth, x1 = std::min(width, x0 + g.blockWidth);
        std::uint64_t b = 0, gr = 0, r = 0;
        for (int x = x0; x < x1; ++x) {
            b += lanes[4 * std::size_t(x)];
            gr += lanes[4 * std::size_t(x) + 1];
            r += lanes[4 * std::size_t(x) + 2];
        }
        sums[3 * i] += b;
        sums[3 * i + 1] += gr;
        sums[3 * i + 2] += r;
    }
    std::fill(lanes.begin(), lanes.end(), 0);
}

} // namespace

void SignatureOfPicture(CVelvix& picture, Signature& out)
{
    out.fill(0);
    if (!picture.IsValidObject())
        return;
    const int width = picture.GetWidth(), height = picture.GetHeight();
    const SBlockGeometry g = Geometry(width, height);
    const auto* data = reinterpret_cast<const unsigned char*>(&picture.Bytes(0));
    const std::size_t rowBytes = 4 * std::size_t(width);
    std::vector<std::uint16_t> lanes(rowBytes, 0);
    std::uint64_t sums[3 * 16];
    for (int j = 0; j < g.rows; ++j) {
        const int y0 = j * g.blockHeight, y1 = std::min(height, y0 + g.blockHeight);
        std::fill(std::begin(sums), std::end(sums), 0);
        for (int y = y0; y < y1; ++y) {
            AddRow(data + std::size_t(y) * rowBytes, lanes.data(), rowBytes);
            if ((y - y0 + 1) % kRowsPerFlush == 0)
                Flush(lanes, g, width, sums);
        }
        Flush(lanes, g, width, sums);
        for (int i = 0; i < g.columns; ++i) {
            const int x0 = i * g.blockWidth, x1 = std::min(width, x0 + g.blockWidth);
            const double count = double(std::int64_t(x1 - x0) * (y1 - y0));
            out[std::size_t(j) * std::size_t(g.n) + std::size_t(i)] =
                std::uint32_t(int(double(sums[3 * i + 2]) / count)) << 16 |
                std::uint32_t(int(double(sums[3 * i + 1]) / count)) << 8 | std::uint32_t(int(double(sums[3 * i]) / count));
        }
    }
}

} // namespace dif
