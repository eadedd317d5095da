#include "browser/thumbnails/thumbnails_view.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>

#include <algorithm>

#include "browser/fileops/native_path.h"
#include "browser/thumbnails/browser_actions.h"
#include "browser/thumbnails/thumbnails_doc.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "browser/thumbnails/thumbnails_settings_dialog.h"
#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "shell/messages.h"
#include "support/doc_template_manager.h"
#include "support/message_event.h"

using namespace thumbhint;

namespace {

const QColor kNavy(0, 0, 128);
const QColor kGrey(128, 128, 128);
const QColor kLightGrey(192, 192, 192);

// Budget for full pictures in "Thumbnails"/"FullPictureMB"; anything but a
// positive number keeps the default.
std::size_t StoredBudget()
{
    bool ok = false;
    const long long megabytes = QSettings().value(QStringLiteral("Thumbnails/FullPictureMB")).toLongLong(&ok);
    if (!ok || megabytes <= 0 || megabytes > (1LL << 24))
        return CFullPictureBudget::DefaultBytes();
    return std::size_t(megabytes) << 20;
}

void DrawEdge(QPainter* painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    painter->setPen(topLeft);
    painter->drawLine(r.topLeft(), r.topRight());
    painter->drawLine(r.topLeft(), r.bottomLeft());
    painter->setPen(bottomRight);
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
}

} // namespace

// Model -----------------------------------------------------------------------

int CThumbnailsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_Items.size());
}

QVariant CThumbnailsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_Items.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromStdString(role == Qt::DisplayRole ? m_Items[std::size_t(index.row())]->m_strName
                                                              : m_Items[std::size_t(index.row())]->m_strPath);
    return {};
}

std::vector<std::unique_ptr<ThumbnailItem>> CThumbnailsModel::Reset(std::vector<std::unique_ptr<ThumbnailItem>> items)
{
    beginResetModel();
    m_Items.swap(items);
    endResetModel();
    return items;
}

CThumbnailDelegate::CThumbnailDelegate(CThumbnailsView* view) : QStyledItemDelegate(view), m_pView(view) {}

void CThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_pView->Mode() == CThumbnailsView::EMode::LargeIcons)
        m_pView->PaintCell(painter, option, index);
    else if (m_pView->Mode() == CThumbnailsView::EMode::Details)
        m_pView->PaintDetailsRow(painter, option, index);
    else
        QStyledItemDelegate::paint(painter, option, index);
}

QSize CThumbnailDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_pView->Mode() == CThumbnailsView::EMode::LargeIcons)
        return m_pView->CellSize();
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (m_pView->Mode() == CThumbnailsView::EMode::Details)
        return QSize(m_pView->DetailsHeader()->length(), size.height());
    return size;
}

// View ------------------------------------------------------------------------

CThumbnailsView::CThumbnailsView()
    : m_pModel(new CThumbnailsModel), m_Budget(StoredBudget()), m_pCache(std::make_unique<CThumbnailCache>()),
      m_pPool(std::make_unique<CLoaderPool>()), m_pWriter(std::make_unique<CLoaderPool>(1, 19))
{
    m_pModel->setParent(this);
    setModel(m_pModel);
    setItemDelegate(new CThumbnailDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setViewMode(QListView::IconMode);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    m_nThumbnailSize = LoadStoredSize();
    _CreateDetailsHeader();

    OnCommand(ID_RENAME, [this](int) { RenameSelected(); });
    OnCommand(ID_MOVE, [this](int) { TransferSelected(true); });
    OnCommand(ID_COPY, [this](int) { TransferSelected(false); });
    OnCommand(ID_DELETE, [this](int) { DeleteSelected(); });
    OnCommand(ID_SELECT_ALL, [this](int) { selectAll(); });
    OnCommand(ID_REFRESH, [this](int) {
        if (CSDocument* doc = CSView::GetDocument())
            doc->UpdateAllViews(this, HINT_REFRESH);
    });
    OnCommand(ID_INCREASE_SIZE, [this](int) { SetThumbnailSize(m_nThumbnailSize + 4); });
    OnCommand(ID_DECREASE_SIZE, [this](int) { SetThumbnailSize(m_nThumbnailSize - 4); });
    OnCommand(ID_THUMBNAIL_SETTINGS, [this](int) {
        CThumbnailsSettingsDlg dialog(this, this);
        dialog.exec();
    });
    auto enableWithSelection = [this](CSCmdUI& ui) {
        ui.Enable(CBrowserActions::Get() && !selectionModel()->selectedIndexes().isEmpty());
    };
    for (int id : {int(ID_RENAME), int(ID_MOVE), int(ID_COPY), int(ID_DELETE)})
        OnUpdateCommand(id, enableWithSelection);
    OnUpdateCommand(ID_SELECT_ALL, [this](CSCmdUI& ui) { ui.Enable(ItemCount() > 0); });
    OnUpdateCommand(ID_INCREASE_SIZE, [this](CSCmdUI& ui) { ui.Enable(m_nThumbnailSize < kMaxSize); });
    OnUpdateCommand(ID_DECREASE_SIZE, [this](CSCmdUI& ui) { ui.Enable(m_nThumbnailSize > kMinSize); });
}

CThumbnailsView::~CThumbnailsView()
{
    OnCloseView();
}

void CThumbnailsView::OnCloseView()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    QSettings().setValue(QStringLiteral("Thumbnails/Size"), m_nThumbnailSize);
    DestroyAllItems();
    m_pPool->DropAllAndWait();
    m_Aside.clear();
    m_pWriter->Finish();
    if (CThumbnailsDoc* doc = GetDocument(); doc && doc->m_pThumbnailView == this)
        doc->m_pThumbnailView = nullptr;
}

CThumbnailsDoc* CThumbnailsView::GetDocument() const
{
    return dynamic_cast<CThumbnailsDoc*>(CSView::GetDocument());
}

int CThumbnailsView::LoadStoredSize()
{
    bool ok = false;
    const long long size = QSettings().value(QStringLiteral("Thumbnails/Size"), kDefaultSize).toLongLong(&ok);
    if (!ok)
        return kDefaultSize;
    return int(std::clamp<long long>(size, kMinSize, kMaxSize));
}

void CThumbnailsView::OnInitialUpdate()
{
    if (CThumbnailsDoc* doc = GetDocument())
        doc->m_pThumbnailView = this;
    m_SelectionFont = font();
    m_SelectionFont.setWeight(QFont::Bold);
    _ApplySize();
}

ThumbnailItem* CThumbnailsView::Item(int index) const
{
    return index >= 0 && index < ItemCount() ? m_pModel->m_Items[std::size_t(index)].get() : nullptr;
}

void CThumbnailsView::OnUpdate(CSView* sender, long hint, void* hintObject)
{
    if (sender == this)
        return;
    switch (hint) {
    case HINT_SHOW_FILES:
        ShowFiles(static_cast<const std::vector<std::string>*>(hintObject));
        break;
    case HINT_SELECT_ITEM:
        if (hintObject)
            SelectOnly(*static_cast<int*>(hintObject));
        break;
    case HINT_CLEAR:
        DestroyAllItems();
        break;
    case HINT_OPEN:
        OpenSelected();
        break;
    case HINT_NEXT_PANE:
        if (auto* frame = dynamic_cast<CThumbnailsFrame*>(GetParentFrame()))
            frame->FocusNextPane();
        break;
    default:
        break;
    }
}

void CThumbnailsView::ShowFiles(const std::vector<std::string>* paths)
{
    DestroyAllItems();
    if (!paths)
        return;
    CThumbnailsDoc* doc = GetDocument();
    if (doc)
        doc->m_FileList = *paths;
    m_bRebuilding = true;
    std::vector<std::unique_ptr<ThumbnailItem>> items;
    items.reserve(paths->size());
    for (std::size_t i = 0; i < paths->size(); ++i) {
        items.push_back(std::make_unique<ThumbnailItem>(int(i), (*paths)[i]));
        if ((*paths)[i].empty()) { // a file already gone from the group
            items.back()->m_bLoadable = false;
            items.back()->m_bFileGone = true;
        }
    }
    m_pModel->Reset(std::move(items));
    m_bRebuilding = false;
}

void CThumbnailsView::DestroyAllItems()
{
    m_bClosing = true;
    // Queued loads go at once. Running ones are not waited for (a huge
    // picture decodes for seconds): their cells are put aside, and their
    // completions, of an old generation, free them.
    m_pPool->Drop([](const void*) { return true; },
                  [](const void* key) {
                      static_cast<ThumbnailItem*>(const_cast<void*>(key))->m_nLoadState = ThumbnailItem::LoadState::None;
                  });
    ++m_nGeneration;
    m_Budget.Clear();
    m_bRebuilding = true;
    for (std::unique_ptr<ThumbnailItem>& item : m_pModel->Reset({}))
        if (item->m_nLoadState == ThumbnailItem::LoadState::Started)
            m_Aside.push_back(std::move(item));
    m_bRebuilding = false;
    if (CThumbnailsDoc* doc = GetDocument())
        doc->m_FileList.clear();
    m_nRunningLoaders = 0;
    m_bClosing = false;
}

QSize CThumbnailsView::CellSize() const
{
    return QSize(m_nThumbnailSize + 5, m_nThumbnailSize + fontMetrics().height() + 6);
}

void CThumbnailsView::SetThumbnailSize(int size)
{
    m_nThumbnailSize = std::clamp(size, int(kMinSize), int(kMaxSize));
    _ApplySize();
}

void CThumbnailsView::_ApplySize()
{
    setIconSize(QSize(m_nThumbnailSize, m_nThumbnailSize));
    if (m_nMode == EMode::LargeIcons)
        setGridSize(CellSize());
    m_bRebuilding = true;
    if (GeneralSettings.bSlowComputer) {
        // Decoded again at the new size when painted.
        for (auto& item : m_pModel->m_Items)
            if (item->m_nLoadState == ThumbnailItem::LoadState::Done) {
                item->DiscardPictures();
                item->m_nLoadState = ThumbnailItem::LoadState::None;
            }
    }
    doItemsLayout();
    m_bRebuilding = false;
    viewport()->update();
}

bool CThumbnailsView::_IsActivePane()
{
    CSMDIChildWnd* frame = GetParentFrame();
    return !frame || frame->GetActiveView() == this;
}

void CThumbnailsView::PaintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    ThumbnailItem* item = Item(index.row());
    if (!item)
        return;
    item->m_nLastPaint = ++m_nPaintTick;
    const int size = m_nThumbnailSize;
    const QRect cell = option.rect;
    QRect r(cell.left() + (cell.width() - size) / 2, cell.top(), size, size);
    const QRect caption(cell.left(), r.bottom() + 1, cell.width(), cell.bottom() - r.bottom());
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    if (selected) {
        painter->setPen(_IsActivePane() ? kNavy : kGrey);
        painter->setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            painter->drawRect(r.adjusted(0, 0, -1, -1));
            r.adjust(1, 1, -1, -1);
        }
        r.adjust(1, 1, -1, -1);
    } else {
        r.adjust(4, 4, -4, -4);
    }
    DrawEdge(painter, r, kGrey, Qt::black);
    r.adjust(1, 1, -1, -1);
    DrawEdge(painter, r, Qt::white, kLightGrey);
    r.adjust(1, 1, -1, -1);
    painter->fillRect(r, Qt::white);
    painter->fillRect(r, QBrush(kLightGrey, Qt::DiagCrossPattern));

    const int box = thumbs::PictureBox(size);
    if (item->m_nLoadState == ThumbnailItem::LoadState::Done && item->m_nScaledBox != box) {
        // The size changed: a kept full picture is scaled again here, any
        // other cell loads again.
        if (item->IsValidObject() && !GeneralSettings.bSlowComputer) {
            CVelvix scaled(*item);
            if (thumbs::ScaleToCell(scaled, item->m_nFullWidth, item->m_nFullHeight, box,
                                    GeneralSettings.bResampleThumbnails != 0)) {
                item->m_imgScaled.Swap(scaled);
                item->m_nScaledBox = box;
                item->UpdateDrawable();
            }
        } else if (item->m_bLoadable) {
            item->m_imgScaled.DeleteObject();
            item->UpdateDrawable();
            item->m_nLoadState = ThumbnailItem::LoadState::None;
        }
    }
    if (item->m_nLoadState == ThumbnailItem::LoadState::None)
        _StartLoader(*item);
    if (item->m_nLoadState == ThumbnailItem::LoadState::Done && !item->Drawable().isNull())
        painter->drawImage(r.topLeft(), item->Drawable());

    painter->setFont(selected ? m_SelectionFont : font());
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                      QString::fromStdString(item->m_strName));
    painter->restore();
}

void CThumbnailsView::_StartLoader(ThumbnailItem& item)
{
    if (m_bClosing || !item.m_bLoadable || item.HasScaled())
        return;
    if (m_nRunningLoaders >= kMaxLoaders) {
        m_bStarved = true; // painted again when a load reports
        return;
    }
    ++m_nRunningLoaders;
    m_nPeakLoaders = std::max(m_nPeakLoaders, m_nRunningLoaders);
    item.m_nLoadState = ThumbnailItem::LoadState::Started;
    SThumbnailLoad load;
    load.m_strPath = item.m_strPath;
    load.m_nBox = thumbs::PictureBox(m_nThumbnailSize);
    load.m_bKeepFull = !GeneralSettings.bSlowComputer && m_Budget.Budget() > 0;
    load.m_bBilinear = GeneralSettings.bResampleThumbnails != 0;
    load.m_pCache = m_pCache.get();
    ThumbnailItem* target = &item;
    const long generation = m_nGeneration;
    SLoadCounters* counters = &m_Counters;
    CLoaderPool* writer = m_pWriter.get();
    m_pPool->Queue(target, [this, target, load, generation, counters, writer] {
        SCacheEntry entry;
        LoadThumbnail(*target, load, counters, &entry);
        VxPostMessage(this, msg::WM_THUMBNAIL_LOADED, reinterpret_cast<std::uintptr_t>(target), generation);
        if (!entry.m_Picture.isNull())
            writer->Queue(nullptr, [cache = *load.m_pCache, entry = std::move(entry)] {
                WriteCacheEntry(cache, entry);
            });
    });
}

bool CThumbnailsView::event(QEvent* event)
{
    if (event->type() == QEvent::Type(msg::WM_THUMBNAIL_LOADED)) {
        auto* message = static_cast<CVxMessageEvent*>(event);
        _OnLoaded(reinterpret_cast<ThumbnailItem*>(message->m_wParam), long(message->m_lParam));
        return true;
    }
    return QListView::event(event);
}

void CThumbnailsView::_OnLoaded(ThumbnailItem* item, long generation)
{
    if (generation != m_nGeneration) { // a cell put aside
        std::erase_if(m_Aside, [item](const std::unique_ptr<ThumbnailItem>& aside) { return aside.get() == item; });
        return;
    }
    --m_nRunningLoaders;
    item->m_nLoadState = ThumbnailItem::LoadState::Done;
    if (item->m_bDiscardOnLoad) {
        item->DiscardPictures();
        item->m_bDiscardOnLoad = false;
    }
    if (item->IsValidObject()) {
        if (m_Budget.Fits(item->FullBytes()))
            m_Budget.Admit(item);
        else
            item->DeleteObject();
    }
    if (m_bClosing)
        return;
    _RepaintItem(item->m_nIndex);
    if (m_bStarved) {
        m_bStarved = false;
        viewport()->update();
    }
}

void CThumbnailsView::_RepaintItem(int index)
{
    if (index >= 0 && index < ItemCount())
        update(m_pModel->index(index));
}

void CThumbnailsView::_DropInvisibleLoads()
{
    const QRect visible = viewport()->rect();
    m_pPool->Drop(
        [this, &visible](const void* key) {
            auto* item = static_cast<const ThumbnailItem*>(key);
            return !visualRect(m_pModel->index(item->m_nIndex)).intersects(visible);
        },
        [this](const void* key) {
            auto* item = static_cast<ThumbnailItem*>(const_cast<void*>(key));
            item->m_nLoadState = ThumbnailItem::LoadState::None;
            --m_nRunningLoaders;
        });
}

void CThumbnailsView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    if (m_pHeader && dx != 0)
        m_pHeader->setOffset(horizontalOffset());
    _DropInvisibleLoads();
}

void CThumbnailsView::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    _DropInvisibleLoads();
}

void CThumbnailsView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QListView::selectionChanged(selected, deselected);
    if (m_bRebuilding)
        return;
    const QModelIndexList changed = selected.indexes().isEmpty() ? deselected.indexes() : selected.indexes();
    if (changed.isEmpty())
        return;
    int index = changed.last().row();
    if (CSDocument* doc = CSView::GetDocument())
        doc->UpdateAllViews(this, HINT_SELECT_ITEM, &index);
}

void CThumbnailsView::SelectOnly(int index)
{
    if (index < 0 || index >= ItemCount())
        return;
    m_bRebuilding = true;
    const QModelIndex target = m_pModel->index(index);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
    m_bRebuilding = false;
}

std::vector<int> CThumbnailsView::SelectedIndexes() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CThumbnailsView::_QueryGroup()
{
    int group = -1;
    if (CSDocument* doc = CSView::GetDocument())
        doc->UpdateAllViews(this, HINT_QUERY_GROUP, &group);
    return group;
}

void CThumbnailsView::OpenSelected()
{
    const std::vector<int> rows = SelectedIndexes();
    CThumbnailsDoc* doc = GetDocument();
    if (rows.empty() || !doc || !AmbrelApp())
        return;
    const int groupIndex = _QueryGroup();
    if (groupIndex < 0)
        return;
    ThumbnailItem* item = Item(rows.front());
    if (!item || item->m_strPath.empty())
        return;
    // The viewer takes the path as text.
    if (!SurvivesAsText(item->m_strPath))
        return;
    const QString path = FromNativePath(item->m_strPath);
    // The viewer copies both while its document opens.
    CGroupPtr group = doc->GetGroup(groupIndex);
    const bool handPicture = item->m_nLoadState == ThumbnailItem::LoadState::Done && item->IsValidObject() &&
                             !GeneralSettings.bSlowComputer;
    AmbrelApp()->GetTemplateManager().OpenNewFrame(QStringLiteral("CPixelFrame"), false, path,
                                                   handPicture ? static_cast<CVelvix*>(item) : nullptr, group.get());
}

void CThumbnailsView::_FileGone(ThumbnailItem& item)
{
    item.m_bLoadable = false;
    item.m_bFileGone = true;
    const int group = _QueryGroup();
    if (group >= 0)
        if (CThumbnailsDoc* doc = GetDocument())
            doc->EmptyGroupEntry(group, item.m_nIndex);
    if (item.m_nLoadState == ThumbnailItem::LoadState::Started) {
        // Still queued: never decoded. Running: dropped when it reports.
        ThumbnailItem* target = &item;
        if (m_pPool->Drop([target](const void* key) { return key == target; }) > 0) {
            --m_nRunningLoaders;
            item.m_nLoadState = ThumbnailItem::LoadState::None;
        } else {
            item.m_bDiscardOnLoad = true;
        }
    } else {
        m_Budget.Forget(&item);
        item.DiscardPictures();
    }
    _RepaintItem(item.m_nIndex);
}

std::vector<std::pair<ThumbnailItem*, std::string>> CThumbnailsView::_SelectedFiles() const
{
    std::vector<std::pair<ThumbnailItem*, std::string>> targets;
    for (int row : SelectedIndexes())
        if (ThumbnailItem* item = Item(row); item && !item->m_bFileGone)
            targets.emplace_back(item, item->m_strPath);
    return targets;
}

// The commands' questions and dialogs run the event loop, where the tree may
// show another group: the files asked for are still done, but a cell is
// touched only while the generation it belongs to is shown.
void CThumbnailsView::RenameSelected()
{
    CBrowserActions* actions = CBrowserActions::Get();
    if (!actions)
        return;
    const long generation = m_nGeneration;
    actions->SetBatch(true);
    for (const auto& [item, path] : _SelectedFiles()) {
        const std::string renamed = actions->RenameFile(path, false);
        if (renamed.empty() || generation != m_nGeneration)
            continue;
        const int row = item->m_nIndex;
        item->SetPath(renamed);
        if (CThumbnailsDoc* doc = GetDocument(); doc && row < int(doc->m_FileList.size()))
            doc->m_FileList[std::size_t(row)] = renamed;
        _RepaintItem(row);
        SRenamed info{renamed, item->m_strName, row};
        if (CSDocument* doc = CSView::GetDocument())
            doc->UpdateAllViews(this, HINT_RENAMED, &info);
    }
    actions->SetBatch(false);
}

void CThumbnailsView::TransferSelected(bool moving)
{
    CBrowserActions* actions = CBrowserActions::Get();
    if (!actions)
        return;
    const long generation = m_nGeneration;
    actions->SetBatch(true);
    for (const auto& [item, path] : _SelectedFiles()) {
        const int result = moving ? actions->MoveFileTo(path) : actions->CopyFileTo(path);
        if (result < 0)
            break;
        if (moving && result == 1 && generation == m_nGeneration)
            _FileGone(*item);
    }
    actions->SetBatch(false);
}

void CThumbnailsView::DeleteSelected()
{
    CBrowserActions* actions = CBrowserActions::Get();
    if (!actions)
        return;
    const auto targets = _SelectedFiles();
    const long generation = m_nGeneration;
    if (targets.empty() ||
        !actions->Ask(QStringLiteral("Are you sure you want to delete %1 file(s) ?").arg(targets.size()),
                      QStringLiteral("Confirm Delete"), true, true))
        return;
    actions->SetBatch(true);
    for (const auto& [item, path] : targets)
        if (actions->DeleteFileAsk(path) && generation == m_nGeneration)
            _FileGone(*item);
    actions->SetBatch(false);
}

QMenu* CThumbnailsView::BuildContextMenu()
{
    auto* menu = new QMenu(this);
    const std::pair<const char*, int> entries[] = {{"&Rename File\tF6", ID_RENAME},
                                                   {"&Move File\tF7", ID_MOVE},
                                                   {"&Copy File\tF8", ID_COPY},
                                                   {"&Delete File\tDEL", ID_DELETE}};
    for (const auto& [text, id] : entries) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        const int command = id;
        connect(action, &QAction::triggered, this, [this, command] { OnCmdMsg(command); });
    }
    return menu;
}

void CThumbnailsView::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(BuildContextMenu());
    menu->exec(event->globalPos());
}

void CThumbnailsView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OpenSelected();
        return;
    case Qt::Key_Escape:
        if (CSDocument* doc = CSView::GetDocument())
            doc->UpdateAllViews(this, HINT_ESCAPE);
        return;
    default:
        QListView::keyPressEvent(event);
    }
}

void CThumbnailsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    OpenSelected();
}

void CThumbnailsView::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    if (auto* frame = dynamic_cast<CThumbnailsFrame*>(GetParentFrame()))
        frame->SetActivePane(this);
    viewport()->update();
}

void CThumbnailsView::_CreateDetailsHeader()
{
    auto* columns = new QStandardItemModel(0, 3, this);
    columns->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    columns->setHeaderData(1, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    m_pHeader = new QHeaderView(Qt::Horizontal, this);
    m_pHeader->setModel(columns);
    m_pHeader->setSectionsClickable(false);
    m_pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pHeader->setStretchLastSection(true);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    m_pHeader->resizeSection(0, 30 * digit);
    m_pHeader->resizeSection(1, 11 * digit);
    m_pHeader->resizeSection(2, 20 * digit);
    m_pHeader->hide();
    connect(m_pHeader, &QHeaderView::sectionResized, this, [this] {
        if (m_nMode == EMode::Details) {
            doItemsLayout();
            viewport()->update();
        }
    });
}

void CThumbnailsView::updateGeometries()
{
    QListView::updateGeometries();
    if (!m_pHeader || m_pHeader->isHidden())
        return;
    const QRect area = viewport()->geometry();
    const int height = m_pHeader->sizeHint().height();
    m_pHeader->setGeometry(area.left(), area.top() - height, area.width(), height);
    m_pHeader->setOffset(horizontalOffset());
}

QStringList CThumbnailsView::DetailsTexts(int index) const
{
    const ThumbnailItem* item = Item(index);
    if (!item)
        return {};
    const QString name = QString::fromStdString(item->m_strName);
    const QFileInfo info(QString::fromStdString(item->m_strPath));
    if (item->m_strPath.empty() || !info.isFile())
        return {name, QString(), QString()};
    const QLocale locale;
    return {name, locale.formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat),
            locale.toString(info.lastModified(), QLocale::ShortFormat)};
}

void CThumbnailsView::PaintDetailsRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    QStyleOptionViewItem row = option;
    row.rect.setWidth(std::max(option.rect.width(), m_pHeader->length()));
    style()->drawPrimitive(QStyle::PE_PanelItemViewItem, &row, painter, this);
    const bool selected = option.state & QStyle::State_Selected;
    const QStringList texts = DetailsTexts(index.row());
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
    const int pad = 4;
    for (int column = 0; column < int(texts.size()) && column < m_pHeader->count(); ++column) {
        const QRect cell(option.rect.left() + m_pHeader->sectionPosition(column) + pad, option.rect.top(),
                         m_pHeader->sectionSize(column) - 2 * pad, option.rect.height());
        const Qt::Alignment align = (column == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        painter->drawText(cell, int(align | Qt::TextSingleLine),
                          option.fontMetrics.elidedText(texts[column], Qt::ElideRight, std::max(0, cell.width())));
    }
    painter->restore();
}

void CThumbnailsView::SetMode(EMode mode)
{
    m_nMode = mode;
    m_bRebuilding = true;
    switch (mode) {
    case EMode::LargeIcons:
        setViewMode(QListView::IconMode);
        setGridSize(CellSize());
        break;
    case EMode::SmallIcons:
        setViewMode(QListView::ListMode);
        setFlow(QListView::LeftToRight);
        setWrapping(true);
        setGridSize(QSize());
        break;
    case EMode::List:
        setViewMode(QListView::ListMode);
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setGridSize(QSize());
        break;
    case EMode::Details:
        setViewMode(QListView::ListMode);
        setFlow(QListView::TopToBottom);
        setWrapping(false);
        setGridSize(QSize());
        break;
    }
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    const bool details = mode == EMode::Details;
    m_pHeader->setVisible(details);
    setViewportMargins(0, details ? m_pHeader->sizeHint().height() : 0, 0, 0);
    updateGeometries();
    m_bRebuilding = false;
}

void CThumbnailsView::LineUp()
{
    if (m_nMode == EMode::LargeIcons || m_nMode == EMode::SmallIcons)
        doItemsLayout();
}
