#include "shell/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "browser/fileops/file_operations.h"
#include "browser/fileops/file_undo.h"
#include "browser/fileops/native_path.h"
#include "histogram_bar.h"
#include "image/velvix.h"
#include "settings/general_settings.h"
#include "settings/settings_sheet.h"
#include "shell/ambrel_app.h"
#include "shell/command_ids.h"
#include "shell/lock_keys.h"
#include "shell/menus.h"
#include "shell/messages.h"
#include "shell/shell_dialogs.h"
#include "shell/update_check.h"
#include "support/logo_window.h"
#include "support/message_event.h"
#include "support/vx_helper.h"
#include "view_port_bar.h"
#include "viewer/ambrel_doc.h"

const char* const CMainFrame::kImageFrame = "CPixelFrame";
const char* const CMainFrame::kThumbnailsFrame = "CThumbnailsFrame";
const char* const CMainFrame::kDuplicatesFrame = "CDIFFrame";
const char* const CMainFrame::kRegisteredMessage = "Files registered successfully...";
const char* const CMainFrame::kRegisterFailedMessage =
    "The file types could not be registered: the desktop's application folders could not be written.";

namespace {

const char kLogoText[] = "Ambrel - Digital Image Processing ";
const char kIdleMessage[] = "Ready";
constexpr int kMenuPositionForLastCommand = 6;

void RegisterMainFrameResources()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    using M = SMenuItem;
    CAmbrelMenus::RegisterMenu(
        res::IDR_MAINFRAME,
        {M::Popup("&File", {M::Item("&Open...\tCtrl+O", cmd::ID_FILE_OPEN),
                            M::Item("&Quick Open (Shell)\tQ", cmd::ID_QUICK_OPEN),
                            M::Item("Open Folder (Recursed)", cmd::ID_OPEN_FOLDER_RECURSED),
                            M::Item("Open &Thumbnails\tCtrl+T", cmd::ID_OPEN_THUMBNAILS), M::Separator(),
                            M::Item("&Undo File Operation\tCtrl+Alt+Z", cmd::ID_UNDO_FILE_OPERATION),
                            M::Separator(),
                            M::Item("&Select Source", cmd::ID_SELECT_SOURCE),
                            M::Item("&Acquire\tCtrl+Q", cmd::ID_ACQUIRE), M::Separator(),
                            M::Item("P&rint Setup...", cmd::ID_FILE_PRINT_SETUP), M::Separator(),
                            M::Item("Recent File", cmd::ID_FILE_MRU_FILE1),
                            M::Item("(Clear Recent &File List)", cmd::ID_CLEAR_RECENT_FILES), M::Separator(),
                            M::Item("E&xit", cmd::ID_APP_EXIT)}),
         M::Popup("&Settings", {M::Item("&General Settings", cmd::ID_SETTINGS),
                                M::Item("&Register File Types", cmd::ID_REGISTER_FILE_TYPES)}),
         M::Popup("&Advanced Tools", {M::Item("&Find Duplicate Images", cmd::ID_FIND_DUPLICATES)}),
         M::Popup("&View", {M::Item("&Toolbar", cmd::ID_VIEW_TOOLBAR), M::Item("&Status Bar", cmd::ID_VIEW_STATUS_BAR),
                            M::Item("&Histogram Bar", cmd::ID_SHOW_HISTOGRAM),
                            M::Item("&View Port Bar", cmd::ID_VIEW_PORT_BAR), M::Separator(),
                            M::Item("&Full Screen\tF11", cmd::ID_FULL_SCREEN)}),
         M::Popup("&Window", {M::Item("&Cascade", cmd::ID_WINDOW_CASCADE), M::Item("&Tile", cmd::ID_WINDOW_TILE_HORZ)}),
         M::Popup("&Help", {M::Item("&About ambrel...", cmd::ID_APP_ABOUT)})});

    using K = QKeySequence;
    CAmbrelMenus::RegisterAccelerators(
        res::IDR_MAINFRAME,
        {{K(Qt::Key_Escape), cmd::ID_ESCAPE},
         {K(Qt::Key_F5), cmd::ID_REFRESH},
         {K(Qt::CTRL | Qt::Key_N), cmd::ID_FILE_NEW},
         {K(Qt::CTRL | Qt::Key_O), cmd::ID_FILE_OPEN},
         {K(Qt::CTRL | Qt::Key_S), cmd::ID_FILE_SAVE},
         {K(Qt::CTRL | Qt::Key_P), cmd::ID_FILE_PRINT},
         {K(Qt::CTRL | Qt::Key_C), cmd::ID_EDIT_COPY},
         {K(Qt::CTRL | Qt::Key_Insert), cmd::ID_EDIT_COPY},
         {K(Qt::CTRL | Qt::Key_X), cmd::ID_EDIT_CUT},
         {K(Qt::SHIFT | Qt::Key_Delete), cmd::ID_EDIT_CUT},
         {K(Qt::CTRL | Qt::Key_V), cmd::ID_EDIT_PASTE},
         {K(Qt::SHIFT | Qt::Key_Insert), cmd::ID_EDIT_PASTE},
         {K(Qt::CTRL | Qt::Key_Z), cmd::ID_EDIT_UNDO},
         {K(Qt::ALT | Qt::Key_Backspace), cmd::ID_EDIT_UNDO},
         {K(Qt::CTRL | Qt::Key_Y), cmd::ID_EDIT_REDO},
         {K(Qt::CTRL | Qt::ALT | Qt::Key_Z), cmd::ID_UNDO_FILE_OPERATION},
         {K(Qt::CTRL | Qt::Key_A), cmd::ID_SELECT_ALL_FILES},
         {K(Qt::CTRL | Qt::Key_Q), cmd::ID_ACQUIRE},
         {K(Qt::CTRL | Qt::Key_T), cmd::ID_OPEN_THUMBNAILS},
         {K(Qt::Key_Q), cmd::ID_QUICK_OPEN},
         {K(Qt::Key_F11), cmd::ID_FULL_SCREEN},
         {K(Qt::Key_QuoteLeft), cmd::ID_REPEAT_LAST_EFFECT},
         {K(Qt::Key_F2), 223},
         {K(Qt::Key_F6), 223},
         {K(Qt::Key_F7), 227},
         {K(Qt::SHIFT | Qt::Key_F7), 32823},
         {K(Qt::CTRL | Qt::SHIFT | Qt::Key_F7), 249},
         {K(Qt::Key_F8), 228},
         {K(Qt::SHIFT | Qt::Key_F8), 32824},
         {K(Qt::CTRL | Qt::SHIFT | Qt::Key_F8), 250},
         {K(Qt::Key_Delete), 235},
         {K(Qt::SHIFT | Qt::Key_Space), 289},
         {K(Qt::SHIFT | Qt::Key_Backspace), 290}});

    CAmbrelMenus::SetCommandPrompt(cmd::ID_FILE_OPEN, QStringLiteral("Open an existing image"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_QUICK_OPEN, QStringLiteral("Open an image by typing its path"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_OPEN_FOLDER_RECURSED,
                                   QStringLiteral("Step through the images of a folder and its subfolders"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_OPEN_THUMBNAILS, QStringLiteral("Browse a folder as thumbnails"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_FIND_DUPLICATES, QStringLiteral("Find similar images in folder trees"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_SETTINGS, QStringLiteral("Change the program's options"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_REGISTER_FILE_TYPES,
                                   QStringLiteral("Make Ambrel the program that opens image files"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_FULL_SCREEN, QStringLiteral("Show the images on the whole screen"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_APP_ABOUT, QStringLiteral("Program information and version"));
    CAmbrelMenus::SetCommandPrompt(cmd::ID_APP_EXIT, QStringLiteral("Quit the program"));
}

struct ToolButton {
    int id;
    const char* text;
};

// The main tool bar, left to right; 0 is a separator.
const ToolButton kToolBar[] = {
    {cmd::ID_FILE_OPEN, "Open"},
    {cmd::ID_FILE_SAVE, "Save"},
    {0, nullptr},
    {cmd::ID_ACQUIRE, "Acquire"},
    {cmd::ID_FILE_PRINT, "Print"},
    {0, nullptr},
    {cmd::ID_EDIT_UNDO, "Undo"},
    {cmd::ID_EDIT_REDO, "Redo"},
    {0, nullptr},
    {cmd::ID_REPEAT_LAST_EFFECT, "Repeat Last Effect"},
    {0, nullptr},
    {cmd::ID_EDIT_CUT, "Cut"},
    {cmd::ID_EDIT_COPY, "Copy"},
    {cmd::ID_EDIT_PASTE, "Paste"},
    {0, nullptr},
    {cmd::ID_SHOW_HISTOGRAM, "Show Histogram"},
    {0, nullptr},
    {cmd::ID_SETTINGS, "Settings"},
    {0, nullptr},
    {cmd::ID_APP_EXIT, "Exit"},
    {0, nullptr},
    {cmd::ID_APP_ABOUT, "About"},
};

QToolBar* ImageFrameToolBar(CSMDIChildWnd* child)
{
    if (!child || !AmbrelApp() ||
        AmbrelApp()->GetTemplateManager().FrameTemplateName(child) != QLatin1String(CMainFrame::kImageFrame))
        return nullptr;
    return child->findChild<QToolBar*>();
}

} // namespace

CMainFrame::CMainFrame() : CSMDIFrameWnd(new CVxLogoWnd), m_pLogo(static_cast<CVxLogoWnd*>(GetMDIClient()))
{
    RegisterMainFrameResources();
    setWindowTitle(QString::fromLatin1(CAmbrelApp::kAppTitle));
    setWindowIcon(QIcon(QStringLiteral(":/icons/ambrel.png")));
    setAcceptDrops(true);
    resize(1024, 720);
    m_pLogo->SetLogo(res::IDB_LOGO, QString::fromLatin1(kLogoText));
    m_pLogo->setActivationOrder(QMdiArea::ActivationHistoryOrder);

    _CreateToolBar();
    CFlatMenuDrawing::Install(this);
    _CreateStatusBar();
    m_pHistogramBar = new CHistogramDialogBar;
    m_pHistogramDock = _CreateBar(m_pHistogramBar, QStringLiteral("Histogram"), QPoint(10, 50));
    m_pViewPortBar = new CViewPortDialogBar;
    m_pViewPortDock = _CreateBar(m_pViewPortBar, QStringLiteral("View Port"), QPoint(10, 100));
    _RegisterCommands();

    connect(this, &CSMDIFrameWnd::ActiveChildChanged, this, &CMainFrame::_OnActiveChildChanged);
    RebuildMenus();
    _ApplyAccelerators(0);

    m_pIdleTimer = new QTimer(this);
    m_pIdleTimer->setInterval(250);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CMainFrame::UpdateToolBar);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CMainFrame::_UpdateIndicators);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CMainFrame::UpdateBars);
    m_pIdleTimer->start();

    OnCreate();
    m_pUpdateCheck = new CUpdateCheck(this, msg::WM_DOWNLOAD_DONE);
}

CMainFrame::~CMainFrame()
{
    if (CVelvix_Twain::IsTwainOpen())
        CVelvix_Twain::CloseTwain();
    disconnect(this, &CSMDIFrameWnd::ActiveChildChanged, this, nullptr);
    disconnect(GetMDIClient(), nullptr, this, nullptr);
}

void CMainFrame::_CreateToolBar()
{
    m_pToolBar = new CSCommandToolBar(
        QStringLiteral("Standard"), QStringLiteral("MainToolBar"), this, [this](int id) { ExecuteCommand(id); },
        [this](int id) { return QueryCommand(id); });
    m_pToolBar->setIconSize(QSize(24, 24));
    for (const ToolButton& button : kToolBar)
        m_pToolBar->AddCommand(button.id, CAmbrelMenus::CommandIcon(button.id), QString::fromLatin1(button.text));
    for (QAction* action : m_pToolBar->actions())
        if (action->data().isValid())
            action->setStatusTip(CAmbrelMenus::CommandPrompt(action->data().toInt()));
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
}

void CMainFrame::_CreateStatusBar()
{
    auto* message = new QLabel(QString::fromLatin1(kIdleMessage));
    statusBar()->addWidget(message, 1);
    const char* indicators[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_pIndicators[i] = new QLabel(QString::fromLatin1(indicators[i]));
        m_pIndicators[i]->setAlignment(Qt::AlignCenter);
        m_pIndicators[i]->setMinimumWidth(m_pIndicators[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        // Greyed while off, and where the window system does not tell.
        m_pIndicators[i]->setEnabled(false);
        statusBar()->addPermanentWidget(m_pIndicators[i]);
    }
}

// A floating bar, hidden until its command shows it, dockable on every side.
QDockWidget* CMainFrame::_CreateBar(CUpdateDialogBar* bar, const QString& caption, const QPoint& position)
{
    auto* dock = new QDockWidget(caption, this);
    dock->setObjectName(caption);
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    dock->setWidget(bar);
    addDockWidget(Qt::TopDockWidgetArea, dock);
    dock->setFloating(true);
    dock->move(position);
    dock->hide();
    connect(dock, &QDockWidget::visibilityChanged, this, [this, bar](bool visible) {
        if (visible)
            UpdateBars();
        else
            bar->Forget();
    });
    return dock;
}

void CMainFrame::_ToggleBar(QDockWidget* dock)
{
    dock->setVisible(dock->isHidden());
}

std::array<std::pair<QDockWidget*, CUpdateDialogBar*>, 2> CMainFrame::_Bars() const
{
    return {{{m_pHistogramDock, m_pHistogramBar}, {m_pViewPortDock, m_pViewPortBar}}};
}

void CMainFrame::UpdateBars()
{
    CSMDIChildWnd* active = MDIGetActive();
    for (auto [dock, bar] : _Bars())
        if (dock && !dock->isHidden())
            bar->FollowActive(active);
}

void CMainFrame::_RegisterCommands()
{
    OnCommand(cmd::ID_SHOW_HISTOGRAM, [this](int) { _ToggleBar(m_pHistogramDock); });
    OnUpdateCommand(cmd::ID_SHOW_HISTOGRAM, [this](CSCmdUI& ui) { ui.SetCheck(m_pHistogramDock->isHidden() ? 0 : 1); });
    OnCommand(cmd::ID_VIEW_PORT_BAR, [this](int) { _ToggleBar(m_pViewPortDock); });
    OnUpdateCommand(cmd::ID_VIEW_PORT_BAR, [this](CSCmdUI& ui) { ui.SetCheck(m_pViewPortDock->isHidden() ? 0 : 1); });
    OnCommand(cmd::ID_QUICK_OPEN, [this](int) { OnQuickOpen(); });
    OnUpdateCommand(cmd::ID_QUICK_OPEN, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kImageFrame));
    });
    OnCommand(cmd::ID_OPEN_FOLDER_RECURSED, [this](int) { OnOpenFolderRecursed(); });
    OnUpdateCommand(cmd::ID_OPEN_FOLDER_RECURSED, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kImageFrame));
    });
    OnCommand(cmd::ID_OPEN_THUMBNAILS, [this](int) { OnOpenThumbnails(); });
    OnUpdateCommand(cmd::ID_OPEN_THUMBNAILS, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kThumbnailsFrame));
    });
    OnCommand(cmd::ID_FIND_DUPLICATES, [this](int) { OnFindDuplicates(); });
    OnUpdateCommand(cmd::ID_FIND_DUPLICATES, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kDuplicatesFrame));
    });
    OnCommand(cmd::ID_REGISTER_FILE_TYPES, [this](int) { OnRegisterFileTypes(); });
    OnCommand(cmd::ID_SETTINGS, [this](int) { OnSettings(); });
    // The last file operation of any window is undone from every window.
    OnCommand(cmd::ID_UNDO_FILE_OPERATION, [](int) { UndoLastFileOperation(); });
    OnUpdateCommand(cmd::ID_UNDO_FILE_OPERATION,
                    [](CSCmdUI& ui) { ui.Enable(CFileUndo::Instance().CanUndo()); });
    OnCommand(cmd::ID_SELECT_SOURCE, [this](int) { OnSelectSource(); });
    OnCommand(cmd::ID_ACQUIRE, [this](int) { OnAcquire(); });
    OnCommand(cmd::ID_FULL_SCREEN, [this](int) { OnFullScreen(); });
    OnUpdateCommand(cmd::ID_FULL_SCREEN, [this](CSCmdUI& ui) {
        ui.Enable(IsFullScreen() || GetMDIChildCount() > 0);
        ui.SetCheck(IsFullScreen() ? 1 : 0);
    });
    OnCommand(cmd::ID_ESCAPE, [this](int) { OnEscape(); });
    OnCommand(cmd::ID_VIEW_TOOLBAR, [this](int) { m_pToolBar->setVisible(m_pToolBar->isHidden()); });
    OnUpdateCommand(cmd::ID_VIEW_TOOLBAR, [this](CSCmdUI& ui) { ui.SetCheck(m_pToolBar->isHidden() ? 0 : 1); });
    OnCommand(cmd::ID_VIEW_STATUS_BAR, [this](int) { statusBar()->setVisible(statusBar()->isHidden()); });
    OnUpdateCommand(cmd::ID_VIEW_STATUS_BAR,
                    [this](CSCmdUI& ui) { ui.SetCheck(statusBar()->isHidden() ? 0 : 1); });
    OnCommand(cmd::ID_WINDOW_CASCADE, [this](int) { GetMDIClient()->cascadeSubWindows(); });
    OnUpdateCommand(cmd::ID_WINDOW_CASCADE, [this](CSCmdUI& ui) { ui.Enable(GetMDIChildCount() > 0); });
    OnCommand(cmd::ID_WINDOW_TILE_HORZ, [this](int) { GetMDIClient()->tileSubWindows(); });
    OnUpdateCommand(cmd::ID_WINDOW_TILE_HORZ, [this](CSCmdUI& ui) { ui.Enable(GetMDIChildCount() > 0); });
    OnCommandRange(cmd::ID_WINDOW_CHILD_FIRST, cmd::ID_WINDOW_CHILD_LAST, [this](int id) {
        const QList<QMdiSubWindow*> windows = GetMDIClient()->subWindowList(QMdiArea::CreationOrder);
        const int index = id - cmd::ID_WINDOW_CHILD_FIRST;
        if (index < windows.size()) {
            if (windows.at(index)->isMinimized())
                windows.at(index)->showNormal();
            GetMDIClient()->setActiveSubWindow(windows.at(index));
        }
    });
    OnCommand(cmd::ID_APP_EXIT, [this](int) { QTimer::singleShot(0, this, &QWidget::close); });
}

void CMainFrame::RebuildMenus()
{
    unsigned resource = res::IDR_MAINFRAME;
    if (CSMDIChildWnd* child = MDIGetActive(); child && AmbrelApp()) {
        const QString name = AmbrelApp()->GetTemplateManager().FrameTemplateName(child);
        if (SMCMultiDocTemplate* tpl = AmbrelApp()->GetTemplateManager().GetTemplate(name))
            if (CAmbrelMenus::GetMenu(tpl->m_nIDResource))
                resource = tpl->m_nIDResource;
    }
    if (resource == m_nMenuResource && !menuBar()->actions().isEmpty())
        return;
    m_nMenuResource = resource;
    // A command of the old menus may be running right now (it may be what
    // activated another window): they go once control returns.
    for (QAction* action : menuBar()->actions())
        if (QMenu* menu = action->menu())
            menu->deleteLater();
    menuBar()->clear();
    const std::vector<SMenuItem>* popups = CAmbrelMenus::GetMenu(resource);
    if (!popups)
        return;
    for (const SMenuItem& popup : *popups) {
        QMenu* menu = menuBar()->addMenu(popup.text);
        _BuildPopup(menu, popup.popup);
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            // The view updates its last-command entry before this popup opens.
            if (menuBar()->actions().indexOf(menu->menuAction()) == kMenuPositionForLastCommand)
                if (CSMDIChildWnd* child = MDIGetActive(); child && child->GetActiveView())
                    VxSendMessage(child->GetActiveView()->GetViewWidget(), msg::WM_MENU_OPENING,
                                  reinterpret_cast<std::uintptr_t>(menu));
            _UpdatePopup(menu);
        });
    }
}

void CMainFrame::_BuildPopup(QMenu* menu, const std::vector<SMenuItem>& items)
{
    for (const SMenuItem& item : items) {
        if (item.separator) {
            menu->addSeparator();
        } else if (!item.popup.empty()) {
            QMenu* sub = menu->addMenu(item.text);
            _BuildPopup(sub, item.popup);
            connect(sub, &QMenu::aboutToShow, this, [this, sub] { _UpdatePopup(sub); });
        } else {
            QAction* action = menu->addAction(item.text);
            action->setData(item.id);
            action->setStatusTip(CAmbrelMenus::CommandPrompt(item.id));
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        }
    }
    if (menu->title() == QLatin1String("&Window"))
        menu->setProperty("vxWindowMenu", true);
}

void CMainFrame::_UpdatePopup(QMenu* menu)
{
    for (QAction* action : menu->actions())
        if (action->property("vxGenerated").toBool())
            menu->removeAction(action), action->deleteLater();
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->menu() || !action->data().isValid())
            continue;
        const int id = action->data().toInt();
        if (id == cmd::ID_FILE_MRU_FILE1) {
            _FillRecentFiles(menu, action);
            continue;
        }
        const CSCmdUI ui = QueryCommand(id);
        action->setEnabled(ui.m_bEnabled);
        action->setCheckable(ui.m_bCheckSet);
        if (ui.m_bCheckSet)
            action->setChecked(ui.m_nCheck != 0);
        if (ui.m_bTextSet)
            action->setText(ui.m_strText);
    }
    if (menu->property("vxWindowMenu").toBool())
        _FillWindowList(menu);
}

void CMainFrame::_FillRecentFiles(QMenu* menu, QAction* placeholder)
{
    CRecentFileList* list = AmbrelApp() ? &AmbrelApp()->GetRecentFileList() : nullptr;
    if (!list || list->GetCount() == 0) {
        placeholder->setText(QStringLiteral("Recent File"));
        placeholder->setVisible(true);
        placeholder->setEnabled(false);
        return;
    }
    placeholder->setVisible(false);
    QAction* before = nullptr;
    const QList<QAction*> actions = menu->actions();
    const qsizetype at = actions.indexOf(placeholder);
    if (at + 1 < actions.size())
        before = actions.at(at + 1);
    for (int i = 0; i < list->GetCount(); ++i) {
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QString::number(i + 1);
        auto* action = new QAction(number + QLatin1Char(' ') + QString((*list)[i]).replace(QLatin1Char('&'), QLatin1String("&&")), menu);
        action->setProperty("vxGenerated", true);
        const int id = cmd::ID_FILE_MRU_FILE1 + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        menu->insertAction(before, action);
    }
}

void CMainFrame::_FillWindowList(QMenu* menu)
{
    const QList<QMdiSubWindow*> windows = GetMDIClient()->subWindowList(QMdiArea::CreationOrder);
    if (windows.isEmpty())
        return;
    QAction* separator = menu->addSeparator();
    separator->setProperty("vxGenerated", true);
    QMdiSubWindow* active = GetMDIClient()->currentSubWindow();
    for (int i = 0; i < windows.size() && i <= cmd::ID_WINDOW_CHILD_LAST - cmd::ID_WINDOW_CHILD_FIRST; ++i) {
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QString::number(i + 1);
        QAction* action = menu->addAction(number + QLatin1Char(' ') + windows.at(i)->windowTitle());
        action->setProperty("vxGenerated", true);
        action->setCheckable(true);
        action->setChecked(windows.at(i) == active);
        const int id = cmd::ID_WINDOW_CHILD_FIRST + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
    }
}

void CMainFrame::_ApplyAccelerators(unsigned childResource)
{
    const std::vector<SAccelerator>* childTable =
        childResource ? CAmbrelMenus::GetAccelerators(childResource) : nullptr;
    if (m_frameKeys.empty()) {
        if (const std::vector<SAccelerator>* table = CAmbrelMenus::GetAccelerators(res::IDR_MAINFRAME))
            for (const SAccelerator& key : *table) {
                auto* shortcut = new QShortcut(key.key, this);
                shortcut->setContext(Qt::WindowShortcut);
                const int id = key.id;
                connect(shortcut, &QShortcut::activated, this, [this, id] { ExecuteCommand(id); });
                m_frameKeys.push_back(shortcut);
            }
    }
    // The key that is being handled may be one of these.
    for (QShortcut* shortcut : m_childKeys) {
        shortcut->setEnabled(false);
        shortcut->deleteLater();
    }
    m_childKeys.clear();
    // The child's keys come before the frame's: a key in both tables is the child's.
    for (QShortcut* frameKey : m_frameKeys) {
        bool taken = false;
        if (childTable)
            for (const SAccelerator& key : *childTable)
                taken = taken || key.key == frameKey->key();
        frameKey->setEnabled(!taken);
    }
    if (!childTable)
        return;
    for (const SAccelerator& key : *childTable) {
        auto* shortcut = new QShortcut(key.key, this);
        shortcut->setContext(Qt::WindowShortcut);
        const int id = key.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { ExecuteCommand(id); });
        m_childKeys.push_back(shortcut);
    }
}

std::vector<QShortcut*> CMainFrame::LiveShortcuts() const
{
    std::vector<QShortcut*> live;
    for (QShortcut* shortcut : m_frameKeys)
        if (shortcut->isEnabled())
            live.push_back(shortcut);
    live.insert(live.end(), m_childKeys.begin(), m_childKeys.end());
    return live;
}

void CMainFrame::_OnActiveChildChanged(CSMDIChildWnd* child)
{
    // Keep the last child's menus while the MDI area has no focus; only the
    // real absence of any child brings back the frame's own.
    if (!child && GetMDIChildCount() > 0)
        return;
    RebuildMenus();
    unsigned resource = 0;
    if (child && AmbrelApp()) {
        const QString name = AmbrelApp()->GetTemplateManager().FrameTemplateName(child);
        if (SMCMultiDocTemplate* tpl = AmbrelApp()->GetTemplateManager().GetTemplate(name))
            resource = tpl->m_nIDResource;
    }
    _ApplyAccelerators(resource);
    m_pLogo->viewport()->update();
}

void CMainFrame::_UpdateIndicators()
{
    bool locks[3] = {false, false, false};
    if (!ReadLockKeys(locks[0], locks[1], locks[2]))
        return;
    for (int i = 0; i < 3; ++i)
        m_pIndicators[i]->setEnabled(locks[i]);
}

void CMainFrame::UpdateToolBar()
{
    m_pToolBar->UpdateCommands();
}

CSCmdUI CMainFrame::QueryCommand(int id)
{
    CSCmdUI ui(id);
    RouteUpdateCommand(ui);
    return ui;
}

bool CMainFrame::ExecuteCommand(int id)
{
    if (!QueryCommand(id).m_bEnabled)
        return false;
    return RouteCommand(id);
}

bool CMainFrame::OpenPath(const QString& path)
{
    if (!AmbrelApp())
        return false;
    CSMultiDocTemplateManager& manager = AmbrelApp()->GetTemplateManager();
    const QFileInfo info(path);
    // A relative name is completed with the current folder's text, which
    // may name another folder when its name is not UTF-8.
    if (info.isRelative() && CVxHelper::IsAmbiguousName(QDir::currentPath())) {
        CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(info.absoluteFilePath()));
        return false;
    }
    if (info.isDir()) {
        if (!manager.IsDocumentTemplate(kImageFrame))
            return false;
        QString folder = QDir::cleanPath(info.absoluteFilePath());
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        return manager.OpenNewFrame(kImageFrame, false, folder) == 1;
    }
    return manager.OpenDocumentFile(info.absoluteFilePath()) != nullptr;
}

bool CMainFrame::NameAsText(const QByteArray& native, QString& text)
{
    text = QFile::decodeName(native);
    if (SurvivesAsText(native.toStdString()))
        return true;
    CAmbrelDoc::s_pfnReportError(QStringLiteral("Could not read the image file:\n%1").arg(text));
    return false;
}

bool CMainFrame::event(QEvent* event)
{
    // The scanner's source hears of its own notices here, as the window's
    // messages pass; every event is handled further all the same.
    CVelvix_Twain::ProcessMessage(event);
    switch (int(event->type())) {
    case msg::WM_IMAGE_FRAME_DESTROYED:
        if (GetMDIChildCount() == 0 && IsFullScreen())
            QTimer::singleShot(0, this, [this] { RouteCommand(cmd::ID_ESCAPE); });
        return true;
    case msg::WM_IMAGE_CHANGED:
    case msg::WM_VISIBLE_PART: {
        // Only the visible bars hear of the active view's changes.
        auto* frame = reinterpret_cast<CSMDIChildWnd*>(static_cast<CVxMessageEvent*>(event)->m_wParam);
        for (auto [dock, bar] : _Bars()) {
            if (!dock || dock->isHidden())
                continue;
            if (int(event->type()) == msg::WM_IMAGE_CHANGED)
                bar->ImageChanged(frame);
            else
                bar->VisiblePartChanged();
        }
        return true;
    }
    case msg::WM_IMAGE_ACQUIRED: {
        auto* image = reinterpret_cast<CVelvix*>(static_cast<CVxMessageEvent*>(event)->m_wParam);
        // The new document copies the image; the sender frees it after the call.
        // A page the library could not hold arrives empty: it is lost, and told.
        if (!image || !AmbrelApp() || !AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kImageFrame))
            return true;
        if (image->IsValidObject())
            AmbrelApp()->GetTemplateManager().OpenNewFrame(kImageFrame, false, QString(), image);
        else
            CAmbrelDoc::s_pfnReportError(QString::fromLatin1(CAmbrelDoc::kNewPictureShortOfMemory));
        return true;
    }
    case msg::WM_DOWNLOAD_DONE:
        m_pUpdateCheck->OnReply(static_cast<CVxMessageEvent*>(event)->m_wParam == 1);
        return true;
    default:
        break;
    }
    return CSMDIFrameWnd::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (IsFullScreen())
        OnFullScreen();
    if (GeneralSettings.bRememberOpenedDocuments && AmbrelApp())
        AmbrelApp()->GetTemplateManager().SaveOpenedFrames();
    CSMDIFrameWnd::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    if (OnDropFiles(event->mimeData()->urls()))
        event->acceptProposedAction();
}

bool CMainFrame::OnDropFiles(const QList<QUrl>& urls)
{
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        // Only the first dropped file opens.
        if (!AmbrelApp() || !AmbrelApp()->GetTemplateManager().IsDocumentTemplate(kImageFrame))
            return false;
        QString path;
        if (!NameAsText(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()), path))
            return false;
        return AmbrelApp()->GetTemplateManager().OpenNewFrame(kImageFrame, false, url.toLocalFile()) == 1;
    }
    return false;
}

void CMainFrame::OnFullScreen()
{
    if (!IsFullScreen()) {
        if (GetMDIChildCount() == 0)
            return;
        m_bToolBarWasVisible = !m_pToolBar->isHidden();
        m_bStatusBarWasVisible = !statusBar()->isHidden();
        QToolBar* childBar = ImageFrameToolBar(MDIGetActive());
        m_bChildToolBarWasVisible = childBar ? !childBar->isHidden() : true;
        m_pToolBar->hide();
        statusBar()->hide();
        if (childBar)
            childBar->hide();
        SetFullScreen(true, false);
        return;
    }
    SetFullScreen(false, false);
    m_pToolBar->setVisible(m_bToolBarWasVisible);
    statusBar()->setVisible(m_bStatusBarWasVisible);
    if (QToolBar* childBar = ImageFrameToolBar(MDIGetActive()))
        childBar->setVisible(m_bChildToolBarWasVisible);
}

void CMainFrame::OnEscape()
{
    const int children = GetMDIChildCount();
    if (IsFullScreen() && children <= 1) {
        OnFullScreen();
        return;
    }
    if (CSMDIChildWnd* child = MDIGetActive())
        child->PostCloseFrame();
    else
        QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::OnQuickOpen()
{
    CQuickFilenameSearchDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.GetText().isEmpty())
        return;
    if (CVxHelper::IsAmbiguousName(dialog.GetText())) {
        CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(dialog.GetText()));
        return;
    }
    AmbrelApp()->GetTemplateManager().OpenNewFrame(kImageFrame, false, dialog.GetText());
}

QString CMainFrame::_AskFolder()
{
    CSubFolderAskDialog ask(this);
    const int choice = ask.Ask();
    if (choice < 0)
        return QString();
    if (choice == 1)
        return CVxHelper::BrowseForFolder(this, QStringLiteral("Browse for 1"), 0, true);
    QString folder = QDir::currentPath();
    // A current folder whose name is not UTF-8 reads as text that may name
    // another folder.
    if (CVxHelper::IsAmbiguousName(folder)) {
        CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(folder));
        return QString();
    }
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void CMainFrame::OnOpenFolderRecursed()
{
    const QString folder = _AskFolder();
    if (!folder.isEmpty())
        AmbrelApp()->GetTemplateManager().OpenNewFrame(kImageFrame, false, folder);
}

void CMainFrame::OnOpenThumbnails()
{
    const QString folder = _AskFolder();
    if (folder.isEmpty())
        return;
    // The window keeps the folder as its own; the process's current
    // directory stays as it is.
    AmbrelApp()->GetTemplateManager().OpenNewFrame(kThumbnailsFrame, false, folder);
}

void CMainFrame::OnFindDuplicates()
{
    AmbrelApp()->GetTemplateManager().OpenNewFrame(kDuplicatesFrame, true);
}

void CMainFrame::OnRegisterFileTypes()
{
    if (AmbrelApp()->RegisterFileTypes())
        QMessageBox::information(this, QString::fromLatin1(CAmbrelApp::kAppTitle),
                                 QString::fromLatin1(kRegisteredMessage));
    else
        QMessageBox::warning(this, QString::fromLatin1(CAmbrelApp::kAppTitle),
                             QString::fromLatin1(kRegisterFailedMessage));
}

void CMainFrame::OnSettings()
{
    CSettingsSheet sheet(GeneralSettings, this);
    sheet.exec();
}

void CMainFrame::_UpdateTitle()
{
    setWindowTitle(QString::fromLatin1(CAmbrelApp::kAppTitle));
}
