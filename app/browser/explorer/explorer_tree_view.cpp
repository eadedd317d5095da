#include "browser/explorer/explorer_tree_view.h"

#include <QKeyEvent>

#include "browser/thumbnails/browser_actions.h"
#include "browser/thumbnails/thumbnails_doc.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "support/vx_helper.h"

CExplorerTreeView::CExplorerTreeView() = default;

CThumbnailsDoc* CExplorerTreeView::GetDocument() const
{
    return dynamic_cast<CThumbnailsDoc*>(CSView::GetDocument());
}

void CExplorerTreeView::OnInitialUpdate()
{
    CThumbnailsDoc* doc = GetDocument();
    if (!doc)
        return;
    // The Groups pane groups the folder itself at its first show.
    m_bPopulating = true;
    Populate(doc->CurrentFolder());
    m_bPopulating = false;
}

void CExplorerTreeView::OnUpdate(CSView* /*sender*/, long /*hint*/, void* /*hintObject*/) {}

void CExplorerTreeView::OnSelectFolder(const QString& path)
{
    CThumbnailsDoc* doc = GetDocument();
    if (m_bPopulating || !doc || path == doc->CurrentFolder())
        return;
    // The tree lists a name that is not UTF-8 as text that may name another
    // folder beside it.
    if (CVxHelper::IsAmbiguousName(path)) {
        // Once the click or key that chose it is done: a key selects its
        // entry twice, and the second would be refused again.
        QMetaObject::invokeMethod(this, [this, path] { _Refuse(path); }, Qt::QueuedConnection);
        return;
    }
    doc->SetCurrentFolder(path);
    doc->UpdateAllViews(this, thumbhint::HINT_REFRESH);
}

// The highlight goes back to the folder the window shows. The refused
// entry keeps the keyboard's place, so that the arrow keys go on from it
// rather than back to it; choosing it again is refused again.
void CExplorerTreeView::_Refuse(const QString& path)
{
    if (CBrowserActions* actions = CBrowserActions::Get())
        actions->Tell(CVxHelper::AmbiguousNameMessage(path));
    CThumbnailsDoc* doc = GetDocument();
    if (!doc)
        return;
    QTreeWidgetItem* refused = currentItem();
    m_bPopulating = true;
    SelectFolder(doc->CurrentFolder());
    if (refused)
        selectionModel()->setCurrentIndex(indexFromItem(refused), QItemSelectionModel::NoUpdate);
    m_bPopulating = false;
}

bool CExplorerTreeView::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        if (CSDocument* doc = CSView::GetDocument())
            doc->UpdateAllViews(this, thumbhint::HINT_NEXT_PANE);
        return true;
    }
    return CVxExplorerTreeView::event(event);
}

void CExplorerTreeView::focusInEvent(QFocusEvent* event)
{
    CVxExplorerTreeView::focusInEvent(event);
    if (auto* frame = dynamic_cast<CThumbnailsFrame*>(GetParentFrame()))
        frame->SetActivePane(this);
}
