#include "support/sortable_string_array.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The file name without folder and extension.
std::string_view BareName(const std::string& path)
{
    std::string_view name(path);
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return name;
}

// The run of digits that starts at the first digit, without leading zeros;
// empty view and false when there is no digit.
bool FirstNumber(std::string_view name, std::string_view& digits)
{
    std::size_t start = 0;
    while (start < name.size() && !std::isdigit(static_cast<unsigned char>(name[start])))
        ++start;
    if (start == name.size())
        return false;
    std::size_t stop = start;
    while (stop < name.size() && std::isdigit(static_cast<unsigned char>(name[stop])))
        ++stop;
    while (start + 1 < stop && name[start] == '0')
        ++start;
    digits = name.substr(start, stop - start);
    return true;
}

int Sign(int v)
{
    return (v > 0) - (v < 0);
}

int LowerCompare(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Merge sort: the numeric order is not a strict weak order (names with and
// without digits mix two rules), and a merge cannot run out of bounds on it.
template <class Compare>
void MergeSort(std::vector<std::string>& items, Compare less)
{
    std::vector<std::string> scratch(items.size());
    for (std::size_t width = 1; width < items.size(); width *= 2) {
        for (std::size_t left = 0; left < items.size(); left += 2 * width) {
            const std::size_t middle = std::min(left + width, items.size());
            const std::size_t right = std::min(left + 2 * width, items.size());
            std::size_t i = left, j = middle, k = left;
            while (i < middle && j < right)
                scratch[k++] = std::move(less(items[j], items[i]) ? items[j++] : items[i++]);
            while (i < middle)
                scratch[k++] = std::move(items[i++]);
            while (j < right)
                scratch[k++] = std::move(items[j++]);
        }
        items.swap(scratch);
    }
}

} // namespace

int CSortableStringArray::Add(std::string text)
{
    if (m_nGrowBy > 0 && m_Items.size() == m_Items.capacity())
        m_Items.reserve(m_Items.size() + std::size_t(m_nGrowBy));
    m_Items.push_back(std::move(text));
    return int(m_Items.size()) - 1;
}

int CSortableStringArray::AlphabeticalCompare(const std::string& a, const std::string& b)
{
    return Sign(a.compare(b));
}

int CSortableStringArray::NumericCompare(const std::string& a, const std::string& b, bool ignoreCase)
{
    std::string_view da, db;
    if (!FirstNumber(BareName(a), da) || !FirstNumber(BareName(b), db)) {
        if (ignoreCase) {
            const int lower = LowerCompare(a, b);
            if (lower != 0)
                return lower;
        }
        return Sign(a.compare(b));
    }
    // Compared as digit strings, so no length of number overflows.
    if (da.size() != db.size())
        return da.size() < db.size() ? -1 : 1;
    return Sign(da.compare(db));
}

void CSortableStringArray::SortAlphabetical()
{
    std::sort(m_Items.begin(), m_Items.end());
}

void CSortableStringArray::SortNumeric(bool ignoreCase)
{
    // Files with equal numbers keep their alphabetical order.
    if (ignoreCase)
        std::sort(m_Items.begin(), m_Items.end(), [](const std::string& a, const std::string& b) {
            const int lower = LowerCompare(a, b);
            return lower != 0 ? lower < 0 : a < b;
        });
    else
        std::sort(m_Items.begin(), m_Items.end());
    MergeSort(m_Items, [ignoreCase](const std::string& a, const std::string& b) {
        return NumericCompare(a, b, ignoreCase) < 0;
    });
}

int CSortableStringArray::BinarySearch(const std::string& text) const
{
    const auto it = std::lower_bound(m_Items.begin(), m_Items.end(), text);
    if (it == m_Items.end() || *it != text)
        return -1;
    return int(it - m_Items.begin());
}
