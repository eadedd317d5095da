#include "effects/histogram.h"

#include <cstring>
#include <vector>

#include "effects/row_filter.h"

void VxCountChannels(const VxPixel* pixels, std::size_t n, VxChannelCounts& counts)
{
    std::memset(&counts, 0, sizeof counts);
    const std::size_t parts = n >= (1u << 18) ? VxCores() : 1;
    // Four tables per channel and thread, so that runs of equal values do not
    // wait on the same counter.
    std::vector<std::uint32_t> tables(parts * 4 * 3 * 256, 0);
    VxParallelRanges(parts, parts > 1, [&](std::size_t pBegin, std::size_t pEnd) {
        for (std::size_t p = pBegin; p < pEnd; ++p) {
            std::uint32_t* t = &tables[p * 4 * 3 * 256];
            std::uint32_t *r0 = t, *r1 = t + 256, *r2 = t + 512, *r3 = t + 768;
            std::uint32_t *g0 = t + 1024, *g1 = t + 1280, *g2 = t + 1536, *g3 = t + 1792;
            std::uint32_t *b0 = t + 2048, *b1 = t + 2304, *b2 = t + 2560, *b3 = t + 2816;
            const std::size_t begin = n * p / parts, end = n * (p + 1) / parts;
            std::size_t i = begin;
            for (; i + 4 <= end; i += 4) {
                const VxPixel a = pixels[i], b = pixels[i + 1], c = pixels[i + 2], d = pixels[i + 3];
                ++r0[(a >> 16) & 0xFF], ++g0[(a >> 8) & 0xFF], ++b0[a & 0xFF];
                ++r1[(b >> 16) & 0xFF], ++g1[(b >> 8) & 0xFF], ++b1[b & 0xFF];
                ++r2[(c >> 16) & 0xFF], ++g2[(c >> 8) & 0xFF], ++b2[c & 0xFF];
                ++r3[(d >> 16) & 0xFF], ++g3[(d >> 8) & 0xFF], ++b3[d & 0xFF];
            }
            for (; i < end; ++i) {
                const VxPixel a = pixels[i];
                ++r0[(a >> 16) & 0xFF], ++g0[(a >> 8) & 0xFF], ++b0[a & 0xFF];
            }
        }
    });
    for (std::size_t p = 0; p < parts; ++p)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 4; ++k) {
                const std::uint32_t* t = &tables[((p * 3 + c) * 4 + k) * 256];
                for (int v = 0; v < 256; ++v)
                    counts.count[c][v] += t[v];
            }
}

void VxApplyChannelTables(VxPixel* pixels, std::size_t n, const std::uint8_t* red, const std::uint8_t* green,
                          const std::uint8_t* blue)
{
    if (n < (1u << 16)) {
        for (std::size_t i = 0; i < n; ++i) {
            const VxPixel p = pixels[i];
            pixels[i] = VxPixel(red[(p >> 16) & 0xFF]) << 16 | VxPixel(green[(p >> 8) & 0xFF]) << 8 |
                        VxPixel(blue[p & 0xFF]);
        }
        return;
    }
    // Red and green through one table of all their pairs: two reads a pixel.
    std::vector<std::uint16_t> pairs(65536);
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            pairs[std::size_t(r) << 8 | std::size_t(g)] = std::uint16_t(red[r] << 8 | green[g]);
    const std::uint16_t* redGreen = pairs.data();
    VxParallelRanges(n, true, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const VxPixel p = pixels[i];
            pixels[i] = VxPixel(redGreen[(p >> 8) & 0xFFFF]) << 8 | VxPixel(blue[p & 0xFF]);
        }
    });
}
