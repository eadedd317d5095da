#pragma once

#include "support/mdi_frames.h"

class CExplorerTreeView;
class CSCommandToolBar;
class CThumbnailsTreeView;
class CThumbnailsView;
class QSplitter;
class QToolBox;
class QToolButton;

// The frame of a thumbnail window: on the left the "Groups" and "Explorer"
// trees, one shown at a time; on the right the thumbnails.
class CThumbnailsFrame : public CSMDIChildWnd {
    Q_OBJECT
public:
    // The list modes of the thumbnail pane.
    enum : int {
        ID_VIEW_SMALLICON = 0xE810,
        ID_VIEW_LARGEICON = 0xE811,
        ID_VIEW_LIST = 0xE812,
        ID_VIEW_DETAILS = 0xE813,
        ID_VIEW_LINEUP = 0xE814,
    };
    static const int kToolBarCommands[10];

    CThumbnailsFrame();
    ~CThumbnailsFrame() override;

    CThumbnailsView* ThumbnailView() const { return m_pThumbnails; }
    CThumbnailsTreeView* GroupsView() const { return m_pGroups; }
    CExplorerTreeView* ExplorerView() const { return m_pExplorer; }
    QToolBox* Panes() const { return m_pPanes; }
    QToolButton* GroupingButton() const { return m_pGroupingButton; }

    // The pane that has the focus is the active view (commands go there).
    void SetActivePane(CSView* view);
    // The left pane's current tree becomes the active view.
    void FocusLeftPane();
    void FocusNextPane();
    // The thumbnail view takes the commands the active tree does not.
    bool OnCmdMsg(int id) override;
    bool OnUpdateCmdMsg(CSCmdUI& ui) override;
    void InitialUpdateFrame(CSDocument* document, bool makeVisible) override;
    bool _OnCreateToolBars() override;
    QString OnGetRegistrySection() override { return QString(); }

protected:
    bool OnCreateClient(CSCreateContext& context) override;
    void OnDestroy() override;

private:
    void _ShowGroupingMenu();

    QSplitter* m_pSplitter = nullptr;
    QToolBox* m_pPanes = nullptr;
    QToolButton* m_pGroupingButton = nullptr;
    CThumbnailsTreeView* m_pGroups = nullptr;
    CExplorerTreeView* m_pExplorer = nullptr;
    CThumbnailsView* m_pThumbnails = nullptr;
    CSCommandToolBar* m_pToolBar = nullptr;
};
