#include "browser/thumbnails/grouping.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace grouping {

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(const std::string& name, const std::string& suffix)
{
    if (name.size() <= suffix.size()) // a bare ".jpg" has no name
        return false;
    const std::size_t start = name.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (LowerAscii(name[start + i]) != suffix[i])
            return false;
    return true;
}

// Case-insensitive first, bytes next: the same order on every run, and
// close to the order in which the original file system listed names.
bool NameLess(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y)
            return (unsigned char)x < (unsigned char)y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

std::string GroupKey(const std::string& name)
{
    std::size_t i = 0;
    while (i < name.size() && !IsAsciiLetter(name[i]))
        ++i;
    std::string key;
    for (; i < name.size() && IsAsciiLetter(name[i]); ++i)
        key += LowerAscii(name[i]);
    return key.empty() ? std::string(kOtherGroup) : key;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::vector<std::string> ListImageFiles(const std::string& folder, const std::atomic<bool>* stop)
{
    static const char* const kPatterns[] = {".jpg", ".jpeg", ".gif", ".png", ".bmp"};
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(folder), error), end; !error && it != end; it.increment(error)) {
        if (stop && stop->load())
            return {};
        std::error_code ignored;
        if (it->is_directory(ignored))
            continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), NameLess);
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    std::vector<std::string> paths;
    for (const char* pattern : kPatterns)
        for (const std::string& name : names)
            if (EndsWithNoCase(name, pattern))
                paths.push_back(prefix + name);
    return paths;
}

void AddFile(CGroupingResult& result, const std::string& path)
{
    const std::string name = BaseName(path);
    CGroupSet& all = result.m_Sets[1];
    if (all.empty()) {
        all.push_back(std::make_shared<CGroupStruct>());
        all.front()->m_strName = kAllGroup;
    }
    all.front()->m_Names.Add(name);
    all.front()->m_Paths.Add(path);

    // Looked up by key: a folder of many different words is not searched
    // through once per file.
    const std::string key = GroupKey(name);
    CGroupSet& grouped = result.m_Sets[0];
    const auto [at, added] = result.m_KeyIndex.try_emplace(key, grouped.size());
    if (added) {
        grouped.push_back(std::make_shared<CGroupStruct>());
        grouped.back()->m_strName = key;
    }
    CGroupStruct& group = *grouped[at->second];
    group.m_Names.Add(name);
    group.m_Paths.Add(path);
}

void MergeSingletons(CGroupSet& set)
{
    auto isSingleton = [](const CGroupPtr& g) { return g->m_strName != kOtherGroup && g->m_Names.GetSize() == 1; };
    const auto singletons = std::count_if(set.begin(), set.end(), isSingleton);
    if (singletons == 0)
        return;
    auto other = std::find_if(set.begin(), set.end(), [](const CGroupPtr& g) { return g->m_strName == kOtherGroup; });
    CGroupPtr others;
    if (other == set.end()) {
        others = std::make_shared<CGroupStruct>();
        others->m_strName = kOtherGroup;
    } else {
        others = *other;
    }
    CGroupSet merged{others};
    for (const CGroupPtr& group : set) {
        if (group == others)
            continue;
        if (isSingleton(group)) {
            others->m_Names.Add(group->m_Names[0]);
            others->m_Paths.Add(group->m_Paths[0]);
        } else {
            merged.push_back(group);
        }
    }
    set.swap(merged);
}

CGroupingResult GroupFolder(const std::string& folder, const std::atomic<bool>* stop)
{
    CGroupingResult result;
    for (const std::string& path : ListImageFiles(folder, stop)) {
        if (stop && stop->load())
            break;
        AddFile(result, path);
    }
    MergeSingletons(result.m_Sets[0]);
    return result;
}

std::string GroupItemText(const CGroupStruct& group)
{
    return group.m_strName + " (" + std::to_string(group.m_Names.GetSize()) + ")";
}

} // namespace grouping
