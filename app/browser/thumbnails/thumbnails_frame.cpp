#include "browser/thumbnails/thumbnails_frame.h"

#include <QAction>
#include <QMenu>
#include <QSplitter>
#include <QToolBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

#include "browser/explorer/explorer_tree_view.h"
#include "browser/thumbnails/thumbnails_tree_view.h"
#include "browser/thumbnails/thumbnails_view.h"
#include "shell/menus.h"

const int CThumbnailsFrame::kToolBarCommands[10] = {
    CThumbnailsView::ID_REFRESH, 0, CThumbnailsView::ID_DECREASE_SIZE, CThumbnailsView::ID_INCREASE_SIZE,
    CThumbnailsView::ID_THUMBNAIL_SETTINGS, 0, CThumbnailsView::ID_MOVE, CThumbnailsView::ID_COPY,
    CThumbnailsView::ID_DELETE, CThumbnailsView::ID_RENAME};

namespace {

const char* ToolText(int id)
{
    switch (id) {
    case CThumbnailsView::ID_REFRESH: return "Refresh";
    case CThumbnailsView::ID_DECREASE_SIZE: return "Decrease Size of Thumbnails";
    case CThumbnailsView::ID_INCREASE_SIZE: return "Increase Size of Thumbnails";
    case CThumbnailsView::ID_THUMBNAIL_SETTINGS: return "Set thumbnail settings.";
    case CThumbnailsView::ID_MOVE: return "Move File";
    case CThumbnailsView::ID_COPY: return "Copy File";
    case CThumbnailsView::ID_DELETE: return "Delete File";
    case CThumbnailsView::ID_RENAME: return "Rename File";
    }
    return "";
}

} // namespace

CThumbnailsFrame::CThumbnailsFrame()
{
    using V = CThumbnailsView;
    const std::pair<int, V::EMode> modes[] = {{ID_VIEW_SMALLICON, V::EMode::SmallIcons},
                                              {ID_VIEW_LARGEICON, V::EMode::LargeIcons},
                                              {ID_VIEW_LIST, V::EMode::List},
                                              {ID_VIEW_DETAILS, V::EMode::Details}};
    for (const auto& [id, mode] : modes) {
        const V::EMode chosen = mode;
        OnCommand(id, [this, chosen](int) {
            if (m_pThumbnails)
                m_pThumbnails->SetMode(chosen);
        });
        OnUpdateCommand(id, [this, chosen](CSCmdUI& ui) {
            ui.Enable(m_pThumbnails != nullptr);
            ui.SetCheck(m_pThumbnails && m_pThumbnails->Mode() == chosen);
        });
    }
    OnCommand(ID_VIEW_LINEUP, [this](int) {
        if (m_pThumbnails)
            m_pThumbnails->LineUp();
    });
    OnUpdateCommand(ID_VIEW_LINEUP, [this](CSCmdUI& ui) {
        ui.Enable(m_pThumbnails && (m_pThumbnails->Mode() == V::EMode::LargeIcons ||
                                    m_pThumbnails->Mode() == V::EMode::SmallIcons));
    });
}

CThumbnailsFrame::~CThumbnailsFrame() = default;

bool CThumbnailsFrame::OnCreateClient(CSCreateContext& context)
{
    CSDocument* doc = context.m_pCurrentDoc;
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(m_pSplitter);
    auto* layout = new QVBoxLayout(left);
    layout->setContentsMargins(2, 2, 0, 0);
    layout->setSpacing(2);
    m_pGroupingButton = new QToolButton(left);
    m_pGroupingButton->setObjectName(QStringLiteral("GroupingSelection"));
    m_pGroupingButton->setFixedSize(15, 15);
    m_pGroupingButton->setArrowType(Qt::DownArrow);
    m_pGroupingButton->setToolTip(QStringLiteral("Grouping Selection"));
    connect(m_pGroupingButton, &QToolButton::clicked, this, &CThumbnailsFrame::_ShowGroupingMenu);
    layout->addWidget(m_pGroupingButton);
    m_pPanes = new QToolBox(left);
    m_pGroups = new CThumbnailsTreeView;
    m_pExplorer = new CExplorerTreeView;
    m_pPanes->addItem(m_pGroups, QStringLiteral("Groups"));
    m_pPanes->addItem(m_pExplorer, QStringLiteral("Explorer"));
    layout->addWidget(m_pPanes, 1);
    m_pThumbnails = new CThumbnailsView;
    m_pThumbnails->setParent(m_pSplitter);
    m_pSplitter->addWidget(left);
    m_pSplitter->addWidget(m_pThumbnails);
    m_pSplitter->setStretchFactor(1, 1);
    m_pSplitter->setSizes({220, 600});
    if (doc) {
        doc->AddView(m_pThumbnails);
        doc->AddView(m_pGroups);
        doc->AddView(m_pExplorer);
    }
    setCentralWidget(m_pSplitter);
    SetActiveView(m_pGroups);
    return true;
}

void CThumbnailsFrame::InitialUpdateFrame(CSDocument* document, bool makeVisible)
{
    // The thumbnail view registers itself before the trees fill it.
    m_pThumbnails->OnInitialUpdate();
    m_pExplorer->OnInitialUpdate();
    m_pGroups->OnInitialUpdate();
    SetActiveView(nullptr); // the base runs the initial update of the active view
    CSMDIChildWnd::InitialUpdateFrame(document, makeVisible);
    SetActiveView(m_pGroups);
    m_pGroups->setFocus();
}

void CThumbnailsFrame::OnDestroy()
{
    // Loaders and the grouping worker end before the views go.
    if (m_pThumbnails)
        m_pThumbnails->OnCloseView();
    if (m_pGroups)
        m_pGroups->OnCloseView();
    CSMDIChildWnd::OnDestroy();
}

void CThumbnailsFrame::SetActivePane(CSView* view)
{
    if (GetActiveView() == view)
        return;
    SetActiveView(view);
    if (m_pThumbnails)
        m_pThumbnails->viewport()->update(); // the frame colour of selected cells
}

void CThumbnailsFrame::FocusLeftPane()
{
    QWidget* current = m_pPanes->currentWidget();
    SetActivePane(current == m_pExplorer ? static_cast<CSView*>(m_pExplorer) : static_cast<CSView*>(m_pGroups));
    current->setFocus();
}

void CThumbnailsFrame::FocusNextPane()
{
    if (GetActiveView() == m_pThumbnails) {
        FocusLeftPane();
    } else {
        SetActivePane(m_pThumbnails);
        m_pThumbnails->setFocus();
    }
}

bool CThumbnailsFrame::OnCmdMsg(int id)
{
    if (CSMDIChildWnd::OnCmdMsg(id))
        return true;
    return m_pThumbnails && GetActiveView() != m_pThumbnails && m_pThumbnails->OnCmdMsg(id);
}

bool CThumbnailsFrame::OnUpdateCmdMsg(CSCmdUI& ui)
{
    if (CSMDIChildWnd::OnUpdateCmdMsg(ui))
        return true;
    return m_pThumbnails && GetActiveView() != m_pThumbnails && m_pThumbnails->OnUpdateCmdMsg(ui);
}

void CThumbnailsFrame::_ShowGroupingMenu()
{
    std::unique_ptr<QMenu> menu(m_pGroups->BuildGroupingSelectionMenu(this));
    menu->exec(m_pGroupingButton->mapToGlobal(QPoint(m_pGroupingButton->width(), m_pGroupingButton->height())));
}

bool CThumbnailsFrame::_OnCreateToolBars()
{
    m_pToolBar = AddCommandToolBar(QStringLiteral("Thumbnails"), QStringLiteral("ThumbnailsToolBar"), kToolBarCommands,
                                   CAmbrelMenus::CommandIcon,
                                   [](int id) { return QString::fromLatin1(ToolText(id)); });
    return true;
}
