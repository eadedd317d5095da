#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "support/group_struct.h"

// The groups of a folder, shared between the document, the grouping worker
// and the viewer windows a group was handed to.
using CGroupPtr = std::shared_ptr<CGroupStruct>;
using CGroupSet = std::vector<CGroupPtr>;

inline const char kOtherGroup[] = "[Other]";
inline const char kAllGroup[] = "All";

// The two sets of one grouping: 0 "Grouped" (one group per key, singletons
// merged into "[Other]") and 1 "All" (one group holding every file).
struct CGroupingResult {
    CGroupSet m_Sets[2];
    // Where each key's group is in set 0 while files are added.
    std::unordered_map<std::string, std::size_t> m_KeyIndex;
};

namespace grouping {

// The first run of ASCII letters of a file name (without extension), in
// lower case; "[Other]" for a name without any letter.
std::string GroupKey(const std::string& name);

// The file name without folder and extension.
std::string BaseName(const std::string& path);

// The image files of a folder (no recursion, no folders): every name
// ending in .jpg, then .jpeg, .gif, .png and .bmp, matched in any case,
// each pattern in name order. Full paths; an unreadable folder gives none.
std::vector<std::string> ListImageFiles(const std::string& folder, const std::atomic<bool>* stop = nullptr);

// Adds one file to both sets.
void AddFile(CGroupingResult& result, const std::string& path);

// Moves the files of every group holding exactly one file into "[Other]",
// which then comes first.
void MergeSingletons(CGroupSet& set);

// The whole grouping of a folder. `stop` abandons it early (the result is
// then incomplete and meant to be dropped).
CGroupingResult GroupFolder(const std::string& folder, const std::atomic<bool>* stop = nullptr);

// "%s (%i)": the group's name and its number of names.
std::string GroupItemText(const CGroupStruct& group);

} // namespace grouping
