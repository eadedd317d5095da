#pragma once

// The mark rules of the results: each clears every mark, then marks files
// group by group (head first, then members in order). Totals are 64-bit.
#include <cstdint>
#include <vector>

namespace dif {

struct SMarkItem {
    std::uint64_t size = 0;
    std::uint64_t pixels = 0; // width x height, for "all but the best"
    bool checked = false;
};

// items[0] is the group head.
struct SMarkGroup {
    std::vector<SMarkItem> items;
};

enum class EMarkRule {
    Smaller,   // the smallest file, first on ties, unless all sizes are equal;
    Larger,    // the largest likewise; both pass over files gone (size 0)
    SameSize,  // every member as large as the head; never the head
    AllButBest // every file but the one with the most pixels (ties: larger file, then first)
};

struct SMarkSummary {
    std::uint64_t count = 0;
    std::uint64_t total = 0;
};

SMarkSummary ApplyMarkRule(std::vector<SMarkGroup>& groups, EMarkRule rule);
SMarkSummary SummarizeMarks(const std::vector<SMarkGroup>& groups);

} // namespace dif
