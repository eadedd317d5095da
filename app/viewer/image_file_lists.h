#pragma once

#include <functional>
#include <string>

#include "support/group_struct.h"
#include "support/sortable_string_array.h"

// The lists of image files an image window steps through, and the position in
// them. Kept free of windows so that the navigation rules can be tested alone.
class CImageFileLists {
public:
    enum { kListAll = 0, kListSubFolders = 1, kListGroup = 2 };

    struct FileList {
        CSortableStringArray files;  // full paths with the files' real names
        std::string title;
        bool built = false;
    };

    CImageFileLists();

    // Appends to `out` every file under `folder` whose lower-case name
    // contains `pattern`; with `recurse`, the subfolders' too, depth first.
    static void CollectMatchingFiles(const std::string& folder, const std::string& pattern, bool recurse,
                                     CSortableStringArray& out);

    // Rebuilds the active list from `path`: a folder when it ends with '/',
    // else the folder of that file.
    void BuildFileList(const std::string& path, bool recurse);
    void SelectFileList(int index, const std::string& folder);
    void RefreshFileList();
    void LocateCurrentFile();
    // Makes list 2 the group's files, titled with its name without brackets.
    void SetGroupList(const CGroupStruct& group);

    FileList& ActiveList() { return m_FileLists[m_nActiveList]; }
    const FileList& ActiveList() const { return m_FileLists[m_nActiveList]; }
    int GetFileCount() const { return ActiveList().files.GetSize(); }
    // The path of entry `index` of the active list, empty when out of range.
    std::string GetFilePath(int index) const;
    // "--/--" or "current/count [title]".
    std::string PositionText() const;

    // The document's path name: the file shown.
    std::string m_strListPathName;

    FileList m_FileLists[3];
    int m_nActiveList = 0;
    std::string m_strListSource;
    int m_nCurrentFile = -1;
    int m_nLastPosition = -1;
};

// The outcome of a navigation command on the lists.
struct CNavigationStep {
    enum Kind {
        Ignored,  // the list is too short for the command
        Stopped,  // the user declined to loop
        Beep,     // no further folder: position unchanged
        Load,     // load m_nCurrentFile
    } kind = Ignored;
    int direction = 1;
};

// The navigation rules. `askLoop(true)` asks whether to go on from the end to
// the first file, `askLoop(false)` from the beginning to the last; in a
// slideshow the lists wrap without asking. They change m_nCurrentFile only
// when the step is Load.
class CFileNavigator {
public:
    using AskLoop = std::function<bool(bool atEnd)>;
    CFileNavigator(CImageFileLists& lists, bool slideshow, AskLoop askLoop)
        : m_Lists(lists), m_bSlideshow(slideshow), m_AskLoop(std::move(askLoop))
    {
    }

    CNavigationStep NextFile();
    CNavigationStep PreviousFile();
    CNavigationStep NextFolder();
    CNavigationStep PreviousFolder();
    CNavigationStep FirstFile();
    CNavigationStep LastFile();
    // The slider runs from 1 to the count.
    CNavigationStep SliderPosition(int position);

    // The entry to prefetch after loading the current one in `direction`, or -1.
    static int PrefetchTarget(int current, int count, int direction);
    // The directory part of a path (without the file name).
    static std::string DirectoryOf(const std::string& path);

private:
    int StartForward() const;
    int StartBackward() const;
    bool Wrap(bool atEnd);
    CNavigationStep LoadAt(int index, int direction);

    CImageFileLists& m_Lists;
    bool m_bSlideshow;
    AskLoop m_AskLoop;
};
