#pragma once

#include <QTreeWidget>

#include <atomic>
#include <thread>

#include "browser/thumbnails/group_operations.h"
#include "support/sdocument.h"
#include "support/thread_refusal.h"

class CThumbnailsDoc;
class QMenu;
class QTimer;

// The "Groups" pane: the files of the window's folder grouped by the first
// word of their names, as a tree of groups and files, and the commands on
// a whole group. The grouping runs on a worker each time the folder changes.
class CThumbnailsTreeView : public QTreeWidget, public CSView {
    Q_OBJECT
public:
    enum : int {
        ID_SHOW_ALL = 106,
        ID_SHOW_GROUPED = 108,
        ID_MOVE = 227,
        ID_COPY = 228,
        ID_DELETE = 235,
        ID_CONVERT = 246,
        ID_CONVERT_RENAME = 248,
        ID_MOVE_SUB_RENAME = 249,
        ID_COPY_SUB_RENAME = 250,
        ID_REFRESH = 32813,
        ID_MOVE_SUB = 32823,
        ID_COPY_SUB = 32824,
    };
    static constexpr int kSelectDelayMs = 400;
    static const char* const kGroupingShortOfMemory;
    static const char* const kGroupingWithoutThread;

    CThumbnailsTreeView();
    ~CThumbnailsTreeView() override;

    CThumbnailsDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnUpdate(CSView* sender, long hint, void* hintObject) override;
    void OnCloseView() override;

    // Empties the tree and the sets and starts a grouping of the folder.
    void Regroup();
    bool IsGrouping() const { return m_bGrouping; }
    // Shows set 0 ("Grouped") or 1 ("All").
    void SwitchSet(int set);
    void RunGroupCommand(int id);
    // Removes group `index` from the set and the tree.
    void RemoveGroup(int index);

    int CurrentGroup() const { return m_nCurrentGroup; }
    // The selected group item, or the parent of the selected file; null.
    QTreeWidgetItem* SelectedGroupItem() const;
    bool IsFileSelected() const;
    QMenu* BuildGroupingSelectionMenu(QWidget* parent);
    QMenu* BuildGroupsMenu(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void _FillTree();
    void _OnSelectionChanged();
    void _ShowGroup(int index);
    void _StopGrouping();
    void _GroupingNotStarted(EThreadRefusal why);
    void _Broadcast(long hint, void* object = nullptr);

    int m_nCurrentGroup = -1;
    QTreeWidgetItem* m_hCurrentGroupItem = nullptr;
    std::thread m_GroupingThread;
    std::atomic<bool> m_bStopGrouping{false};
    bool m_bGrouping = false;
    unsigned m_nGroupingSerial = 0;
    bool m_bSuppressSelection = false;
    bool m_bClosed = false;
    QTimer* m_pSelectTimer;
};
