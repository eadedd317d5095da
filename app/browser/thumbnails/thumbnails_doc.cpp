#include "browser/thumbnails/thumbnails_doc.h"

#include <QDir>
#include <QFileInfo>

#include "browser/thumbnails/browser_actions.h"
#include "support/vx_helper.h"

CThumbnailsDoc::CThumbnailsDoc() = default;

CThumbnailsDoc::~CThumbnailsDoc() = default;

bool CThumbnailsDoc::OnNewDocument()
{
    if (!CSDocument::OnNewDocument())
        return false;
    // A current folder whose name is not UTF-8 reads as text that may name
    // another folder.
    const QString folder = QDir::currentPath();
    if (CVxHelper::IsAmbiguousName(folder)) {
        if (CBrowserActions* actions = CBrowserActions::Get())
            actions->Tell(CVxHelper::AmbiguousNameMessage(folder));
        return false;
    }
    SetCurrentFolder(folder);
    return true;
}

bool CThumbnailsDoc::OnOpenDocument(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (!QFileInfo(folder).isDir())
        return false;
    SetCurrentFolder(folder);
    return true;
}

void CThumbnailsDoc::SetPathName(const QString& path, bool /*addToRecentFiles*/)
{
    CSDocument::SetPathName(path, false);
    SetTitle(m_strCurrentFolder);
}

void CThumbnailsDoc::SetCurrentFolder(const QString& folder)
{
    m_strCurrentFolder = QDir::cleanPath(folder);
    SetTitle(m_strCurrentFolder);
}

void CThumbnailsDoc::InstallGroups(CGroupingResult&& result)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_GroupSets[0] = std::move(result.m_Sets[0]);
    m_GroupSets[1] = std::move(result.m_Sets[1]);
    if (m_GroupSets[1].empty())
        m_nCurrentSet = 0;
}

void CThumbnailsDoc::ClearGroups()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_GroupSets[0].clear();
    m_GroupSets[1].clear();
}

int CThumbnailsDoc::GetCurrentSet() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_nCurrentSet;
}

bool CThumbnailsDoc::HasSet(int set) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return set == 0 || (set == 1 && !m_GroupSets[1].empty());
}

bool CThumbnailsDoc::SetCurrentSet(int set)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (set != 0 && (set != 1 || m_GroupSets[1].empty()))
        return false;
    m_nCurrentSet = set;
    return true;
}

int CThumbnailsDoc::GroupCount() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return int(m_GroupSets[m_nCurrentSet].size());
}

CGroupPtr CThumbnailsDoc::GetGroup(int index) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const CGroupSet& set = m_GroupSets[m_nCurrentSet];
    return index >= 0 && index < int(set.size()) ? set[std::size_t(index)] : nullptr;
}

void CThumbnailsDoc::RemoveGroup(int index)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    CGroupSet& set = m_GroupSets[m_nCurrentSet];
    if (index >= 0 && index < int(set.size()))
        set.erase(set.begin() + index);
}

void CThumbnailsDoc::EmptyGroupEntry(int index, int entry)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const CGroupSet& set = m_GroupSets[m_nCurrentSet];
    if (index >= 0 && index < int(set.size()) && entry >= 0 && entry < set[std::size_t(index)]->m_Paths.GetSize())
        set[std::size_t(index)]->m_Paths[entry].clear();
}

void CThumbnailsDoc::RenameGroupEntry(int index, int entry, const std::string& path, const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const CGroupSet& set = m_GroupSets[m_nCurrentSet];
    if (index < 0 || index >= int(set.size()))
        return;
    CGroupStruct& group = *set[std::size_t(index)];
    if (entry >= 0 && entry < group.m_Paths.GetSize() && entry < group.m_Names.GetSize()) {
        group.m_Paths[entry] = path;
        group.m_Names[entry] = name;
    }
}
