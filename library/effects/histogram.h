#pragma once

// Channel histograms of a pixel buffer, counted on all cores. Internal to the library.
#include <cstddef>
#include <cstdint>

#include "image/pixel_interface.h"

struct VxChannelCounts {
    // [0] red, [1] green, [2] blue, indexed by the channel value.
    std::uint32_t count[3][256];
};

void VxCountChannels(const VxPixel* pixels, std::size_t n, VxChannelCounts& counts);

// Applies one 256-entry table per channel to every pixel (top byte 0).
void VxApplyChannelTables(VxPixel* pixels, std::size_t n, const std::uint8_t* red, const std::uint8_t* green,
                          const std::uint8_t* blue);
