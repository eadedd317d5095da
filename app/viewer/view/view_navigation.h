#pragma once

#include <QTimer>

#include "view_part.h"
#include "viewer/image_file_lists.h"

// Stepping through the document's file lists: the stepping commands and
// their questions, loading an entry with its prefetched neighbour, the
// position slider, the choice of list (folder, sub-folders, group) and the
// folder watch that refreshes the list.
class CViewNavigation : public CViewPart {
public:
    explicit CViewNavigation(CAmbrelView& view);

    // Loads the active list's current entry (+1 / -1: the stepping
    // direction, which also picks the neighbour to prefetch). Without
    // `usePrefetch` the file is always read.
    void LoadCurrentFile(int direction, bool usePrefetch);
    // Runs a step of the navigator; without `needsPrompt` an edited picture
    // is left without the save question (the slideshow shows no edits).
    void Navigate(CNavigationStep (CFileNavigator::*step)(), bool needsPrompt = true);
    // The save question for an edited picture; false when the user stays.
    bool CanLeaveImage();
    void StartPrefetch(int direction);
    void UpdatePositionDisplay();
    void OnSliderReleased(int position);
    void RefreshFolder();
    void RestartFolderWatch();
    void ShowGroupMenu();

private:
    void _RunStep(const CNavigationStep& step, bool usePrefetch);
    void _SelectList(int id);
    bool _KeepsEmptiedWindow(CAmbrelDoc& doc);

    bool m_bAsking = false;
    QTimer m_RetryRefresh;
};
