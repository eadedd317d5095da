#include "effects/histogram.h"

#include <cstring>
#include <vector>

#include "effects/row_filter.h"

namespace {

// Green and blue are counted together, one counter for each of their 65536
// pairs, and red in four tables, one for each stretch counted side by side
// (below): two counts a pixel instead of three.
struct PartCounts {
    std::vector<std::uint32_t> greenBlue = std::vector<std::uint32_t>(65536, 0);
    std::uint32_t red[4][256] = {};
};

[[gnu::always_inline]] inline void CountPixel(VxPixel p, std::uint32_t* __restrict pairs, std::uint32_t* __restrict red)
{
    ++pairs[p & 0xFFFF], ++red[(p >> 16) & 0xFF];
}

// Four stretches far apart are counted side by side. Neighbours in a photo
// often share a value, and counting them one after the other makes each count
// wait for the one before; the stretches also keep more reads in flight.
void CountPart(const VxPixel* pixels, std::size_t begin, std::size_t end, PartCounts& part)
{
    std::uint32_t* __restrict pairs = part.greenBlue.data();
    const std::size_t quarter = (end - begin) / 4;
    const VxPixel* s = pixels + begin;
    for (std::size_t i = 0; i < quarter; ++i) {
        CountPixel(s[i], pairs, part.red[0]);
        CountPixel(s[i + quarter], pairs, part.red[1]);
        CountPixel(s[i + 2 * quarter], pairs, part.red[2]);
        CountPixel(s[i + 3 * quarter], pairs, part.red[3]);
    }
    for (std::size_t i = begin + 4 * quarter; i < end; ++i)
        CountPixel(pixels[i], pairs, part.red[0]);
}

} // namespace

void VxCountChannels(const VxPixel* pixels, std::size_t n, VxChannelCounts& counts)
{
    std::memset(&counts, 0, sizeof counts);
    const bool parallel = n >= (1u << 18);
    std::vector<PartCounts> partCounts(parallel ? VxCores() : 1);
    VxParallelPieces(n, parallel, [&](std::size_t worker, std::size_t begin, std::size_t end) {
        CountPart(pixels, begin, end, partCounts[worker]);
    });
    for (const PartCounts& part : partCounts) {
        for (int v = 0; v < 256; ++v)
            counts.count[0][v] += part.red[0][v] + part.red[1][v] + part.red[2][v] + part.red[3][v];
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const std::uint32_t k = part.greenBlue[std::size_t(g) << 8 | std::size_t(b)];
                counts.count[1][g] += k;
                counts.count[2][b] += k;
            }
    }
}

VxChannelLookup::VxChannelLookup(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue)
    : m_GreenBlue(65536)
{
    for (int g = 0; g < 256; ++g)
        for (int b = 0; b < 256; ++b)
            m_GreenBlue[std::size_t(g) << 8 | std::size_t(b)] = std::uint16_t(green[g] << 8 | blue[b]);
    for (int r = 0; r < 256; ++r)
        m_Red[r] = std::uint32_t(red[r]) << 16;
}

void VxChannelLookup::Apply(const VxPixel* in, VxPixel* out, std::size_t n) const
{
    // Four stretches side by side, as in the counting: more reads in flight.
    const std::size_t quarter = n / 4;
    for (std::size_t i = 0; i < quarter; ++i)
        for (std::size_t k = 0; k < 4; ++k)
            out[i + k * quarter] = (*this)(in[i + k * quarter]);
    for (std::size_t i = 4 * quarter; i < n; ++i)
        out[i] = (*this)(in[i]);
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
    const VxChannelLookup lookup(red, green, blue);
    VxParallelPieces(n, true, [&](std::size_t, std::size_t begin, std::size_t end) {
        lookup.Apply(pixels + begin, pixels + begin, end - begin);
    });
}
