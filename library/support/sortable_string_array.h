#pragma once

#include <string>
#include <vector>

#include "velvix_export.h"

// An array of texts (file paths, mostly) that sorts alphabetically (byte-wise)
// or numerically: by the first run of digits in the file name.
class VELVIX_EXPORT CSortableStringArray {
public:
    int GetSize() const { return int(m_Items.size()); }
    bool IsEmpty() const { return m_Items.empty(); }
    const std::string& operator[](int index) const { return m_Items[std::size_t(index)]; }
    std::string& operator[](int index) { return m_Items[std::size_t(index)]; }
    const std::string& GetAt(int index) const { return m_Items[std::size_t(index)]; }
    int Add(std::string text);
    void RemoveAll() { m_Items.clear(); }
    // Lets the array grow in steps of `count` entries.
    void SetGrowBy(int count) { m_nGrowBy = count > 0 ? count : 0; }
    void FreeExtra() { m_Items.shrink_to_fit(); }

    void SortAlphabetical();
    // `ignoreCase` compares names without digits by their lower-case bytes
    // first, as if every name were lower case, and by their real bytes next.
    void SortNumeric(bool ignoreCase = false);
    // Index of `text` in an alphabetically sorted array, or -1.
    int BinarySearch(const std::string& text) const;

    static int AlphabeticalCompare(const std::string& a, const std::string& b);
    static int NumericCompare(const std::string& a, const std::string& b, bool ignoreCase = false);

    std::vector<std::string>::const_iterator begin() const { return m_Items.begin(); }
    std::vector<std::string>::const_iterator end() const { return m_Items.end(); }
    const std::vector<std::string>& Items() const { return m_Items; }

private:
    std::vector<std::string> m_Items;
    int m_nGrowBy = 0;
};
