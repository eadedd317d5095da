#pragma once

#include "support/explorer_tree_view.h"
#include "support/sdocument.h"

class CThumbnailsDoc;

// The "Explorer" pane of a thumbnail window: selecting a folder makes it the
// window's current folder and regroups it.
class CExplorerTreeView : public CVxExplorerTreeView, public CSView {
    Q_OBJECT
public:
    CExplorerTreeView();

    CThumbnailsDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnUpdate(CSView* sender, long hint, void* hintObject) override;

protected:
    void OnSelectFolder(const QString& path) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void _Refuse(const QString& path);

    bool m_bPopulating = false;
};
