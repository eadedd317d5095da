#pragma once

// Match percentage of two signatures: 100 minus the image difference over
// the 256 entries (an entry differs when its three channel distances sum to
// 39 or more, i.e. 5 % of 765). Entries are read in place from records
// (little-endian, unaligned); the top byte of each entry is ignored.
#include <cstdint>
#include <vector>

#include "duplicates/signature_record.h"

namespace dif {

struct SCompareOptions {
    bool rotations = false; // also under the quarter turns and flips of the grid
    bool greyscale = false; // compare luminance when one side is grey
};

// Most differing entries a pair may have and still reach the threshold
// (1 .. 100): the largest d with 100 - int(d * 100 / 256) >= threshold.
int MaxDifferentEntries(int threshold);
// Differing entries of the two signatures (pointers at the 1024 signature
// bytes of a record); may stop counting once the count exceeds limit and
// then returns a value above limit.
int CountDifferent(const unsigned char* first, const unsigned char* second, int limit);
inline int MatchFromDifferent(int different)
{
    return 100 - int(double(different) * 100 / double(kSignatureEntries));
}

// How a signature's entries lie: stride n (the segment count, 16 reduced
// to the picture's smaller side), entry y * n + x for the filled block
// columns x < columns and rows y < rows.
struct SGridLayout {
    int stride = 16, columns = 16, rows = 16;
    bool operator==(const SGridLayout&) const = default;
};

// The layouts a signature may have come from. The record keeps no picture
// size, so the layout is read from the entries that are not 0 (black
// blocks are 0 too): the smallest layouts a picture of some size really
// has that hold every such entry, and the full 16 x 16 grid when it is not
// among them (a photograph with black blocks at its edges).
std::vector<SGridLayout> CandidateLayouts(const Signature& signature);

// A signature prepared for the options: its entries, whether it is grey
// (every entry's channels within a few levels of each other) and its
// luminance version.
struct SPreparedSignature {
    Signature colour{};
    Signature grey{};
    bool isGrey = false;
};
SPreparedSignature PrepareSignature(const unsigned char* signatureBytes);

// A group head under the eight transforms of each of its candidate layouts
// (without repeats), in colour and in luminance. Comparing the transformed
// head with the other signature covers the same pairings as transforming
// the other one.
struct SHeadVariants {
    std::vector<Signature> colour;
    std::vector<Signature> grey;
    bool isGrey = false;
};
void PrepareHead(const SPreparedSignature& head, const SCompareOptions& options, SHeadVariants& out);

// Match of a pair under the options (the plain match when both are off):
// the best over the allowed variants; -1 when the pair cannot reach
// threshold.
int MatchWithOptions(const SHeadVariants& head, const SPreparedSignature& other, const SCompareOptions& options,
                     int threshold);

// The eight quarter turns and flips of a grid; transform 0 is the
// identity. A quarter turn swaps columns and rows within the same stride.
// Entries outside the grid stay 0.
Signature TransformGrid(const Signature& in, const SGridLayout& layout, int transform);

} // namespace dif
