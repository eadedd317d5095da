#include "duplicates/duplicate_marks.h"

#include <algorithm>

namespace dif {

namespace {

// Index of the first item for which better(item, best) holds over all others.
template <typename Better>
std::size_t FirstBest(const std::vector<SMarkItem>& items, Better better)
{
    std::size_t best = 0;
    for (std::size_t k = 1; k < items.size(); ++k)
        if (better(items[k], items[best]))
            best = k;
    return best;
}

// The smallest or largest file of the group, first on ties; none when the
// files' sizes are all equal. A file gone since the comparison (size 0)
// takes no part: "larger" would otherwise mark the last copy left.
void MarkBySize(std::vector<SMarkItem>& items, bool larger)
{
    std::size_t best = items.size();
    bool differ = false;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (items[k].size == 0)
            continue;
        if (best == items.size()) {
            best = k;
            continue;
        }
        differ = differ || items[k].size != items[best].size;
        if (larger ? items[k].size > items[best].size : items[k].size < items[best].size)
            best = k;
    }
    if (differ)
        items[best].checked = true;
}

void MarkGroup(SMarkGroup& group, EMarkRule rule)
{
    auto& items = group.items;
    if (items.empty())
        return;
    switch (rule) {
    case EMarkRule::Smaller:
    case EMarkRule::Larger:
        MarkBySize(items, rule == EMarkRule::Larger);
        break;
    case EMarkRule::SameSize:
        for (std::size_t k = 1; k < items.size(); ++k)
            items[k].checked = items[k].size == items[0].size;
        break;
    case EMarkRule::AllButBest: {
        const std::size_t best = FirstBest(items, [](const SMarkItem& a, const SMarkItem& b) {
            return a.pixels != b.pixels ? a.pixels > b.pixels : a.size > b.size;
        });
        for (std::size_t k = 0; k < items.size(); ++k)
            items[k].checked = k != best;
        break;
    }
    }
}

} // namespace

SMarkSummary ApplyMarkRule(std::vector<SMarkGroup>& groups, EMarkRule rule)
{
    for (auto& group : groups) {
        for (auto& item : group.items)
            item.checked = false;
        MarkGroup(group, rule);
    }
    return SummarizeMarks(groups);
}

SMarkSummary SummarizeMarks(const std::vector<SMarkGroup>& groups)
{
    SMarkSummary summary;
    for (const auto& group : groups)
        for (const auto& item : group.items)
            if (item.checked) {
                ++summary.count;
                summary.total += item.size;
            }
    return summary;
}

} // namespace dif
