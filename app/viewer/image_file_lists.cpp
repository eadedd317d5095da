#include "viewer/image_file_lists.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <utility>

#include "browser/fileops/native_path.h"

namespace fs = std::filesystem;

namespace {

const char* const kPatterns[] = {".jpg", ".jpeg", ".gif", ".png", ".bmp"};

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

struct FoundFile {
    std::string path;   // real name
    std::string lower;  // lower-case name, for matching only
};

// Every file of the folder (and, with `recurse`, of its tree, depth first),
// in the order of the names ignoring case. Folders reached twice through
// symbolic links are not entered again. A name that is not UTF-8 is passed
// over: the window holds its file's path as text, which would name another
// file.
void ListFolder(const std::string& folder, bool recurse, std::set<std::pair<dev_t, ino_t>>& seen,
                std::vector<FoundFile>& out)
{
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !seen.insert({info.st_dev, info.st_ino}).second)
        return;
    std::vector<std::pair<std::string, std::string>> entries;  // lower-case name, real name
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        entries.emplace_back(Lower(name), std::move(name));
    }
    std::sort(entries.begin(), entries.end());
    const std::string prefix = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    for (auto& [lower, name] : entries) {
        const std::string path = prefix + name;
        if (!SurvivesAsText(path))
            continue;
        std::error_code statError;
        const fs::file_status status = fs::status(path, statError);
        if (fs::is_directory(status)) {
            if (recurse)
                ListFolder(path, true, seen, out);
        } else if (!statError) {
            out.push_back({path, lower});
        }
    }
}

std::string FolderOf(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

CImageFileLists::CImageFileLists()
{
    m_FileLists[kListSubFolders].title = "Sub folders";
}

void CImageFileLists::CollectMatchingFiles(const std::string& folder, const std::string& pattern, bool recurse,
                                           CSortableStringArray& out)
{
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<FoundFile> found;
    ListFolder(folder, recurse, seen, found);
    for (const FoundFile& file : found)
        if (file.lower.find(pattern) != std::string::npos)
            out.Add(file.path);
}

void CImageFileLists::BuildFileList(const std::string& path, bool recurse)
{
    FileList& list = ActiveList();
    list.files.RemoveAll();
    m_strListSource = path;
    list.files.SetGrowBy(200);
    // One walk of the folder serves all patterns; each pattern still lists
    // its files as a walk of its own would, so a name may appear twice.
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<FoundFile> found;
    ListFolder(FolderOf(path), recurse, seen, found);
    for (const char* pattern : kPatterns)
        for (const FoundFile& file : found)
            if (file.lower.find(pattern) != std::string::npos)
                list.files.Add(file.path);
    list.files.FreeExtra();
    if (!recurse)
        list.files.SortNumeric(true);
    list.built = true;
    LocateCurrentFile();
}

void CImageFileLists::LocateCurrentFile()
{
    if (m_nCurrentFile != -1)
        m_nLastPosition = m_nCurrentFile;
    m_nCurrentFile = -1;
    const CSortableStringArray& files = ActiveList().files;
    // The exact name first: on a case-sensitive file system a.jpg and A.jpg
    // are two files.
    for (int i = 0; i < files.GetSize(); ++i)
        if (files[i] == m_strListPathName) {
            m_nCurrentFile = i;
            return;
        }
    for (int i = 0; i < files.GetSize(); ++i)
        if (EqualNoCase(files[i], m_strListPathName)) {
            m_nCurrentFile = i;
            return;
        }
}

void CImageFileLists::SelectFileList(int index, const std::string& folder)
{
    if (index < 0 || index > 2)
        return;
    if (index == m_nActiveList && index != kListSubFolders)
        return;
    m_nActiveList = index;
    if (index == kListGroup) {
        LocateCurrentFile();
        return;
    }
    FileList& list = ActiveList();
    if (list.built && folder == m_strListSource) {
        LocateCurrentFile();
        return;
    }
    if (index == kListAll)
        BuildFileList(m_strListPathName, false);
    else
        BuildFileList(folder.empty() ? m_strListPathName : folder, true);
    list.built = true;
}

void CImageFileLists::RefreshFileList()
{
    if (m_nActiveList == kListAll)
        BuildFileList(m_strListPathName, false);
    else if (m_nActiveList == kListSubFolders)
        BuildFileList(m_strListSource, true);
}

void CImageFileLists::SetGroupList(const CGroupStruct& group)
{
    FileList& list = m_FileLists[kListGroup];
    list.files.RemoveAll();
    for (const std::string& path : group.m_Paths)
        // Files deleted or moved away from the thumbnails, and names that
        // are not UTF-8 (see ListFolder).
        if (!path.empty() && SurvivesAsText(path))
            list.files.Add(path);
    list.title.clear();
    for (char c : group.m_strName)
        if (c != '[' && c != ']')
            list.title += c;
    list.built = true;
}

std::string CImageFileLists::GetFilePath(int index) const
{
    const CSortableStringArray& files = ActiveList().files;
    if (index < 0 || index >= files.GetSize())
        return std::string();
    return files[index];
}

std::string CImageFileLists::PositionText() const
{
    if (m_nCurrentFile == -1)
        return "--/--";
    char text[64];
    std::snprintf(text, sizeof text, "%i/%i [", m_nCurrentFile + 1, GetFileCount());
    return text + ActiveList().title + "]";
}

// Navigation ----------------------------------------------------------------

int CFileNavigator::StartForward() const
{
    int current = m_Lists.m_nCurrentFile;
    const int count = m_Lists.GetFileCount();
    if (current == -1 && m_Lists.m_nLastPosition != -1) {
        current = m_Lists.m_nLastPosition - 1;
        if (current < 0 || current >= count)
            current = -1;
    }
    return current;
}

int CFileNavigator::StartBackward() const
{
    int current = m_Lists.m_nCurrentFile;
    const int count = m_Lists.GetFileCount();
    if (current == -1 && m_Lists.m_nLastPosition != -1) {
        current = m_Lists.m_nLastPosition;
        if (current < 0 || current >= count)
            current = -1;
    }
    // No position at all: as if past the end of the list.
    if (current == -1)
        current = count;
    return current;
}

bool CFileNavigator::Wrap(bool atEnd)
{
    return m_bSlideshow || (m_AskLoop && m_AskLoop(atEnd));
}

CNavigationStep CFileNavigator::LoadAt(int index, int direction)
{
    m_Lists.m_nCurrentFile = index;
    return {CNavigationStep::Load, direction};
}

CNavigationStep CFileNavigator::NextFile()
{
    const int count = m_Lists.GetFileCount();
    if (count <= 1)
        return {};
    int current = StartForward();
    if (current + 1 < count)
        ++current;
    else if (Wrap(true))
        current = 0;
    else
        return {CNavigationStep::Stopped, 1};
    return LoadAt(current, 1);
}

CNavigationStep CFileNavigator::PreviousFile()
{
    const int count = m_Lists.GetFileCount();
    if (count <= 1)
        return {};
    int current = StartBackward();
    if (current != 0)
        --current;
    else if (Wrap(false))
        current = count - 1;
    else
        return {CNavigationStep::Stopped, -1};
    return LoadAt(current, -1);
}

CNavigationStep CFileNavigator::NextFolder()
{
    const int count = m_Lists.GetFileCount();
    if (count <= 1)
        return {};
    int current = StartForward();
    if (current == -1)
        return LoadAt(0, 1);
    if (current + 1 >= count) {
        if (!Wrap(true))
            return {CNavigationStep::Stopped, 1};
        return LoadAt(0, 1);
    }
    const std::string folder = DirectoryOf(m_Lists.GetFilePath(current));
    while (current < count && DirectoryOf(m_Lists.GetFilePath(current)) == folder)
        ++current;
    if (current >= count)
        return {CNavigationStep::Beep, 1};
    return LoadAt(current, 1);
}

CNavigationStep CFileNavigator::PreviousFolder()
{
    const int count = m_Lists.GetFileCount();
    if (count <= 1)
        return {};
    int current = StartBackward();
    if (current >= count)
        current = count - 1;
    if (current == 0) {
        if (!Wrap(false))
            return {CNavigationStep::Stopped, -1};
        // Around the beginning: the first file of the last folder.
        int first = count - 1;
        const std::string folder = DirectoryOf(m_Lists.GetFilePath(first));
        while (first > 0 && DirectoryOf(m_Lists.GetFilePath(first - 1)) == folder)
            --first;
        return LoadAt(first, -1);
    }
    // Walk back across the start of this folder, then to the start of the
    // folder before it; the list's first folder starts at index 0.
    std::string folder = DirectoryOf(m_Lists.GetFilePath(current));
    int changes = 0;
    for (int i = current; i >= 0; --i) {
        const std::string here = DirectoryOf(m_Lists.GetFilePath(i));
        if (here != folder) {
            if (++changes == 2)
                return LoadAt(i + 1, -1);
            folder = here;
        }
    }
    if (changes == 1)
        return LoadAt(0, -1);
    return {CNavigationStep::Beep, -1};
}

CNavigationStep CFileNavigator::FirstFile()
{
    const int count = m_Lists.GetFileCount();
    if (count < 1)
        return {};
    return LoadAt(0, count == 1 ? -1 : 1);
}

CNavigationStep CFileNavigator::LastFile()
{
    const int count = m_Lists.GetFileCount();
    if (count < 1)
        return {};
    return LoadAt(count - 1, -1);
}

CNavigationStep CFileNavigator::SliderPosition(int position)
{
    const int count = m_Lists.GetFileCount();
    if (count <= 1 || position < 1 || position > count)
        return {};
    return LoadAt(position - 1, position == count ? -1 : 1);
}

int CFileNavigator::PrefetchTarget(int current, int count, int direction)
{
    if (current < 0 || count <= 1)
        return -1;
    int target = current + direction;
    if (target >= count)
        target = 0;
    if (target < 0)
        target = count - 1;
    return target;
}

std::string CFileNavigator::DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
