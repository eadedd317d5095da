#pragma once

#include <QAbstractListModel>
#include <QFont>
#include <QListView>
#include <QStyledItemDelegate>

#include <memory>
#include <string>
#include <vector>

#include "browser/thumbnails/full_picture_budget.h"
#include "browser/thumbnails/loader_pool.h"
#include "browser/thumbnails/thumbnail_cache.h"
#include "browser/thumbnails/thumbnail_item.h"
#include "browser/thumbnails/thumbnail_loader.h"
#include "support/sdocument.h"

class CThumbnailsDoc;
class CThumbnailsView;
class QHeaderView;
class QMenu;

// The cells of the view: one ThumbnailItem per file, captions on demand.
class CThumbnailsModel : public QAbstractListModel {
    Q_OBJECT
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    std::vector<std::unique_ptr<ThumbnailItem>> m_Items;
    // Returns the items it held.
    std::vector<std::unique_ptr<ThumbnailItem>> Reset(std::vector<std::unique_ptr<ThumbnailItem>> items);
};

// Draws every cell through the view.
class CThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CThumbnailDelegate(CThumbnailsView* view);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    CThumbnailsView* m_pView;
};

// The grid of thumbnails of a thumbnail window. Pictures are decoded only
// for painted cells, on a pool of loaders; a cell that scrolls away before
// its load starts is not decoded.
class CThumbnailsView : public QListView, public CSView {
    Q_OBJECT
public:
    enum : int {
        ID_RENAME = 223,
        ID_MOVE = 227,
        ID_COPY = 228,
        ID_DELETE = 235,
        ID_SELECT_ALL = 243,
        ID_INCREASE_SIZE = 32810,
        ID_DECREASE_SIZE = 32811,
        ID_THUMBNAIL_SETTINGS = 32812,
        ID_REFRESH = 32813,
    };
    static constexpr int kMinSize = 48;
    static constexpr int kMaxSize = 1024;
    static constexpr int kDefaultSize = 128;
    static constexpr int kMaxLoaders = 100;
    enum class EMode { LargeIcons, SmallIcons, List, Details };

    CThumbnailsView();
    ~CThumbnailsView() override;

    CThumbnailsDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnUpdate(CSView* sender, long hint, void* hintObject) override;
    void OnCloseView() override;

    int ThumbnailSize() const { return m_nThumbnailSize; }
    // Clamps to 48 ... 1024 and re-applies the size.
    void SetThumbnailSize(int size);
    // "Thumbnails"/"Size": a stored value that is not a number gives 128,
    // one out of range the nearest limit.
    static int LoadStoredSize();

    int ItemCount() const { return int(m_pModel->m_Items.size()); }
    ThumbnailItem* Item(int index) const;
    int RunningLoaders() const { return m_nRunningLoaders; }
    int PeakRunningLoaders() const { return m_nPeakLoaders; }
    // Cells no longer shown whose loads still run.
    int CellsAside() const { return int(m_Aside.size()); }
    const SLoadCounters& Counters() const { return m_Counters; }
    CFullPictureBudget& Budget() { return m_Budget; }
    CLoaderPool& Pool() { return *m_pPool; }
    // Null: no cache.
    void SetCache(std::unique_ptr<CThumbnailCache> cache) { m_pCache = std::move(cache); }

    void ShowFiles(const std::vector<std::string>* paths);
    void DestroyAllItems();
    void OpenSelected();
    void SelectOnly(int index);
    std::vector<int> SelectedIndexes() const;

    void SetMode(EMode mode);
    EMode Mode() const { return m_nMode; }
    void LineUp();
    // The column header of the details list (shown only in that mode).
    QHeaderView* DetailsHeader() const { return m_pHeader; }
    // A row of the details list: name, file size, last change (both empty
    // when the file is gone).
    QStringList DetailsTexts(int index) const;
    void PaintDetailsRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

    // The commands on the selected cells.
    void RenameSelected();
    void TransferSelected(bool moving);
    void DeleteSelected();
    QMenu* BuildContextMenu();

    void PaintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);
    QSize CellSize() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void _CreateDetailsHeader();
    void _ApplySize();
    void _StartLoader(ThumbnailItem& item);
    void _OnLoaded(ThumbnailItem* item, long generation);
    void _DropInvisibleLoads();
    // The file of the cell left the view (moved or deleted).
    void _FileGone(ThumbnailItem& item);
    // The selected cells whose files are still there (decoded or not), with
    // their paths: none of the commands needs the picture.
    std::vector<std::pair<ThumbnailItem*, std::string>> _SelectedFiles() const;
    int _QueryGroup();
    bool _IsActivePane();
    void _RepaintItem(int index);

    CThumbnailsModel* m_pModel;
    int m_nThumbnailSize = kDefaultSize;
    int m_nRunningLoaders = 0;
    int m_nPeakLoaders = 0;
    bool m_bClosing = false;
    bool m_bRebuilding = false;
    bool m_bDestroyed = false;
    bool m_bStarved = false;
    long m_nGeneration = 0;
    unsigned long long m_nPaintTick = 0;
    EMode m_nMode = EMode::LargeIcons;
    QHeaderView* m_pHeader = nullptr;
    QFont m_SelectionFont;
    SLoadCounters m_Counters;
    CFullPictureBudget m_Budget;
    std::unique_ptr<CThumbnailCache> m_pCache;
    std::vector<std::unique_ptr<ThumbnailItem>> m_Aside;
    std::unique_ptr<CLoaderPool> m_pPool;
    // Cache entries are written here, after their cells show, when the
    // loaders leave the processor free.
    std::unique_ptr<CLoaderPool> m_pWriter;
};
