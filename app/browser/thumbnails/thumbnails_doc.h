#pragma once

#include <QString>

#include <mutex>
#include <string>
#include <vector>

#include "browser/thumbnails/grouping.h"
#include "support/sdocument.h"

class CThumbnailsView;

// Update hints between the three views of a thumbnail window.
namespace thumbhint {
enum : long {
    HINT_SHOW_FILES = 1000,  // const std::vector<std::string>* paths, or null
    HINT_SELECT_ITEM = 1001, // int* index
    HINT_ESCAPE = 1002,
    HINT_NEXT_PANE = 1003,
    HINT_CLEAR = 1004,
    HINT_RENAMED = 1005, // const SRenamed*
    HINT_OPEN = 1006,
    HINT_REFRESH = 1007,
    HINT_QUERY_GROUP = 1008, // int* answer
};
struct SRenamed {
    std::string m_strPath;
    std::string m_strName;
    int m_nIndex;
};
} // namespace thumbhint

// The document of a thumbnail window: its current folder, the files the
// thumbnail view shows, and the two group sets of the folder.
//
// Every window keeps its own current folder; the process's current
// directory is never changed.
class CThumbnailsDoc : public CSDocument {
    Q_OBJECT
public:
    CThumbnailsDoc();
    ~CThumbnailsDoc() override;

    // A window opened without a folder shows the process's current directory.
    bool OnNewDocument() override;
    // `path` is the folder to show (a file stands for its folder).
    bool OnOpenDocument(const QString& path) override;
    // The folder is the window's path, but not a recent file.
    void SetPathName(const QString& path, bool addToRecentFiles = true) override;

    const QString& CurrentFolder() const { return m_strCurrentFolder; }
    void SetCurrentFolder(const QString& folder);

    // The group sets, under the lock.
    void InstallGroups(CGroupingResult&& result);
    void ClearGroups();
    int GetCurrentSet() const;
    // Switches to set 1 only when it exists; true when the set changed.
    bool SetCurrentSet(int set);
    bool HasSet(int set) const;
    int GroupCount() const;
    // The group `index` of the current set, or null.
    CGroupPtr GetGroup(int index) const;
    // Removes a group from the current set; later groups move up.
    void RemoveGroup(int index);
    // Empties path `entry` of group `index` of the current set.
    void EmptyGroupEntry(int index, int entry);
    // Renames entry `entry` of group `index` of the current set.
    void RenameGroupEntry(int index, int entry, const std::string& path, const std::string& name);

    CThumbnailsView* m_pThumbnailView = nullptr;
    std::vector<std::string> m_FileList;

private:
    mutable std::mutex m_Lock;
    CGroupSet m_GroupSets[2];
    int m_nCurrentSet = 0;
    QString m_strCurrentFolder;
};
