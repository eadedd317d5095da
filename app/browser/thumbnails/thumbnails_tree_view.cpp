#include "browser/thumbnails/thumbnails_tree_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <new>
#include <system_error>

#include "browser/thumbnails/browser_actions.h"
#include "browser/thumbnails/thumbnails_doc.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "browser/thumbnails/thumbnails_view.h"
#include "shell/menus.h"
#include "shell/messages.h"
#include "support/message_event.h"

using namespace thumbhint;

const char* const CThumbnailsTreeView::kGroupingShortOfMemory =
    "The pictures of this folder could not be listed: there is not enough memory.";
const char* const CThumbnailsTreeView::kGroupingWithoutThread =
    "The pictures of this folder could not be listed: the system refused to start another task.";

namespace {

constexpr int kDataRole = Qt::UserRole;

} // namespace

CThumbnailsTreeView::CThumbnailsTreeView() : m_pSelectTimer(new QTimer(this))
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true); // the item under the mouse is highlighted
    setAttribute(Qt::WA_Hover);
    setUniformRowHeights(true);
    m_pSelectTimer->setSingleShot(true);
    m_pSelectTimer->setInterval(kSelectDelayMs);
    connect(m_pSelectTimer, &QTimer::timeout, this, [this] {
        if (QTreeWidgetItem* item = currentItem(); item && !item->parent())
            _ShowGroup(item->data(0, kDataRole).toInt());
    });
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CThumbnailsTreeView::_OnSelectionChanged);

    for (int id : {int(ID_CONVERT), int(ID_CONVERT_RENAME), int(ID_MOVE), int(ID_COPY), int(ID_MOVE_SUB), int(ID_COPY_SUB),
                   int(ID_MOVE_SUB_RENAME), int(ID_COPY_SUB_RENAME), int(ID_DELETE)}) {
        OnCommand(id, [this](int command) { RunGroupCommand(command); });
        OnUpdateCommand(id, [this](CSCmdUI& ui) {
            const bool file = IsFileSelected();
            const bool passes = ui.m_nID == ID_MOVE || ui.m_nID == ID_COPY || ui.m_nID == ID_DELETE;
            ui.Enable(CBrowserActions::Get() && (file ? passes : SelectedGroupItem() != nullptr));
        });
    }
    OnCommand(ID_REFRESH, [this](int) { Regroup(); });
    OnCommand(ID_SHOW_ALL, [this](int) { SwitchSet(1); });
    OnCommand(ID_SHOW_GROUPED, [this](int) { SwitchSet(0); });
    OnUpdateCommand(ID_SHOW_ALL, [this](CSCmdUI& ui) {
        CThumbnailsDoc* doc = GetDocument();
        ui.Enable(true);
        ui.SetCheck(doc && doc->GetCurrentSet() == 1);
    });
    OnUpdateCommand(ID_SHOW_GROUPED, [this](CSCmdUI& ui) {
        CThumbnailsDoc* doc = GetDocument();
        ui.Enable(true);
        ui.SetCheck(!doc || doc->GetCurrentSet() == 0);
    });
}

CThumbnailsTreeView::~CThumbnailsTreeView()
{
    OnCloseView();
}

void CThumbnailsTreeView::OnCloseView()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    _StopGrouping();
    m_pSelectTimer->stop();
    if (CThumbnailsDoc* doc = GetDocument())
        doc->ClearGroups();
}

CThumbnailsDoc* CThumbnailsTreeView::GetDocument() const
{
    return dynamic_cast<CThumbnailsDoc*>(CSView::GetDocument());
}

void CThumbnailsTreeView::OnInitialUpdate()
{
    Regroup();
}

void CThumbnailsTreeView::_Broadcast(long hint, void* object)
{
    if (CSDocument* doc = CSView::GetDocument())
        doc->UpdateAllViews(this, hint, object);
}

void CThumbnailsTreeView::OnUpdate(CSView* sender, long hint, void* hintObject)
{
    if (sender == this)
        return;
    switch (hint) {
    case HINT_SELECT_ITEM: {
        if (!m_hCurrentGroupItem || !hintObject)
            break;
        const int n = *static_cast<int*>(hintObject);
        if (n < 0 || n >= m_hCurrentGroupItem->childCount())
            break;
        m_bSuppressSelection = true;
        setCurrentItem(m_hCurrentGroupItem->child(n));
        m_bSuppressSelection = false;
        break;
    }
    case HINT_ESCAPE:
        if (auto* frame = dynamic_cast<CThumbnailsFrame*>(GetParentFrame()))
            frame->FocusLeftPane();
        break;
    case HINT_RENAMED: {
        const auto* renamed = static_cast<const SRenamed*>(hintObject);
        if (!renamed || !m_hCurrentGroupItem)
            break;
        if (renamed->m_nIndex >= 0 && renamed->m_nIndex < m_hCurrentGroupItem->childCount())
            m_hCurrentGroupItem->child(renamed->m_nIndex)->setText(0, QString::fromStdString(renamed->m_strName));
        if (CThumbnailsDoc* doc = GetDocument())
            doc->RenameGroupEntry(m_nCurrentGroup, renamed->m_nIndex, renamed->m_strPath, renamed->m_strName);
        break;
    }
    case HINT_REFRESH:
        Regroup();
        break;
    case HINT_QUERY_GROUP:
        // The group whose files the thumbnail view shows: a selection the
        // timer has not shown yet must not receive the view's changes.
        if (hintObject)
            *static_cast<int*>(hintObject) = m_nCurrentGroup;
        break;
    default:
        break;
    }
}

void CThumbnailsTreeView::_StopGrouping()
{
    if (m_GroupingThread.joinable()) {
        m_bStopGrouping = true;
        m_GroupingThread.join();
    }
    m_bStopGrouping = false;
    m_bGrouping = false;
}

void CThumbnailsTreeView::Regroup()
{
    CThumbnailsDoc* doc = GetDocument();
    if (!doc || m_bClosed)
        return;
    // The previous worker first: one that has just finished installs its
    // groups, which must not outlive the clearing below.
    _StopGrouping();
    m_bSuppressSelection = true;
    m_pSelectTimer->stop();
    _Broadcast(HINT_CLEAR);
    doc->ClearGroups();
    clear();
    m_nCurrentGroup = -1;
    m_hCurrentGroupItem = nullptr;
    m_bSuppressSelection = false;
    doc->SetTitle(doc->CurrentFolder());

    m_bGrouping = true;
    const unsigned serial = ++m_nGroupingSerial;
    // A thread the system cannot start leaves the folder shown empty, with a
    // message: out of this command handler the exception would end the
    // program.
    try {
        const std::string folder = doc->CurrentFolder().toStdString();
        m_GroupingThread = std::thread([this, doc, folder, serial] {
            // A folder too large for the memory left is shown empty, with a
            // message: on this thread the exception would end the program.
            CGroupingResult result;
            bool shortOfMemory = false;
            try {
                result = grouping::GroupFolder(folder, &m_bStopGrouping);
            } catch (const std::bad_alloc&) {
                shortOfMemory = true;
            }
            if (m_bStopGrouping)
                return;
            doc->InstallGroups(std::move(result));
            VxPostMessage(this, msg::WM_GROUPING_DONE, serial, shortOfMemory);
        });
    } catch (const std::system_error&) {
        _GroupingNotStarted(VxWhyThreadRefused());
    } catch (const std::bad_alloc&) {
        _GroupingNotStarted(EThreadRefusal::ShortOfMemory);
    }
}

void CThumbnailsTreeView::_GroupingNotStarted(EThreadRefusal why)
{
    m_bGrouping = false;
    if (CBrowserActions* actions = CBrowserActions::Get())
        actions->Tell(QString::fromLatin1(why == EThreadRefusal::ShortOfMemory ? kGroupingShortOfMemory
                                                                               : kGroupingWithoutThread));
}

bool CThumbnailsTreeView::event(QEvent* event)
{
    // Tab goes to the next pane of the window, not to the next widget.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        _Broadcast(HINT_NEXT_PANE);
        return true;
    }
    if (event->type() == QEvent::Type(msg::WM_GROUPING_DONE)) {
        const auto* done = static_cast<CVxMessageEvent*>(event);
        if (done->m_wParam == m_nGroupingSerial && m_bGrouping) {
            _StopGrouping(); // ended: joins at once
            _FillTree();
            if (done->m_lParam != 0)
                if (CBrowserActions* actions = CBrowserActions::Get())
                    actions->Tell(QString::fromLatin1(kGroupingShortOfMemory));
        }
        return true;
    }
    return QTreeWidget::event(event);
}

void CThumbnailsTreeView::_FillTree()
{
    CThumbnailsDoc* doc = GetDocument();
    m_bSuppressSelection = true;
    clear();
    m_nCurrentGroup = -1;
    m_hCurrentGroupItem = nullptr;
    m_bSuppressSelection = false;
    if (!doc)
        return;
    QList<QTreeWidgetItem*> roots;
    for (int i = 0, count = doc->GroupCount(); i < count; ++i) {
        CGroupPtr group = doc->GetGroup(i);
        if (!group)
            break;
        auto* root = new QTreeWidgetItem(QStringList(QString::fromStdString(grouping::GroupItemText(*group))));
        root->setData(0, kDataRole, i);
        for (int j = 0; j < group->m_Names.GetSize(); ++j) {
            auto* child = new QTreeWidgetItem(root, QStringList(QString::fromStdString(group->m_Names[j])));
            child->setData(0, kDataRole, j);
        }
        roots.append(root);
    }
    addTopLevelItems(roots);
    if (!roots.isEmpty())
        setCurrentItem(roots.front());
}

void CThumbnailsTreeView::SwitchSet(int set)
{
    CThumbnailsDoc* doc = GetDocument();
    if (!doc || !doc->SetCurrentSet(set))
        return;
    m_bSuppressSelection = true;
    m_pSelectTimer->stop();
    _Broadcast(HINT_CLEAR);
    clear();
    m_nCurrentGroup = -1;
    m_hCurrentGroupItem = nullptr;
    m_bSuppressSelection = false;
    _FillTree();
}

void CThumbnailsTreeView::_OnSelectionChanged()
{
    if (m_bSuppressSelection)
        return;
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return;
    if (!item->parent()) {
        m_pSelectTimer->start();
        return;
    }
    m_pSelectTimer->stop();
    _ShowGroup(item->parent()->data(0, kDataRole).toInt());
    int index = item->data(0, kDataRole).toInt();
    _Broadcast(HINT_SELECT_ITEM, &index);
}

void CThumbnailsTreeView::_ShowGroup(int index)
{
    CThumbnailsDoc* doc = GetDocument();
    if (!doc || index == m_nCurrentGroup)
        return;
    CGroupPtr group = doc->GetGroup(index);
    if (!group)
        return;
    m_nCurrentGroup = index;
    m_hCurrentGroupItem = topLevelItem(index);
    const std::vector<std::string> paths = group->m_Paths.Items();
    _Broadcast(HINT_SHOW_FILES, const_cast<std::vector<std::string>*>(&paths));
}

QTreeWidgetItem* CThumbnailsTreeView::SelectedGroupItem() const
{
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return nullptr;
    return item->parent() ? nullptr : item;
}

bool CThumbnailsTreeView::IsFileSelected() const
{
    QTreeWidgetItem* item = currentItem();
    return item && item->isSelected() && item->parent();
}

void CThumbnailsTreeView::RunGroupCommand(int id)
{
    CThumbnailsDoc* doc = GetDocument();
    if (!doc)
        return;
    if (IsFileSelected()) {
        if ((id == ID_MOVE || id == ID_COPY || id == ID_DELETE) && doc->m_pThumbnailView)
            doc->m_pThumbnailView->OnCmdMsg(id);
        return;
    }
    QTreeWidgetItem* item = SelectedGroupItem();
    EGroupCommand command;
    CBrowserActions* actions = CBrowserActions::Get();
    if (!item || !actions || !GroupCommandFromId(id, command))
        return;
    const int index = item->data(0, kDataRole).toInt();
    CGroupPtr group = doc->GetGroup(index);
    if (!group)
        return;
    // A copy: the operation must not see the group change under it.
    const CGroupStruct snapshot = *group;
    switch (::RunGroupCommand(command, snapshot, doc->CurrentFolder().toStdString(), *actions)) {
    case EGroupOutcome::RemoveGroup:
        RemoveGroup(index);
        break;
    case EGroupOutcome::Regroup:
        Regroup();
        break;
    case EGroupOutcome::Nothing:
        break;
    }
}

void CThumbnailsTreeView::RemoveGroup(int index)
{
    CThumbnailsDoc* doc = GetDocument();
    QTreeWidgetItem* item = topLevelItem(index);
    if (!doc || !item)
        return;
    doc->RemoveGroup(index);
    m_pSelectTimer->stop();
    if (item == m_hCurrentGroupItem)
        m_hCurrentGroupItem = nullptr;
    delete item;
    m_nCurrentGroup = -1;
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->setData(0, kDataRole, i);
    if (topLevelItemCount() == 0)
        _Broadcast(HINT_SHOW_FILES, nullptr);
}

QMenu* CThumbnailsTreeView::BuildGroupingSelectionMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QAction* title = menu->addAction(QStringLiteral("Grouping Selection"));
    title->setEnabled(false);
    menu->addSeparator();
    CThumbnailsDoc* doc = GetDocument();
    const int current = doc ? doc->GetCurrentSet() : 0;
    const std::pair<const char*, int> entries[] = {{"All", ID_SHOW_ALL}, {"Grouped", ID_SHOW_GROUPED}};
    for (const auto& [text, id] : entries) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        action->setChecked((id == ID_SHOW_ALL) == (current == 1));
        const int command = id;
        connect(action, &QAction::triggered, this, [this, command] { OnCmdMsg(command); });
    }
    return menu;
}

QMenu* CThumbnailsTreeView::BuildGroupsMenu(QWidget* parent)
{
    auto* menu = new QMenu(QStringLiteral("Thumbnail &Groups"), parent);
    const std::pair<const char*, int> entries[] = {
        {"&1 Convert group into folder", ID_CONVERT},
        {"&2 Convert group into folder and rename", ID_CONVERT_RENAME},
        {nullptr, 0},
        {"&Move Group/File\tF7", ID_MOVE},
        {"&Copy Group/File\tF8", ID_COPY},
        {"Move G&roup into subfolder\tSHIFT+F7", ID_MOVE_SUB},
        {"Copy Gr&oup into subfolder\tSHIFT+F8", ID_COPY_SUB},
        {"Move Gro&up into subfolder && rename\tSHIFT+CTRL+F7", ID_MOVE_SUB_RENAME},
        {"Copy Grou&p into subfolder && rename\tSHIFT+CTRL+F8", ID_COPY_SUB_RENAME},
        {nullptr, 0},
        {"&Delete Group/File\tDEL", ID_DELETE},
        {nullptr, 0},
        {"Re&fresh\tF5", ID_REFRESH},
    };
    for (const auto& [text, id] : entries) {
        if (!text) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        CSCmdUI ui(id);
        OnUpdateCmdMsg(ui);
        action->setEnabled(!ui.m_bEnableSet || ui.m_bEnabled);
        const int command = id;
        connect(action, &QAction::triggered, this, [this, command] { OnCmdMsg(command); });
    }
    return menu;
}

void CThumbnailsTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    if (QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos())))
        setCurrentItem(item);
    std::unique_ptr<QMenu> menu;
    if (IsFileSelected()) {
        if (CThumbnailsDoc* doc = GetDocument(); doc && doc->m_pThumbnailView)
            menu.reset(doc->m_pThumbnailView->BuildContextMenu());
    } else if (SelectedGroupItem()) {
        menu.reset(BuildGroupsMenu(this));
    }
    if (menu)
        menu->exec(event->globalPos());
}

void CThumbnailsTreeView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        _Broadcast(HINT_OPEN);
        return;
    default:
        QTreeWidget::keyPressEvent(event);
    }
}

void CThumbnailsTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    _Broadcast(HINT_OPEN);
}

void CThumbnailsTreeView::focusInEvent(QFocusEvent* event)
{
    QTreeWidget::focusInEvent(event);
    if (auto* frame = dynamic_cast<CThumbnailsFrame*>(GetParentFrame()))
        frame->SetActivePane(this);
}
