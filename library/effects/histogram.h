#pragma once

// Channel histograms of a pixel buffer, counted on all cores. Internal to the library.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/pixel_interface.h"

struct VxChannelCounts {
    // [0] red, [1] green, [2] blue, indexed by the channel value.
    std::uint32_t count[3][256];
};

void VxCountChannels(const VxPixel* pixels, std::size_t n, VxChannelCounts& counts);

// Applies one 256-entry table per channel to every pixel (top byte 0).
void VxApplyChannelTables(VxPixel* pixels, std::size_t n, const std::uint8_t* red, const std::uint8_t* green,
                          const std::uint8_t* blue);

// The three tables in the form that costs two reads a pixel: green and blue
// through one table of all their pairs, red already in place.
class VxChannelLookup {
public:
    VxChannelLookup(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue);
    VxPixel operator()(VxPixel p) const { return m_GreenBlue[p & 0xFFFF] | m_Red[(p >> 16) & 0xFF]; }
    // out may equal in.
    void Apply(const VxPixel* in, VxPixel* out, std::size_t n) const;

private:
    std::vector<std::uint16_t> m_GreenBlue;
    std::uint32_t m_Red[256];
};
