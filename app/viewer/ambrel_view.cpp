#include "viewer/ambrel_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <cstdlib>
#include <ctime>
#include <new>

#include "settings/general_settings.h"
#include "shell/messages.h"
#include "support/mdi_frames.h"
#include "support/message_event.h"
#include "viewer/ambrel_doc.h"
#include "viewer/pixel_frame.h"
#include "viewer/view/view_canvas.h"
#include "viewer/view/view_edit_commands.h"
#include "viewer/view/view_file_commands.h"
#include "viewer/view/view_navigation.h"
#include "viewer/view/view_printing.h"
#include "viewer/view/view_selection.h"
#include "viewer/view/view_slideshow.h"
#include "viewer/view/view_zoom.h"
#include "viewer/view_geometry.h"
#include "viewer/view_status_bar.h"
#include "viewer/viewer_trace.h"

using namespace viewcmd;

std::function<bool(QWidget*, const QString&, const QString&)> CAmbrelView::s_pfnAskYesNo =
    [](QWidget* parent, const QString& caption, const QString& text) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
               == QMessageBox::Yes;
    };
std::function<void()> CAmbrelView::s_pfnBeep = [] { QApplication::beep(); };

CAmbrelDoc* CViewPart::Doc() const
{
    return m_View.GetDocument();
}

CAmbrelView::CAmbrelView()
{
    std::srand(unsigned(std::time(nullptr)));
    setFrameStyle(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    m_pEffects = std::make_unique<CViewEffectCommands>(*this);
    m_pSelection = std::make_unique<CViewSelection>(*this);
    m_pZoom = std::make_unique<CViewZoom>(*this);
    m_pNavigation = std::make_unique<CViewNavigation>(*this);
    m_pEdit = std::make_unique<CViewEditCommands>(*this);
    m_pFiles = std::make_unique<CViewFileCommands>(*this);
    m_pSlideshow = std::make_unique<CViewSlideshow>(*this);
    m_pPrinting = std::make_unique<CViewPrinting>(*this);
    m_pCanvas = std::make_unique<CViewCanvas>(*this);
    m_Parts = {m_pEffects.get(), m_pSelection.get(), m_pZoom.get(),      m_pNavigation.get(),
               m_pEdit.get(),    m_pFiles.get(),     m_pSlideshow.get(), m_pPrinting.get()};
    // Every scroll (drag, wheel, arrow keys, page clicks) moves the visible
    // part the view-port bar outlines.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_pZoom->UpdateVisiblePart(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_pZoom->UpdateVisiblePart(); });
    _RegisterWindowCommands();
}

CAmbrelView::~CAmbrelView()
{
    m_Watcher.StopWatch();
    m_Prefetch.Join();
}

CAmbrelDoc* CAmbrelView::GetDocument() const
{
    return static_cast<CAmbrelDoc*>(CSView::GetDocument());
}

CPixelFrame* CAmbrelView::Frame() const
{
    for (QWidget* parent = parentWidget(); parent; parent = parent->parentWidget())
        if (auto* frame = qobject_cast<CPixelFrame*>(parent))
            return frame;
    return nullptr;
}

CAmbrelViewStatusBar* CAmbrelView::StatusBar() const
{
    CPixelFrame* frame = Frame();
    return frame ? frame->GetViewStatusBar() : nullptr;
}

void CAmbrelView::SetPane(int pane, const QString& text)
{
    if (CAmbrelViewStatusBar* bar = StatusBar())
        bar->SetPaneText(pane, text);
}

// The state the panes and the tests read ---------------------------------------

double CAmbrelView::GetZoom() const
{
    return m_pZoom->GetZoom();
}

bool CAmbrelView::IsAutoScale() const
{
    return m_pZoom->IsAutoScale();
}

bool CAmbrelView::HasSelection() const
{
    return m_pSelection->Has();
}

VxRect CAmbrelView::GetImageSelection() const
{
    return m_pSelection->ImageRect();
}

VxRect CAmbrelView::GetViewSelection() const
{
    return m_pSelection->ViewRect();
}

void CAmbrelView::SetViewSelection(const VxRect& rect)
{
    m_pSelection->Set(rect);
}

bool CAmbrelView::IsSlideshow() const
{
    return m_pSlideshow->IsRunning();
}

void CAmbrelView::LoadCurrentFile(int direction, bool usePrefetch)
{
    m_pNavigation->LoadCurrentFile(direction, usePrefetch);
}

void CAmbrelView::RefreshFolder()
{
    m_pNavigation->RefreshFolder();
}

void CAmbrelView::PrintPage(QPaintDevice* device)
{
    m_pPrinting->PrintPage(device);
}

// Commands ------------------------------------------------------------------

bool CAmbrelView::OnCmdMsg(int id)
{
    for (CSCmdTarget* part : m_Parts)
        if (part->OnCmdMsg(id))
            return true;
    return CSView::OnCmdMsg(id);
}

bool CAmbrelView::OnUpdateCmdMsg(CSCmdUI& ui)
{
    for (CSCmdTarget* part : m_Parts)
        if (part->OnUpdateCmdMsg(ui))
            return true;
    return CSView::OnUpdateCmdMsg(ui);
}

// The commands on the window itself.
void CAmbrelView::_RegisterWindowCommands()
{
    OnCommand(ID_MAXIMIZE, [this](int) {
        if (CPixelFrame* frame = Frame())
            QTimer::singleShot(0, frame, [frame] { frame->MDIMaximize(); });
    });
    OnCommand(ID_RESTORE, [this](int) {
        if (CPixelFrame* frame = Frame())
            QTimer::singleShot(0, frame, [frame] { frame->MDIRestore(); });
    });
    OnCommand(ID_MINIMIZE, [this](int) {
        if (CPixelFrame* frame = Frame())
            QTimer::singleShot(0, frame, [frame] {
                if (QMdiSubWindow* window = frame->GetMDISubWindow())
                    window->showMinimized();
            });
    });
    for (int id : {ID_MAXIMIZE, ID_RESTORE, ID_MINIMIZE})
        OnUpdateCommand(id, [](CSCmdUI& ui) { ui.Enable(true); });
}

// Initial update and messages -------------------------------------------------

void CAmbrelView::OnInitialUpdate()
{
    CSView::OnInitialUpdate();
    CAmbrelDoc* doc = GetDocument();
    m_bInitialised = true;
    m_bLoadUnseen = true;
    if (doc && doc->m_bCreatedFromImage && GeneralSettings.bAutoCropScanned)
        _AutoCropNewPicture(*doc);
    m_pZoom->ResizeToContents();
    m_pZoom->UpdateZoomDisplay();
    m_pNavigation->UpdatePositionDisplay();
    VxPostMessage(this, viewmsg::WM_TRACK_READY);
    SetPane(CAmbrelViewStatusBar::kSelection, QString());
    m_pNavigation->StartPrefetch(1);
    UpdateTimingPane();
    m_pNavigation->RestartFolderWatch();
    if (GeneralSettings.bOpenMaximized) {
        if (CPixelFrame* frame = Frame())
            frame->MDIMaximize();
    }
    if (CAmbrelViewStatusBar* bar = StatusBar()) {
        connect(bar, &CAmbrelViewStatusBar::ButtonCommand, this, [this](int id) {
            if (id == CAmbrelViewStatusBar::kGroupButtonId)
                m_pNavigation->ShowGroupMenu();
            else
                OnCmdMsg(id);
        });
    }
    m_pZoom->UpdateScrollSizes();
}

void CAmbrelView::OnUpdate(CSView* /*sender*/, long /*hint*/, void* /*hintObject*/)
{
    m_pZoom->UpdateScrollSizes();
    Repaint();
}

void CAmbrelView::OnCloseView()
{
    if (m_pSlideshow->IsRunning())
        m_pSlideshow->Stop();
    m_Watcher.StopWatch();
    m_Prefetch.Join();
}

bool CAmbrelView::event(QEvent* event)
{
    switch (int(event->type())) {
    case viewmsg::WM_FINISH_GESTURE:
        m_pSelection->FinishGesture();
        return true;
    case viewmsg::WM_TRACK_READY:
        m_pSelection->SetTrackReady();
        return true;
    case msg::WM_MENU_OPENING:
        m_pEffects->UpdateLastCommandItem(reinterpret_cast<QMenu*>(static_cast<CVxMessageEvent*>(event)->m_wParam));
        return true;
    case msg::WM_SLIDER_RELEASED:
        m_pNavigation->OnSliderReleased(int(static_cast<CVxMessageEvent*>(event)->m_wParam));
        return true;
    case msg::WM_FOLDER_CHANGED: {
        auto* change = static_cast<CFileChangeEvent*>(event);
        if (change->Watcher() == &m_Watcher && change->Changed() == 1)
            RefreshFolder();
        return true;
    }
    }
    return QAbstractScrollArea::event(event);
}

void CAmbrelView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (m_bRefreshDue)
        QTimer::singleShot(0, this, [this] {
            if (m_bRefreshDue)
                RefreshFolder();
        });
}

// A newly shown picture starts at zoom 1.0, scrolled to its corner, with
// no selection.
void CAmbrelView::ResetForNewPicture()
{
    m_pZoom->SetZoomValue(1.0);
    m_pSelection->Clear();
    m_pSelection->EndGesture();
    m_pZoom->UpdateScrollSizes();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    m_pNavigation->UpdatePositionDisplay();
    m_pZoom->UpdateZoomDisplay();
}

// Mouse and keys ------------------------------------------------------------------

void CAmbrelView::mousePressEvent(QMouseEvent* event)
{
    if (!m_pSelection->MousePress(event))
        QAbstractScrollArea::mousePressEvent(event);
}

void CAmbrelView::mouseMoveEvent(QMouseEvent* event)
{
    m_pSelection->MouseMove(event);
}

void CAmbrelView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pSelection->MouseRelease(event))
        QAbstractScrollArea::mouseReleaseEvent(event);
}

void CAmbrelView::keyPressEvent(QKeyEvent* event)
{
    if (!m_pZoom->ScrollByKey(event->key()))
        QAbstractScrollArea::keyPressEvent(event);
}

void CAmbrelView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_pZoom->UpdateScrollSizes();
}

void CAmbrelView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    viewport()->update();
}

void CAmbrelView::contextMenuEvent(QContextMenuEvent* event)
{
    if (IsSlideshow())
        return;
    std::unique_ptr<QMenu> menu(BuildContextMenu());
    menu->exec(event->globalPos());
}

QMenu* CAmbrelView::BuildContextMenu()
{
    auto* menu = new QMenu(this);
    CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame();
    auto addPopup = [menu, main](const char* title) {
        if (!main)
            return;
        for (QAction* action : main->menuBar()->actions())
            if (action->menu() && action->text() == QLatin1String(title)) {
                menu->addMenu(action->menu());
                return;
            }
    };
    addPopup("&Tools");
    addPopup("&Selection");
    addPopup("&Control");
    menu->addSeparator();
    addPopup("&Edit");
    m_pEffects->AppendLastCommandItem(menu);
    return menu;
}

// Painting ---------------------------------------------------------------------------

void CAmbrelView::Repaint()
{
    viewport()->update();
}

void CAmbrelView::DrawImage(QPainter& painter, const QRect& area, bool printing)
{
    m_pCanvas->Draw(painter, area, printing);
}

void CAmbrelView::TraceLoadSeen()
{
    if (!m_bLoadUnseen)
        return;
    m_bLoadUnseen = false;
    if (CAmbrelDoc* doc = GetDocument())
        vxtrace::Log("image-painted", doc->GetPathName());
}

void CAmbrelView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    DrawImage(painter, event->rect(), false);
    if (!IsSlideshow())
        TraceLoadSeen();
    m_pSelection->Paint(painter);
}

bool CAmbrelView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        m_pSelection->Leave();
    return QAbstractScrollArea::viewportEvent(event);
}

// The picture changed ---------------------------------------------------------------

void CAmbrelView::UpdateTimingPane()
{
    if (CAmbrelDoc* doc = GetDocument())
        SetPane(CAmbrelViewStatusBar::kTime, QString::fromStdString(viewgeom::TimingText(doc->ElapsedMilliseconds())));
}

void CAmbrelView::NotifyBars()
{
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxSendMessageToDescendants(main, msg::WM_IMAGE_CHANGED, std::uintptr_t(Frame()));
}

void CAmbrelView::ImageChanged(bool modified)
{
    if (modified)
        GetDocument()->SetModifiedFlag(true);
    m_pZoom->UpdateScrollSizes();
    Repaint();
    NotifyBars();
}

// What the effect commands use ---------------------------------------------------------

CVelvixBuffer* CAmbrelView::EffectRing()
{
    CAmbrelDoc* doc = GetDocument();
    return doc ? &doc->m_Buffer : nullptr;
}

void CAmbrelView::ResetZoom()
{
    m_pZoom->SetZoom(1.0);
    Repaint();
}

void CAmbrelView::DropSelection()
{
    m_pSelection->Drop();
    Repaint();
}

void CAmbrelView::StartProcessingClock()
{
    if (CAmbrelDoc* doc = GetDocument())
        doc->StartClock();
}

// Cropped in a copy: short of memory the scan is kept whole, with its one
// state, and that is told.
void CAmbrelView::_AutoCropNewPicture(CAmbrelDoc& doc)
{
    CVelvix cropped = doc.Image();
    bool failed = !cropped.IsValidObject();
    try {
        if (!failed && !cropped.AutoCropForScannedImage(GeneralSettings.nAutoCropTolerance))
            failed = !cropped.IsValidObject();  // else dark everywhere: nothing to keep
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed)
        CAmbrelDoc::s_pfnReportError(QString::fromLatin1(CViewEditCommands::kCropFailed));
    else
        doc.m_Buffer.Push(cropped);
}

int CAmbrelView::AutoCropTolerance() const
{
    return GeneralSettings.nAutoCropTolerance;
}
