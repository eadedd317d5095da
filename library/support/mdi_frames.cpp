#include "support/mdi_frames.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

QPointer<CSMDIFrameWnd> g_pMainFrame;
CSCmdTarget* g_pAppCmdTarget = nullptr;

const char kWindowCoordinates[] = "Window Coordinates";

// A saved rectangle is used only when some of it lies on a screen now:
// screens come and go between runs.
bool IsOnSomeScreen(const QRect& rect)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return true;
    for (QScreen* screen : screens)
        if (screen->availableGeometry().intersects(rect))
            return true;
    return false;
}

// Nor is a window made larger than the desktop of all screens: a damaged
// size would give it a backing store of gigabytes.
QSize LargestWindow()
{
    QSize size(0, 0);
    for (QScreen* screen : QGuiApplication::screens())
        size = size.expandedTo(screen->virtualSize());
    return size.isEmpty() ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : size;
}

int ShowState(Qt::WindowStates states)
{
    if (states & Qt::WindowMinimized)
        return 2;
    if (states & Qt::WindowMaximized)
        return 3;
    return 1;
}

} // namespace

QString CSWindowPlacement::Format() const
{
    // show:top,left,bottom,right with right and bottom exclusive
    return QString::asprintf("%i:%i,%i,%i,%i", showCmd, normal.top(), normal.left(),
                             normal.top() + normal.height(), normal.left() + normal.width());
}

bool CSWindowPlacement::Parse(const QString& text)
{
    if (text.size() < 2)
        return false;
    int values[4] = {0, 0, 0, 0};
    // A damaged text with fewer than four numbers is ignored like one with more.
    if (text.mid(2).count(QLatin1Char(',')) != 3 || !CSMDIFrameWnd::ParseStringToInt(text.mid(2), values, 4))
        return false;
    const QChar state = text.at(0);
    showCmd = state.isDigit() ? state.digitValue() : 0;
    const int top = values[0], left = values[1], bottom = values[2], right = values[3];
    if (right <= left || bottom <= top || qint64(right) - left > INT_MAX || qint64(bottom) - top > INT_MAX)
        return false;
    normal = QRect(left, top, right - left, bottom - top);
    return true;
}

// ---------------------------------------------------------------- child frame

CSMDIChildWnd::CSMDIChildWnd() : QMainWindow(nullptr)
{
    setDockNestingEnabled(true);
}

CSMDIChildWnd::~CSMDIChildWnd()
{
    // A view is a child widget and goes with the frame; it leaves its
    // document first (the document may go with its last view).
}

CSDocument* CSMDIChildWnd::GetActiveDocument() const
{
    return m_pView ? m_pView->GetDocument() : nullptr;
}

CSMDIFrameWnd* CSMDIChildWnd::GetMDIFrame() const
{
    for (QWidget* parent = parentWidget(); parent; parent = parent->parentWidget())
        if (auto* frame = qobject_cast<CSMDIFrameWnd*>(parent))
            return frame;
    return nullptr;
}

bool CSMDIChildWnd::OnCreate(CSCreateContext& context)
{
    if (!OnCreateClient(context))
        return false;
    _LoadSizes();
    if (_OnCreateToolBars())
        _LoadToolBarState();
    return true;
}

bool CSMDIChildWnd::OnCreateClient(CSCreateContext& context)
{
    CSView* view = context.m_pNewViewClass.CreateObject();
    if (!view)
        return false;
    QWidget* widget = view->GetViewWidget();
    if (!widget) {
        delete view;
        return false;
    }
    if (context.m_pCurrentDoc)
        context.m_pCurrentDoc->AddView(view);
    setCentralWidget(widget);
    m_pView = view;
    return true;
}

void CSMDIChildWnd::InitialUpdateFrame(CSDocument* /*document*/, bool makeVisible)
{
    if (m_pView)
        m_pView->OnInitialUpdate();
    OnUpdateFrameTitle();
    if (makeVisible && m_pSubWindow) {
        m_pSubWindow->show();
        MDIActivate();
    }
}

void CSMDIChildWnd::OnUpdateFrameTitle()
{
    CSDocument* document = GetActiveDocument();
    const QString title = document ? document->GetTitle() : windowTitle();
    setWindowTitle(title);
    if (m_pSubWindow)
        m_pSubWindow->setWindowTitle(title);
}

void CSMDIChildWnd::MDIActivate()
{
    if (m_pSubWindow)
        if (QMdiArea* area = m_pSubWindow->mdiArea())
            area->setActiveSubWindow(m_pSubWindow);
}

void CSMDIChildWnd::MDIMaximize()
{
    if (m_pSubWindow)
        m_pSubWindow->showMaximized();
}

void CSMDIChildWnd::MDIRestore()
{
    if (m_pSubWindow)
        m_pSubWindow->showNormal();
}

bool CSMDIChildWnd::IsMDIMaximized() const
{
    return m_pSubWindow && m_pSubWindow->isMaximized();
}

bool CSMDIChildWnd::IsMDIMinimized() const
{
    return m_pSubWindow && m_pSubWindow->isMinimized();
}

bool CSMDIChildWnd::CloseFrame()
{
    if (m_pSubWindow)
        return m_pSubWindow->close();
    if (!_CanClose())
        return false;
    _Destroy();
    deleteLater();
    return true;
}

void CSMDIChildWnd::PostCloseFrame()
{
    QPointer<CSMDIChildWnd> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->CloseFrame();
    });
}

bool CSMDIChildWnd::_CanClose()
{
    if (m_bDestroyed)
        return true;
    // The close message reaches the view before the frame closes.
    if (m_pView)
        m_pView->OnCloseView();
    CSDocument* document = GetActiveDocument();
    return !document || document->CanCloseFrame(this);
}

void CSMDIChildWnd::_Destroy()
{
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    if (CSDocument* document = GetActiveDocument())
        document->PreCloseFrame(this);
    OnDestroy();
}

void CSMDIChildWnd::OnDestroy()
{
    _SaveSizes();
    _SaveToolBarState();
}

bool CSMDIChildWnd::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: while the MDI window is destroyed it is no longer one.
    const QEvent::Type type = event->type();
    if (type != QEvent::Close && type != QEvent::Move && type != QEvent::Resize)
        return QMainWindow::eventFilter(watched, event);
    if (watched == m_pSubWindow && type == QEvent::Close && !m_bDestroyed) {
        if (!_CanClose()) {
            event->ignore();
            return true;
        }
        _Destroy();
    }
    if (watched == m_pSubWindow && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        !(m_pSubWindow->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        m_pSubWindow->setProperty("vxNormalGeometry", m_pSubWindow->geometry());
    return QMainWindow::eventFilter(watched, event);
}

void CSMDIChildWnd::closeEvent(QCloseEvent* event)
{
    if (m_bDestroyed || !m_pSubWindow) {
        QMainWindow::closeEvent(event);
        return;
    }
    // Closing the inner window alone would leave an empty MDI window.
    event->ignore();
    PostCloseFrame();
}

bool CSMDIChildWnd::OnCmdMsg(int id)
{
    if (m_pView && m_pView->OnCmdMsg(id))
        return true;
    return CSCmdTarget::OnCmdMsg(id);
}

CSCommandToolBar* CSMDIChildWnd::AddCommandToolBar(const QString& title, const QString& objectName,
                                                   std::span<const int> ids, const std::function<QIcon(int)>& icon,
                                                   const std::function<QString(int)>& text)
{
    auto* bar = new CSCommandToolBar(
        title, objectName, this, [this](int id) { OnCmdMsg(id); },
        [this](int id) {
            CSCmdUI ui(id);
            OnUpdateCmdMsg(ui);
            return ui;
        });
    bar->setIconSize(QSize(16, 16));
    bar->setFloatable(false);
    for (int id : ids)
        bar->AddCommand(id, id ? icon(id) : QIcon(), id ? text(id) : QString());
    addToolBar(Qt::TopToolBarArea, bar);
    bar->SetUpdateInterval(250);
    return bar;
}

bool CSMDIChildWnd::OnUpdateCmdMsg(CSCmdUI& ui)
{
    if (m_pView && m_pView->OnUpdateCmdMsg(ui))
        return true;
    return CSCmdTarget::OnUpdateCmdMsg(ui);
}

void CSMDIChildWnd::_SaveSizes()
{
    const QString section = OnGetRegistrySection();
    if (section.isEmpty() || !m_pSubWindow)
        return;
    CSWindowPlacement placement;
    placement.showCmd = ShowState(m_pSubWindow->windowState());
    placement.normal = m_pSubWindow->property("vxNormalGeometry").toRect();
    if (placement.normal.isEmpty() || placement.showCmd == 1)
        placement.normal = m_pSubWindow->geometry();
    QSettings().setValue(section + QLatin1Char('/') + QLatin1String(kWindowCoordinates), placement.Format());
}

void CSMDIChildWnd::_LoadSizes()
{
    const QString section = OnGetRegistrySection();
    if (section.isEmpty() || !m_pSubWindow)
        return;
    const QString text =
        QSettings().value(section + QLatin1Char('/') + QLatin1String(kWindowCoordinates)).toString();
    CSWindowPlacement placement;
    if (text.isEmpty() || !placement.Parse(text))
        return;
    int top = placement.normal.top();
    int left = placement.normal.left();
    const int bottom = placement.normal.top() + placement.normal.height();
    const int right = placement.normal.left() + placement.normal.width();
    // Keep the window reachable inside the MDI area.
    const QRect client = m_pSubWindow->mdiArea() ? m_pSubWindow->mdiArea()->viewport()->rect() : QRect();
    if (client.isValid()) {
        if (top < client.top() || top > client.bottom())
            top = 0;
        if (right < client.left() || left > client.right())
            left = 0;
    }
    m_pSubWindow->setGeometry(left, top, right - left, bottom - top);
    QPointer<QMdiSubWindow> window(m_pSubWindow);
    const int show = placement.showCmd;
    QTimer::singleShot(0, m_pSubWindow, [window, show] {
        if (!window)
            return;
        if (show == 3)
            window->showMaximized();
        else if (show == 2)
            window->showMinimized();
        else
            window->showNormal();
    });
}

// ----------------------------------------------------------------- main frame

CSMDIFrameWnd::CSMDIFrameWnd(QMdiArea* client) : QMainWindow(nullptr), m_pMDIClient(client ? client : new QMdiArea)
{
    m_pMDIClient->setParent(this);
    setCentralWidget(m_pMDIClient);
    connect(m_pMDIClient, &QMdiArea::subWindowActivated, this, &CSMDIFrameWnd::_OnSubWindowActivated);
}

CSMDIFrameWnd::~CSMDIFrameWnd()
{
    // The MDI area outlives this part of the frame while it is destroyed.
    disconnect(m_pMDIClient, nullptr, this, nullptr);
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
}

CSMDIFrameWnd* CSMDIFrameWnd::GetMainFrame()
{
    return g_pMainFrame;
}

void CSMDIFrameWnd::SetMainFrame(CSMDIFrameWnd* frame)
{
    g_pMainFrame = frame;
}

void CSMDIFrameWnd::SetAppCmdTarget(CSCmdTarget* target)
{
    g_pAppCmdTarget = target;
}

void CSMDIFrameWnd::OnCreate()
{
    LoadSizes();
}

CSMDIChildWnd* CSMDIFrameWnd::MDIGetActive() const
{
    QMdiSubWindow* window = m_pMDIClient->currentSubWindow();
    if (!window)
        window = m_pMDIClient->activeSubWindow();
    return window ? qobject_cast<CSMDIChildWnd*>(window->widget()) : nullptr;
}

std::vector<CSMDIChildWnd*> CSMDIFrameWnd::GetMDIChildren() const
{
    std::vector<CSMDIChildWnd*> children;
    CSMDIChildWnd* active = MDIGetActive();
    if (active)
        children.push_back(active);
    const QList<QMdiSubWindow*> windows = m_pMDIClient->subWindowList(QMdiArea::StackingOrder);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        auto* child = qobject_cast<CSMDIChildWnd*>((*it)->widget());
        if (child && child != active && !child->m_bDestroyed)
            children.push_back(child);
    }
    return children;
}

int CSMDIFrameWnd::GetMDIChildCount() const
{
    return int(GetMDIChildren().size());
}

void CSMDIFrameWnd::AddMDIChild(CSMDIChildWnd* child)
{
    auto* window = new QMdiSubWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWidget(child);
    child->m_pSubWindow = window;
    window->installEventFilter(child);
    m_pMDIClient->addSubWindow(window);
    window->hide();
}

void CSMDIFrameWnd::_OnSubWindowActivated(QMdiSubWindow* window)
{
    auto* child = window ? qobject_cast<CSMDIChildWnd*>(window->widget()) : nullptr;
    if (child && child->GetActiveView())
        child->GetActiveView()->OnActivateView(true);
    emit ActiveChildChanged(child);
}

void CSMDIFrameWnd::SetFullScreen(bool on, bool hideMenu)
{
    if (on) {
        CSMDIChildWnd* active = MDIGetActive();
        if (m_bFullScreen || !active)
            return;
        m_bMenuHidden = hideMenu;
        if (hideMenu)
            menuBar()->hide();
        m_fullScreenSavedState = windowState() & ~Qt::WindowFullScreen;
        m_rcFullScreenSaved = (m_fullScreenSavedState & (Qt::WindowMaximized | Qt::WindowMinimized)) ? normalGeometry()
                                                                                                   : geometry();
        m_bChildWasMaximized = active->IsMDIMaximized();
        showFullScreen();
        active->MDIMaximize();
        m_bFullScreen = true;
        return;
    }
    if (!m_bFullScreen)
        return;
    if (m_fullScreenSavedState & Qt::WindowMaximized) {
        showMaximized();
    } else {
        showNormal();
        if (m_rcFullScreenSaved.isValid())
            setGeometry(m_rcFullScreenSaved);
    }
    if (CSMDIChildWnd* active = MDIGetActive()) {
        if (m_bChildWasMaximized)
            active->MDIMaximize();
        else
            active->MDIRestore();
    }
    m_bFullScreen = false;
    if (m_bMenuHidden)
        menuBar()->show();
    m_bMenuHidden = false;
}

void CSMDIFrameWnd::SaveSizes()
{
    const QString section = OnGetRegistrySection();
    if (section.isEmpty())
        return;
    CSWindowPlacement placement;
    placement.showCmd = ShowState(windowState());
    placement.normal = (placement.showCmd == 1 && !m_bFullScreen) ? geometry() : normalGeometry();
    if (m_bFullScreen && m_rcFullScreenSaved.isValid())
        placement.normal = m_rcFullScreenSaved;
    QSettings().setValue(section + QLatin1Char('/') + QLatin1String(kWindowCoordinates), placement.Format());
}

void CSMDIFrameWnd::LoadSizes()
{
    const QString section = OnGetRegistrySection();
    if (section.isEmpty())
        return;
    const QString text =
        QSettings().value(section + QLatin1Char('/') + QLatin1String(kWindowCoordinates)).toString();
    CSWindowPlacement placement;
    if (text.isEmpty() || !placement.Parse(text))
        return;
    auto apply = [this](Qt::WindowState state) {
        // A hidden window keeps the state for when it is shown.
        if (!isVisible()) {
            setWindowState(windowState() | state);
            return;
        }
        QPointer<CSMDIFrameWnd> self(this);
        QTimer::singleShot(0, this, [self, state] {
            if (self && !(self->windowState() & state))
                self->setWindowState(self->windowState() | state);
        });
    };
    if (placement.showCmd == 3) {
        if (!isMaximized())
            apply(Qt::WindowMaximized);
        return;
    }
    if (placement.showCmd == 2) {
        if (!isMinimized())
            apply(Qt::WindowMinimized);
        return;
    }
    if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    if (IsOnSomeScreen(placement.normal))
        setGeometry(QRect(placement.normal.topLeft(), placement.normal.size().boundedTo(LargestWindow())));
    update();
}

bool CSMDIFrameWnd::ParseStringToInt(const QString& text, int* values, int count)
{
    if (text.isEmpty())
        return true;
    const QStringList pieces = text.split(QLatin1Char(','));
    int index = 0;
    for (const QString& piece : pieces) {
        if (index >= count)
            return false;
        // Leading digits only, 0 when there are none (like atoi).
        const QByteArray bytes = piece.toLatin1();
        values[index++] = std::atoi(bytes.constData());
    }
    return true;
}

bool CSMDIFrameWnd::RouteCommand(int id)
{
    if (CSMDIChildWnd* child = MDIGetActive())
        if (child->OnCmdMsg(id))
            return true;
    if (CSCmdTarget::OnCmdMsg(id))
        return true;
    return g_pAppCmdTarget && g_pAppCmdTarget->OnCmdMsg(id);
}

void CSMDIFrameWnd::RouteUpdateCommand(CSCmdUI& ui)
{
    if (CSMDIChildWnd* child = MDIGetActive())
        if (child->OnUpdateCmdMsg(ui))
            return;
    if (CSCmdTarget::OnUpdateCmdMsg(ui))
        return;
    if (g_pAppCmdTarget && g_pAppCmdTarget->OnUpdateCmdMsg(ui))
        return;
    ui.Enable(false);
}

bool CSMDIFrameWnd::CloseAllChildren()
{
    for (CSMDIChildWnd* child : GetMDIChildren())
        if (!child->CloseFrame())
            return false;
    return true;
}

void CSMDIFrameWnd::OnDestroy()
{
    SaveSizes();
}

void CSMDIFrameWnd::closeEvent(QCloseEvent* event)
{
    if (!CloseAllChildren()) {
        event->ignore();
        return;
    }
    if (!m_bDestroyed) {
        m_bDestroyed = true;
        OnDestroy();
    }
    QMainWindow::closeEvent(event);
}
