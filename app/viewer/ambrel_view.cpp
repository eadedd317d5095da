#include "viewer/ambrel_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cstring>

#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "shell/messages.h"
#include "shell/shell_dialogs.h"
#include "support/doc_template_manager.h"
#include "support/full_screen_window.h"
#include "support/vx_helper.h"
#include "support/mdi_frames.h"
#include "support/message_event.h"
#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/image_info_dialog.h"
#include "viewer/pixel_frame.h"
#include "viewer/view_geometry.h"
#include "viewer/view_status_bar.h"
#include "viewer/viewer_trace.h"

using namespace viewcmd;

bool CAmbrelView::s_bAlwaysSquareLonger = false;
bool CAmbrelView::s_bAlwaysSquareShorter = false;

std::function<bool(QWidget*, const QString&, const QString&)> CAmbrelView::s_pfnAskYesNo =
    [](QWidget* parent, const QString& caption, const QString& text) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
               == QMessageBox::Yes;
    };
std::function<void()> CAmbrelView::s_pfnBeep = [] { QApplication::beep(); };

namespace {

const QColor kHatchColor(192, 192, 192);
constexpr int kScrollStep = 5;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString AppTitle()
{
    return QString::fromLatin1(CAmbrelApp::kAppTitle);
}

// The slideshow's fit: bilinear resampling to the given size.
void ResampleTo(CVelvix& image, int width, int height)
{
    image.Resample_Bilinear(height, width, false);
}

// Fills the area with the light grey diagonal cross-hatch.
void FillHatch(QPainter& painter, const QRect& area)
{
    if (area.isEmpty())
        return;
    painter.fillRect(area, Qt::white);
    painter.fillRect(area, QBrush(kHatchColor, Qt::DiagCrossPattern));
}

} // namespace

CAmbrelView::CAmbrelView()
{
    std::srand(unsigned(std::time(nullptr)));
    m_ZoomCursor = QCursor(Qt::CrossCursor);
    setFrameStyle(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    horizontalScrollBar()->setSingleStep(kScrollStep);
    verticalScrollBar()->setSingleStep(kScrollStep);
    // The end of a scroll recomputes the visible part.
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] { _UpdateVisiblePart(); });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] { _UpdateVisiblePart(); });
    _RegisterCommands();
    m_pEffects = std::make_unique<CViewEffectCommands>(*this);
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

CPixelFrame* CAmbrelView::_Frame() const
{
    for (QWidget* parent = parentWidget(); parent; parent = parent->parentWidget())
        if (auto* frame = qobject_cast<CPixelFrame*>(parent))
            return frame;
    return nullptr;
}

CAmbrelViewStatusBar* CAmbrelView::_StatusBar() const
{
    CPixelFrame* frame = _Frame();
    return frame ? frame->GetViewStatusBar() : nullptr;
}

void CAmbrelView::_SetPane(int pane, const QString& text)
{
    if (CAmbrelViewStatusBar* bar = _StatusBar())
        bar->SetPaneText(pane, text);
}

// Commands ------------------------------------------------------------------

void CAmbrelView::_RegisterCommands()
{
    auto inEditMode = [this](CSCmdUI& ui) { ui.Enable(GetDocument() && GetDocument()->IsEditMode()); };
    auto withSelection = [this](CSCmdUI& ui) { ui.Enable(HasSelection()); };

    OnCommand(ID_NEXT_FILE, [this](int) { _Navigate(&CFileNavigator::NextFile); });
    OnCommand(ID_PREVIOUS_FILE, [this](int) { _Navigate(&CFileNavigator::PreviousFile); });
    OnCommand(ID_NEXT_FOLDER, [this](int) { _Navigate(&CFileNavigator::NextFolder); });
    OnCommand(ID_PREVIOUS_FOLDER, [this](int) { _Navigate(&CFileNavigator::PreviousFolder); });
    OnCommand(ID_FIRST_FILE, [this](int) { _Navigate(&CFileNavigator::FirstFile); });
    OnCommand(ID_LAST_FILE, [this](int) { _Navigate(&CFileNavigator::LastFile); });
    OnCommand(ID_REFRESH_FOLDER, [this](int) { RefreshFolder(); });
    for (int id : {ID_NEXT_FILE, ID_PREVIOUS_FILE, ID_NEXT_FOLDER, ID_PREVIOUS_FOLDER, ID_FIRST_FILE, ID_LAST_FILE,
                   ID_REFRESH_FOLDER, ID_SET_WALLPAPER})
        OnUpdateCommand(id, inEditMode);

    OnCommand(ID_EDIT_UNDO, [this](int) { _Undo(); });
    OnCommand(ID_EDIT_REDO, [this](int) { _Redo(); });
    OnUpdateCommand(ID_EDIT_UNDO, [this](CSCmdUI& ui) {
        CAmbrelDoc* doc = GetDocument();
        const int count = doc ? doc->m_Buffer.GetUndoCount() : 0;
        ui.SetText(Q(viewgeom::UndoMenuText(count)));
        ui.Enable(doc && doc->m_Buffer.HasUndo());
    });
    OnUpdateCommand(ID_EDIT_REDO, [this](CSCmdUI& ui) {
        CAmbrelDoc* doc = GetDocument();
        const int count = doc ? doc->m_Buffer.GetRedoCount() : 0;
        ui.SetText(Q(viewgeom::RedoMenuText(count)));
        ui.Enable(doc && doc->m_Buffer.HasRedo());
    });

    OnCommand(ID_EDIT_COPY, [this](int) { _Copy(); });
    OnUpdateCommand(ID_EDIT_COPY, [this](CSCmdUI& ui) { ui.Enable(GetDocument() && GetDocument()->Image().IsValidObject()); });
    OnCommand(ID_EDIT_PASTE, [this](int) { _Paste(); });
    OnUpdateCommand(ID_EDIT_PASTE, [this](CSCmdUI& ui) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ui.Enable(data && data->hasImage());
    });
    OnUpdateCommand(ID_EDIT_CUT, [](CSCmdUI& ui) { ui.Enable(false); });

    OnCommand(ID_CROP_SELECTION, [this](int) { _Crop(); });
    OnCommand(ID_SQUARE_LONGER, [this](int) { _SquareSelection(true); });
    OnCommand(ID_SQUARE_SHORTER, [this](int) { _SquareSelection(false); });
    OnCommand(ID_MOVE_SELECTION, [this](int) {
        if (HasSelection())
            m_nMouseMode = 1;
    });
    for (int id : {ID_CROP_SELECTION, ID_SQUARE_LONGER, ID_SQUARE_SHORTER, ID_MOVE_SELECTION})
        OnUpdateCommand(id, withSelection);
    OnCommand(ID_ALWAYS_SQUARE_LONGER, [](int) {
        s_bAlwaysSquareLonger = !s_bAlwaysSquareLonger;
        if (s_bAlwaysSquareLonger)
            s_bAlwaysSquareShorter = false;
    });
    OnCommand(ID_ALWAYS_SQUARE_SHORTER, [](int) {
        s_bAlwaysSquareShorter = !s_bAlwaysSquareShorter;
        if (s_bAlwaysSquareShorter)
            s_bAlwaysSquareLonger = false;
    });
    OnUpdateCommand(ID_ALWAYS_SQUARE_LONGER, [](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(s_bAlwaysSquareLonger ? 1 : 0);
    });
    OnUpdateCommand(ID_ALWAYS_SQUARE_SHORTER, [](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(s_bAlwaysSquareShorter ? 1 : 0);
    });

    OnCommand(ID_ZOOM_IN, [this](int) { _ZoomIn(); });
    OnUpdateCommand(ID_ZOOM_IN, [this](CSCmdUI& ui) { ui.Enable(!m_bAutoScale); });
    OnCommand(ID_CANCEL_ZOOM, [this](int) { _CancelZoom(); });
    OnUpdateCommand(ID_CANCEL_ZOOM, [this](CSCmdUI& ui) { ui.Enable(m_dZoom != 1.0); });
    OnCommand(ID_AUTO_SCALE, [this](int) { _AutoScale(); });
    OnUpdateCommand(ID_AUTO_SCALE, [this](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(m_bAutoScale ? 1 : 0);
    });
    OnCommand(ID_RESIZE_TO_CONTENTS, [this](int) { _ResizeToContents(); });
    OnUpdateCommand(ID_RESIZE_TO_CONTENTS, [this](CSCmdUI& ui) { ui.Enable(_Frame() && !_Frame()->IsMDIMaximized()); });
    OnCommand(ID_TRACK_LINES, [this](int) {
        m_bTrackLines = !m_bTrackLines;
        m_ptLastTrack = QPoint(-1, -1);
        _Repaint();
    });
    OnUpdateCommand(ID_TRACK_LINES, [this](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(m_bTrackLines ? 1 : 0);
    });

    OnCommand(ID_MAXIMIZE, [this](int) {
        if (CPixelFrame* frame = _Frame())
            QTimer::singleShot(0, frame, [frame] { frame->MDIMaximize(); });
    });
    OnCommand(ID_RESTORE, [this](int) {
        if (CPixelFrame* frame = _Frame())
            QTimer::singleShot(0, frame, [frame] { frame->MDIRestore(); });
    });
    OnCommand(ID_MINIMIZE, [this](int) {
        if (CPixelFrame* frame = _Frame())
            QTimer::singleShot(0, frame, [frame] {
                if (QMdiSubWindow* window = frame->GetMDISubWindow())
                    window->showMinimized();
            });
    });
    for (int id : {ID_MAXIMIZE, ID_RESTORE, ID_MINIMIZE})
        OnUpdateCommand(id, [](CSCmdUI& ui) { ui.Enable(true); });

    OnCommand(ID_SET_WALLPAPER, [this](int) { _SetWallpaper(); });
    OnCommand(ID_QUICK_OPEN, [this](int) { _QuickOpen(); });
    OnUpdateCommand(ID_QUICK_OPEN, [](CSCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_SHOW_THUMBNAILS, [this](int) { _ShowThumbnails(); });
    OnUpdateCommand(ID_SHOW_THUMBNAILS, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(QStringLiteral("CThumbnailsFrame")));
    });
    OnCommand(ID_FIND_DUPLICATES, [](int) {
        if (AmbrelApp())
            AmbrelApp()->GetTemplateManager().OpenNewFrame(QStringLiteral("CDIFFrame"), true);
    });
    OnUpdateCommand(ID_FIND_DUPLICATES, [](CSCmdUI& ui) {
        ui.Enable(AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(QStringLiteral("CDIFFrame")));
    });
    OnCommand(ID_IMAGE_INFO, [this](int) { _ShowImageInfo(); });
    OnUpdateCommand(ID_IMAGE_INFO, [](CSCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_GROUP_ALL, [this](int id) { _SelectList(id); });
    OnCommand(ID_GROUP_GROUP, [this](int id) { _SelectList(id); });
    OnCommand(ID_GROUP_RECURSE, [this](int id) { _SelectList(id); });

    OnCommand(ID_SLIDESHOW, [this](int) { _StartSlideshow(); });
    OnUpdateCommand(ID_SLIDESHOW, [this](CSCmdUI& ui) { ui.Enable(GetDocument() && GetDocument()->GetFileCount() > 0); });

    OnCommand(ID_FILE_PRINT, [this](int) { _Print(false); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this](int) { _Print(true); });
    OnCommand(ID_FILE_SEND_MAIL, [this](int) { _SendMail(); });
    OnUpdateCommand(ID_FILE_SEND_MAIL, [this](CSCmdUI& ui) {
        ui.Enable(!QStandardPaths::findExecutable(QStringLiteral("xdg-email")).isEmpty() && GetDocument()
                  && !GetDocument()->GetPathName().isEmpty());
    });
}

// Initial update and messages -------------------------------------------------

void CAmbrelView::OnInitialUpdate()
{
    CSView::OnInitialUpdate();
    CAmbrelDoc* doc = GetDocument();
    m_bInitialised = true;
    m_bLoadUnseen = true;
    if (doc && doc->m_bCreatedFromImage && GeneralSettings.bAutoCropScanned) {
        doc->m_Buffer.MakeCopy();
        doc->Image().AutoCropForScannedImage(GeneralSettings.nAutoCropTolerance);
    }
    _ResizeToContents();
    _UpdateZoomDisplay();
    UpdatePositionDisplay();
    VxPostMessage(this, viewmsg::WM_TRACK_READY);
    _SetPane(CAmbrelViewStatusBar::kSelection, QString());
    _StartPrefetch(1);
    _UpdateTimingPane();
    _RestartFolderWatch();
    if (GeneralSettings.bOpenMaximized) {
        if (CPixelFrame* frame = _Frame())
            frame->MDIMaximize();
    }
    if (CAmbrelViewStatusBar* bar = _StatusBar()) {
        connect(bar, &CAmbrelViewStatusBar::ButtonCommand, this, [this](int id) {
            if (id == CAmbrelViewStatusBar::kGroupButtonId)
                _ShowGroupMenu();
            else
                OnCmdMsg(id);
        });
    }
    UpdateScrollSizes();
}

void CAmbrelView::OnUpdate(CSView* /*sender*/, long /*hint*/, void* /*hintObject*/)
{
    UpdateScrollSizes();
    _Repaint();
}

void CAmbrelView::OnCloseView()
{
    if (m_bSlideshow)
        _StopSlideshow();
    m_Watcher.StopWatch();
    m_Prefetch.Join();
}

bool CAmbrelView::event(QEvent* event)
{
    switch (int(event->type())) {
    case viewmsg::WM_FINISH_GESTURE:
        _FinishGesture();
        return true;
    case viewmsg::WM_TRACK_READY:
        m_bTrackReady = true;
        return true;
    case msg::WM_MENU_OPENING:
        m_pEffects->UpdateLastCommandItem(reinterpret_cast<QMenu*>(static_cast<CVxMessageEvent*>(event)->m_wParam));
        return true;
    case msg::WM_SLIDER_RELEASED:
        _OnSliderReleased(int(static_cast<CVxMessageEvent*>(event)->m_wParam));
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

// Navigation -------------------------------------------------------------------

bool CAmbrelView::_CanLeaveImage()
{
    CAmbrelDoc* doc = GetDocument();
    return doc && doc->SaveModified();
}

void CAmbrelView::_Navigate(CNavigationStep (CFileNavigator::*step)(), bool needsPrompt)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->IsEditMode())
        return;
    const bool firstOrLast = step == &CFileNavigator::FirstFile || step == &CFileNavigator::LastFile;
    if (doc->GetFileCount() < (firstOrLast ? 1 : 2))
        return;
    if (needsPrompt && !_CanLeaveImage())
        return;
    QWidget* parent = m_bSlideshow ? m_FullScreenWnd.get() : this;
    CFileNavigator navigator(*doc, m_bSlideshow, [parent](bool atEnd) {
        return s_pfnAskYesNo(parent, QStringLiteral("Loop files"),
                             atEnd ? QStringLiteral("You have reached to the end of the files... Would you like to "
                                                    "load the first file ?")
                                   : QStringLiteral("You have reached to the beginning of the files... Would you "
                                                    "like to load the last file ?"));
    });
    const CNavigationStep result = (navigator.*step)();
    _RunStep(result, !firstOrLast);
}

void CAmbrelView::_RunStep(const CNavigationStep& step, bool usePrefetch)
{
    if (step.kind == CNavigationStep::Beep)
        s_pfnBeep();
    if (step.kind == CNavigationStep::Load)
        LoadCurrentFile(step.direction, usePrefetch);
}

bool CAmbrelView::_FitToSlideshow(CVelvix& image) const
{
    if (!m_FullScreenWnd || !image.IsValidObject())
        return false;
    const QSize client = m_FullScreenWnd->size();
    int width, height;
    if (!viewgeom::SlideshowFit(image.GetWidth(), image.GetHeight(), client.width(), client.height(),
                                GeneralSettings.bNoEnlargeInSlideshow != 0, width, height))
        return false;
    ResampleTo(image, width, height);
    return true;
}

void CAmbrelView::LoadCurrentFile(int direction, bool usePrefetch)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || doc->m_nCurrentFile < 0 || doc->m_nCurrentFile >= doc->GetFileCount())
        return;
    doc->StartClock();
    doc->m_Buffer.Reset();
    CVxWaitCursor wait;
    m_Prefetch.Join();

    const int current = doc->m_nCurrentFile;
    const std::string path = doc->GetFilePath(current);
    bool loaded = usePrefetch && m_Prefetch.TakeIfReady(current, path, doc->Image());
    if (!loaded) {
        // The neighbour prefetched is of no use for this entry: free it first.
        m_Prefetch.Forget();
        loaded = CAmbrelDoc::ReadGuarded(doc->Image(), path, current + 1);
        if (loaded && m_bSlideshow)
            _FitToSlideshow(doc->Image());
    }
    m_bLoadUnseen = true;
    m_strLoadError = loaded ? QString()
                            : QStringLiteral("%1\ncould not be read as an image.").arg(QFileInfo(Q(path)).fileName());
    if (!usePrefetch && current == doc->GetFileCount() - 1)
        direction = -1;
    else if (!usePrefetch)
        direction = 1;
    _StartPrefetch(direction);

    _ResetForNewPicture();
    const QString oldFolder = QFileInfo(doc->GetPathName()).absolutePath();
    doc->SetPathName(Q(path), false);
    doc->SetModifiedFlag(false);
    if (QFileInfo(Q(path)).absolutePath() != oldFolder)
        _RestartFolderWatch();
    if (m_bSlideshow && m_FullScreenWnd)
        m_FullScreenWnd->update();
    else
        _Repaint();
    _UpdateTimingPane();
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxSendMessageToDescendants(main, msg::WM_IMAGE_CHANGED, std::uintptr_t(_Frame()));
}

// A newly shown picture starts at zoom 1.0, scrolled to its corner, with
// no selection.
void CAmbrelView::_ResetForNewPicture()
{
    m_dZoom = 1.0;
    m_rcSelection = VxRect{-1, -1, -1, -1};
    m_nMouseMode = -1;
    UpdateScrollSizes();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    UpdatePositionDisplay();
    _UpdateZoomDisplay();
}

void CAmbrelView::_StartPrefetch(int direction)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    const int target = CFileNavigator::PrefetchTarget(doc->m_nCurrentFile, doc->GetFileCount(), direction);
    if (target < 0)
        return;
    const std::string path = doc->GetFilePath(target);
    QSize fit;
    if (m_bSlideshow && m_FullScreenWnd)
        fit = m_FullScreenWnd->size();
    const bool noEnlarge = GeneralSettings.bNoEnlargeInSlideshow != 0;
    m_Prefetch.Start(target, path, [fit, noEnlarge](CVelvix& image, const std::string& file, int index) {
        const bool read = CAmbrelDoc::ReadGuarded(image, file, index + 1);
        vxtrace::Log("prefetched", Q(file));
        if (!read)
            return false;
        int width, height;
        if (fit.isValid()
            && viewgeom::SlideshowFit(image.GetWidth(), image.GetHeight(), fit.width(), fit.height(), noEnlarge,
                                      width, height))
            ResampleTo(image, width, height);
        return true;
    });
}

void CAmbrelView::UpdatePositionDisplay()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    _SetPane(CAmbrelViewStatusBar::kPosition, Q(doc->PositionText()));
    if (CAmbrelViewStatusBar* bar = _StatusBar()) {
        QSlider* slider = bar->GetSlider();
        QSignalBlocker block(slider);
        slider->setRange(1, std::max(1, doc->GetFileCount()));
        slider->setValue(doc->m_nCurrentFile + 1);
    }
}

void CAmbrelView::_OnSliderReleased(int position)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || doc->GetFileCount() <= 1)
        return;
    CFileNavigator navigator(*doc, m_bSlideshow, nullptr);
    _RunStep(navigator.SliderPosition(position), false);
}

void CAmbrelView::RefreshFolder()
{
    CAmbrelDoc* doc = GetDocument();
    CPixelFrame* frame = _Frame();
    if (!doc || !frame)
        return;
    CSMDIFrameWnd* main = frame->GetMDIFrame();
    if (main && main->MDIGetActive() != frame) {
        m_bRefreshDue = true;
        return;
    }
    if (m_pEffects->IsRunning()) {
        // The list may empty and close the window under the running effect.
        m_bRefreshDue = true;
        QTimer::singleShot(100, this, [this] {
            if (m_bRefreshDue)
                RefreshFolder();
        });
        return;
    }
    m_bRefreshDue = false;
    CVxWaitCursor wait;
    doc->RefreshFileList();
    if (doc->GetFileCount() == 0) {
        doc->SetModifiedFlag(false);
        frame->PostCloseFrame();
    }
    UpdatePositionDisplay();
}

void CAmbrelView::_RestartFolderWatch()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    std::string folder;
    bool subtree = false;
    if (doc->m_nActiveList == CImageFileLists::kListSubFolders) {
        folder = doc->m_strListSource;
        subtree = true;
    } else if (!doc->GetPathName().isEmpty()) {
        folder = QFileInfo(doc->GetPathName()).absolutePath().toStdString();
    }
    if (folder.empty())
        return;
    if (m_Watcher.IsWatching() && m_Watcher.GetPath() == folder && m_Watcher.IsWatchingSubtree() == subtree)
        return;
    m_Watcher.StopWatch();
    m_Watcher.StartWatch(folder, this, msg::WM_FOLDER_CHANGED, subtree);
}

void CAmbrelView::_SelectList(int id)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    std::string folder;
    int list = CImageFileLists::kListAll;
    if (id == ID_GROUP_GROUP) {
        if (!doc->m_FileLists[CImageFileLists::kListGroup].built)
            return;
        list = CImageFileLists::kListGroup;
    } else if (id == ID_GROUP_RECURSE) {
        CSubFolderAskDialog ask(this);
        const int choice = ask.Ask();
        if (choice < 0)
            return;
        QString chosen;
        if (choice == 1) {
            chosen = CVxHelper::BrowseForFolder(this, QStringLiteral("Browse for 1"), 0, true);
            if (chosen.isEmpty())
                return;
        } else {
            chosen = QFileInfo(doc->GetPathName()).absolutePath() + QLatin1Char('/');
        }
        if (!chosen.endsWith(QLatin1Char('/')))
            chosen += QLatin1Char('/');
        folder = chosen.toStdString();
        list = CImageFileLists::kListSubFolders;
    }
    if (!_CanLeaveImage())
        return;
    {
        CVxWaitCursor wait;
        doc->SelectFileList(list, folder);
    }
    if (doc->GetFileCount() > 0) {
        doc->m_nCurrentFile = 0;
        LoadCurrentFile(1, false);
    }
    UpdatePositionDisplay();
    m_Watcher.StopWatch();
    _RestartFolderWatch();
}

void CAmbrelView::_ShowGroupMenu()
{
    CAmbrelDoc* doc = GetDocument();
    CAmbrelViewStatusBar* bar = _StatusBar();
    if (!doc || !bar)
        return;
    QMenu menu(QStringLiteral("Group Selection"), this);
    auto add = [&](const QString& text, int id, int list) {
        QAction* action = menu.addAction(text, this, [this, id] { OnCmdMsg(id); });
        action->setCheckable(true);
        action->setChecked(doc->m_nActiveList == list);
    };
    add(QStringLiteral("All"), ID_GROUP_ALL, CImageFileLists::kListAll);
    add(QStringLiteral("(Recurse Subdirectories)"), ID_GROUP_RECURSE, CImageFileLists::kListSubFolders);
    if (doc->m_FileLists[CImageFileLists::kListGroup].built)
        add(QStringLiteral("Group: ") + Q(doc->m_FileLists[CImageFileLists::kListGroup].title), ID_GROUP_GROUP,
            CImageFileLists::kListGroup);
    QToolButton* button = bar->GetButton(CAmbrelViewStatusBar::kGroupButtonId);
    menu.exec(button->mapToGlobal(QPoint(0, button->height())));
}

// Zoom, scrolling and selection --------------------------------------------------

double CAmbrelView::_Scale() const
{
    if (!m_bAutoScale)
        return m_dZoom;
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->Image().IsValidObject())
        return 1.0;
    CVelvix& image = doc->Image();
    const QSize client = viewport()->size();
    int width, height;
    CVelvix::FitIntoBox(image.GetWidth(), image.GetHeight(), std::max(1, client.width()),
                        std::max(1, client.height()), true, width, height);
    return std::max(double(width) / image.GetWidth(), 1e-6);
}

QSize CAmbrelView::_ContentSize() const
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->Image().IsValidObject())
        return QSize(0, 0);
    const double scale = _Scale();
    return QSize(int(doc->Image().GetWidth() * scale), int(doc->Image().GetHeight() * scale));
}

QPoint CAmbrelView::_ScrollPos() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPoint CAmbrelView::_ContentPoint(const QPoint& viewportPoint) const
{
    return viewportPoint + _ScrollPos();
}

void CAmbrelView::UpdateScrollSizes()
{
    const QSize content = m_bAutoScale ? QSize(0, 0) : _ContentSize();
    const QSize client = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - client.width()));
    horizontalScrollBar()->setPageStep(std::max(1, client.width()));
    verticalScrollBar()->setRange(0, std::max(0, content.height() - client.height()));
    verticalScrollBar()->setPageStep(std::max(1, client.height()));
}

void CAmbrelView::_UpdateZoomDisplay()
{
    _SetPane(CAmbrelViewStatusBar::kZoom, Q(viewgeom::ZoomText(m_dZoom)));
    _UpdateVisiblePart();
}

void CAmbrelView::_UpdateVisiblePart()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    const QPoint scroll = _ScrollPos();
    const QSize client = viewport()->size();
    CVelvix& image = doc->Image();
    doc->m_rcVisible = viewgeom::VisiblePart(m_dZoom, scroll.x(), scroll.y(), client.width(), client.height(),
                                             image.IsValidObject() ? image.GetWidth() : 0,
                                             image.IsValidObject() ? image.GetHeight() : 0);
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxSendMessageToDescendants(main, msg::WM_VISIBLE_PART, std::uintptr_t(_Frame()));
}

void CAmbrelView::_SetZoom(double zoom)
{
    m_dZoom = std::min(zoom, viewgeom::kMaxZoom);
    UpdateScrollSizes();
    _UpdateZoomDisplay();
}

void CAmbrelView::_ZoomIn()
{
    if (m_bAutoScale)
        return;
    if (!HasSelection()) {
        m_nMouseMode = 0;
        viewport()->setCursor(m_ZoomCursor);
        return;
    }
    const QSize client = viewport()->size();
    const viewgeom::ZoomStep step = viewgeom::ZoomToSelection(m_dZoom, client.width(), client.height(), m_rcSelection);
    m_rcSelection = VxRect{-1, -1, -1, -1};
    m_dZoom = step.zoom;
    UpdateScrollSizes();
    horizontalScrollBar()->setValue(step.scrollX);
    verticalScrollBar()->setValue(step.scrollY);
    _UpdateZoomDisplay();
    _Repaint();
}

void CAmbrelView::_CancelZoom()
{
    m_rcSelection = VxRect{-1, -1, -1, -1};
    _SetZoom(1.0);
    _Repaint();
}

void CAmbrelView::_AutoScale()
{
    m_bAutoScale = !m_bAutoScale;
    if (m_bAutoScale) {
        m_dZoom = 1.0;
        m_nMouseMode = -1;
        viewport()->unsetCursor();
    }
    m_rcSelection = VxRect{-1, -1, -1, -1};
    _ResizeToContents();
    UpdateScrollSizes();
    _UpdateZoomDisplay();
    _Repaint();
}

void CAmbrelView::_ResizeToContents()
{
    _ResizeToContents(8);
}

void CAmbrelView::_ResizeToContents(int retries)
{
    CPixelFrame* frame = _Frame();
    CAmbrelDoc* doc = GetDocument();
    if (!frame || !doc || !doc->Image().IsValidObject() || frame->IsMDIMaximized())
        return;
    QMdiSubWindow* window = frame->GetMDISubWindow();
    if (!window)
        return;
    // The client area is measured in the shown window: a window not yet
    // shown has no layout to measure.
    if (!window->isVisible()) {
        if (retries > 0)
            QTimer::singleShot(0, this, [this, retries, window = QPointer<QMdiSubWindow>(window)] {
                if (window)
                    _ResizeToContents(retries - 1);
            });
        return;
    }
    const QSize wanted(doc->Image().GetWidth(), doc->Image().GetHeight());
    const QSize limit = window->mdiArea() ? window->mdiArea()->size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // A window just shown may not be laid out yet (the view not even inside
    // it): give it a size first, then correct by what the client area lacks.
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QRect client(viewport()->mapTo(window, QPoint(0, 0)), viewport()->size());
        const bool laidOut = window->rect().contains(client);
        if (laidOut && client.size() == wanted)
            return;
        const QSize size = laidOut ? window->size() + (wanted - client.size()) : wanted + QSize(16, 100);
        const QSize bounded = size.boundedTo(limit).expandedTo(QSize(160, 120));
        if (bounded == window->size())
            return;
        window->resize(bounded);
    }
}

void CAmbrelView::_DropSelection()
{
    m_rcSelection = VxRect{-1, -1, -1, -1};
    _SetPane(CAmbrelViewStatusBar::kSelection, QString());
}

VxRect CAmbrelView::GetImageSelection() const
{
    CAmbrelDoc* doc = GetDocument();
    if (!HasSelection() || !doc || !doc->Image().IsValidObject())
        return VxRect{};
    return viewgeom::ClipToImage(viewgeom::ViewToImage(m_rcSelection, _Scale()), doc->Image().GetWidth(),
                                 doc->Image().GetHeight());
}

void CAmbrelView::SetViewSelection(const VxRect& rect)
{
    m_rcSelection = viewgeom::Normalize(rect);
    if (m_rcSelection.IsEmpty())
        m_rcSelection = VxRect{-1, -1, -1, -1};
    _Repaint();
}

void CAmbrelView::_SquareSelection(bool longer)
{
    if (!HasSelection())
        return;
    m_rcSelection = longer ? viewgeom::SquareUsingLongerAxes(m_rcSelection)
                           : viewgeom::SquareUsingShorterAxes(m_rcSelection);
    _Repaint();
}

void CAmbrelView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_bSlideshow) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (HasSelection())
        _Repaint();
    if (m_nMouseMode != 1)
        m_rcSelection = VxRect{-1, -1, -1, -1};
    m_ptDragStart = _ContentPoint(event->position().toPoint());
    m_rcMoving = m_rcSelection;
    m_bDragging = true;
}

void CAmbrelView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = _ContentPoint(event->position().toPoint());
    const double scale = _Scale();
    if (m_bDragging && m_ptDragStart.x() != -1) {
        if (m_nMouseMode == 1) {
            const QPoint offset = point - m_ptDragStart;
            m_rcMoving = VxRect{m_rcSelection.left + offset.x(), m_rcSelection.top + offset.y(),
                                m_rcSelection.right + offset.x(), m_rcSelection.bottom + offset.y()};
        } else {
            m_rcSelection = viewgeom::RubberBand(m_ptDragStart.x(), m_ptDragStart.y(), point.x(), point.y());
            _SetPane(CAmbrelViewStatusBar::kSelection,
                     Q(viewgeom::SelectionText(viewgeom::ViewToImage(m_rcSelection, scale))));
        }
        _Repaint();
    }
    _SetPane(CAmbrelViewStatusBar::kCursor,
             Q(viewgeom::CursorText(viewgeom::ViewToImage(point.x(), scale), viewgeom::ViewToImage(point.y(), scale))));
    if (m_bTrackLines && m_bTrackReady)
        _UpdateTrackLines(event->position().toPoint());
}

void CAmbrelView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bDragging) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_ptDragStart = QPoint(-1, -1);
    _SetPane(CAmbrelViewStatusBar::kSelection, QString());
    m_bDragging = false;
    VxPostMessage(this, viewmsg::WM_FINISH_GESTURE);
}

void CAmbrelView::_FinishGesture()
{
    if (m_nMouseMode == 0) {
        viewport()->unsetCursor();
        m_nMouseMode = -1;
        if (HasSelection() && !m_rcSelection.IsEmpty())
            _ZoomIn();
    } else if (m_nMouseMode == 1) {
        m_rcSelection = m_rcMoving;
        _Repaint();
    } else {
        _Repaint();
    }
    if (HasSelection()) {
        if (s_bAlwaysSquareShorter)
            m_rcSelection = viewgeom::SquareUsingShorterAxes(m_rcSelection);
        else if (s_bAlwaysSquareLonger)
            m_rcSelection = viewgeom::SquareUsingLongerAxes(m_rcSelection);
    }
    m_nMouseMode = -1;
    if (HasSelection() && m_rcSelection.IsEmpty())
        m_rcSelection = VxRect{-1, -1, -1, -1};
    _Repaint();
}

void CAmbrelView::_UpdateTrackLines(const QPoint& viewportPoint)
{
    const QRect area = viewport()->rect();
    auto lines = [&](const QPoint& p) {
        QRegion region(QRect(0, p.y(), area.width(), 1));
        return region.united(QRect(p.x(), 0, 1, area.height()));
    };
    QRegion dirty = lines(viewportPoint);
    if (m_ptLastTrack.x() != -1)
        dirty = dirty.united(lines(m_ptLastTrack - _ScrollPos()));
    m_ptLastTrack = viewportPoint + _ScrollPos();
    viewport()->update(dirty);
}

void CAmbrelView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        if (v->maximum() > 0)
            v->setValue(v->value() - kScrollStep);
        break;
    case Qt::Key_Down:
        if (v->maximum() > 0)
            v->setValue(v->value() + kScrollStep);
        break;
    case Qt::Key_Left:
        if (h->maximum() > 0)
            h->setValue(h->value() - kScrollStep);
        break;
    case Qt::Key_Right:
        if (h->maximum() > 0)
            h->setValue(h->value() + kScrollStep);
        break;
    case Qt::Key_PageUp:
        if (v->maximum() > 0)
            v->setValue(0);
        break;
    case Qt::Key_PageDown:
        if (v->maximum() > 0)
            v->setValue(v->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    _UpdateVisiblePart();
}

void CAmbrelView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollSizes();
}

void CAmbrelView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    viewport()->update();
}

// Painting ---------------------------------------------------------------------------

void CAmbrelView::_Repaint()
{
    viewport()->update();
}

void CAmbrelView::_RenderVisible(const QSize& size, const QPoint& scroll, double scale)
{
    CVelvix& image = GetDocument()->Image();
    const int width = image.GetWidth(), height = image.GetHeight();
    if (m_Canvas.size() != size)
        m_Canvas = QImage(size, QImage::Format_RGB32);
    std::vector<int> columns(std::size_t(size.width()));
    for (int x = 0; x < size.width(); ++x)
        columns[std::size_t(x)] = std::min(width - 1, int((scroll.x() + x) / scale));
    for (int y = 0; y < size.height(); ++y) {
        const int row = std::min(height - 1, int((scroll.y() + y) / scale));
        // Buffer rows run bottom-up.
        const VxPixel* source = &image.Bytes(0, height - 1 - row);
        auto* target = reinterpret_cast<VxPixel*>(m_Canvas.scanLine(y));
        if (scale == 1.0) {
            std::memcpy(target, source + scroll.x(), std::size_t(size.width()) * 4);
        } else {
            for (int x = 0; x < size.width(); ++x)
                target[x] = source[columns[std::size_t(x)]];
        }
    }
}

void CAmbrelView::DrawImage(QPainter& painter, const QRect& area, bool printing)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    CVelvix& image = doc->Image();
    if (!image.IsValidObject()) {
        FillHatch(painter, area);
        if (!m_strLoadError.isEmpty()) {
            painter.setPen(Qt::black);
            painter.drawText(area, Qt::AlignCenter, m_strLoadError);
        }
        return;
    }
    const double scale = _Scale();
    const QPoint scroll = printing ? QPoint(0, 0) : _ScrollPos();
    const QSize content = _ContentSize();
    const QRect visible = QRect(QPoint(0, 0), content).translated(-scroll).intersected(area);
    if (!visible.isEmpty()) {
        _RenderVisible(visible.size(), scroll + visible.topLeft(), scale);
        painter.drawImage(visible.topLeft(), m_Canvas);
    }
    // The hatch around the picture.
    QRegion outside(area);
    outside -= visible;
    for (const QRect& rect : outside)
        FillHatch(painter, rect);
}

void CAmbrelView::_TraceLoadSeen()
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
    if (!m_bSlideshow)
        _TraceLoadSeen();
    const QPoint scroll = _ScrollPos();
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(Qt::white);
    auto outline = [&](const VxRect& rect) {
        painter.drawRect(QRect(rect.left - scroll.x(), rect.top - scroll.y(), rect.Width() - 1, rect.Height() - 1));
    };
    if (HasSelection() && !m_rcSelection.IsEmpty())
        outline(m_rcSelection);
    if (m_nMouseMode == 1 && m_bDragging && !m_rcMoving.IsEmpty())
        outline(m_rcMoving);
    if (m_bTrackLines && m_bTrackReady && m_ptLastTrack.x() != -1) {
        const QSize content = _ContentSize();
        const QPoint p = m_ptLastTrack - scroll;
        const int right = std::min(viewport()->width(), content.width() - scroll.x());
        const int bottom = std::min(viewport()->height(), content.height() - scroll.y());
        if (p.y() < bottom)
            painter.drawLine(0, p.y(), right - 1, p.y());
        if (p.x() < right)
            painter.drawLine(p.x(), 0, p.x(), bottom - 1);
    }
}

bool CAmbrelView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave && m_bTrackLines && m_ptLastTrack.x() != -1) {
        m_ptLastTrack = QPoint(-1, -1);
        _Repaint();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// Image commands ------------------------------------------------------------------------

void CAmbrelView::_UpdateTimingPane()
{
    if (CAmbrelDoc* doc = GetDocument())
        _SetPane(CAmbrelViewStatusBar::kTime, Q(viewgeom::TimingText(doc->ElapsedMilliseconds())));
}

void CAmbrelView::_ImageChanged(bool modified)
{
    CAmbrelDoc* doc = GetDocument();
    if (modified)
        doc->SetModifiedFlag(true);
    UpdateScrollSizes();
    _Repaint();
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxSendMessageToDescendants(main, msg::WM_IMAGE_CHANGED, std::uintptr_t(_Frame()));
}

// Effect commands ---------------------------------------------------------------

bool CAmbrelView::OnCmdMsg(int id)
{
    return m_pEffects->OnCmdMsg(id) || CSView::OnCmdMsg(id);
}

bool CAmbrelView::OnUpdateCmdMsg(CSCmdUI& ui)
{
    return m_pEffects->OnUpdateCmdMsg(ui) || CSView::OnUpdateCmdMsg(ui);
}

CVelvixBuffer* CAmbrelView::EffectRing()
{
    CAmbrelDoc* doc = GetDocument();
    return doc ? &doc->m_Buffer : nullptr;
}

void CAmbrelView::ResetZoom()
{
    _SetZoom(1.0);
    _Repaint();
}

void CAmbrelView::DropSelection()
{
    _DropSelection();
    _Repaint();
}

void CAmbrelView::StartProcessingClock()
{
    if (CAmbrelDoc* doc = GetDocument())
        doc->StartClock();
}

int CAmbrelView::AutoCropTolerance() const
{
    return GeneralSettings.nAutoCropTolerance;
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

void CAmbrelView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_bSlideshow)
        return;
    std::unique_ptr<QMenu> menu(BuildContextMenu());
    menu->exec(event->globalPos());
}

void CAmbrelView::_Undo()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->m_Buffer.HasUndo())
        return;
    CVxWaitCursor wait;
    doc->m_Buffer.Undo();
    _ImageChanged();
}

void CAmbrelView::_Redo()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->m_Buffer.HasRedo())
        return;
    CVxWaitCursor wait;
    doc->m_Buffer.Redo();
    _ImageChanged();
}

void CAmbrelView::_Copy()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->Image().IsValidObject())
        return;
    CVxWaitCursor wait;
    VxRect rect = GetImageSelection();
    if (HasSelection() && !rect.IsEmpty()) {
        CVelvix part;
        if (part.CopyFromRect(doc->Image(), &rect, nullptr, true))
            part.Copy(this);
    } else {
        doc->Image().Copy(this);
    }
}

void CAmbrelView::_Paste()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    CVxWaitCursor wait;
    VxRect rect = GetImageSelection();
    if (HasSelection() && !rect.IsEmpty() && doc->Image().IsValidObject()) {
        CVelvix scratch;
        if (!scratch.Paste(this, nullptr))
            return;
        doc->m_Buffer.MakeCopy();
        if (!doc->Image().CopyFromRect(scratch, nullptr, &rect, true)) {
            doc->m_Buffer.Undo();
            return;
        }
    } else {
        const bool hadImage = doc->Image().IsValidObject();
        doc->m_Buffer.MakeCopy();
        if (!doc->Image().Paste(this, nullptr)) {
            if (hadImage)
                doc->m_Buffer.Undo();
            return;
        }
        m_strLoadError.clear();
        _DropSelection();
    }
    _ImageChanged();
}

void CAmbrelView::_Crop()
{
    CAmbrelDoc* doc = GetDocument();
    const VxRect rect = GetImageSelection();
    if (!doc || rect.IsEmpty())
        return;
    m_dZoom = 1.0;
    _DropSelection();
    doc->StartClock();
    doc->m_Buffer.MakeCopy();
    doc->Image().Crop(rect);
    _UpdateZoomDisplay();
    _ImageChanged();
    _UpdateTimingPane();
}

void CAmbrelView::_SetWallpaper()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    const QString path = doc->GetPathName();
    if (!path.toLower().contains(QLatin1String(".bmp"))) {
        QMessageBox::information(this, AppTitle(),
                                 QStringLiteral("You can only set bitmap files (.BMP extension) as wallpaper"));
        return;
    }
    const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString();
    bool done = false;
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (!gsettings.isEmpty()) {
        done = QProcess::execute(gsettings, {QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                                             QStringLiteral("picture-uri"), uri})
               == 0;
        QProcess::execute(gsettings, {QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                                      QStringLiteral("picture-uri-dark"), uri});
    }
    QMessageBox::information(this, AppTitle(),
                             done ? QStringLiteral("New wallpaper is set...") : QStringLiteral("Could not set wallpaper..."));
}

void CAmbrelView::_QuickOpen()
{
    CQuickFilenameSearchDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.GetText().trimmed();
    if (path.isEmpty())
        return;
    CAmbrelDoc* doc = GetDocument();
    SMCMultiDocTemplate* kind = doc ? doc->GetDocTemplate() : nullptr;
    if (doc && kind && kind->MatchesExtension(path) && QFileInfo(path).isFile() && _CanLeaveImage()) {
        CVxWaitCursor wait;
        doc->SetInitialInfo(nullptr, nullptr);
        if (doc->OnOpenDocument(path)) {
            m_strLoadError.clear();
            doc->SetModifiedFlag(false);
            _ResetForNewPicture();
            _StartPrefetch(1);
            _RestartFolderWatch();
            _UpdateTimingPane();
            _ImageChanged(false);
        }
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(path, QDir::currentPath(), QUrl::AssumeLocalFile));
}

void CAmbrelView::_ShowThumbnails()
{
    CSubFolderAskDialog ask(this);
    const int choice = ask.Ask();
    if (choice < 0)
        return;
    QString folder;
    if (choice == 1) {
        folder = CVxHelper::BrowseForFolder(this, QStringLiteral("Browse for 1"), 0, false);
        if (folder.isEmpty())
            return;
    } else if (CAmbrelDoc* doc = GetDocument()) {
        folder = QFileInfo(doc->GetPathName()).absolutePath();
    }
    QDir::setCurrent(folder);
    if (AmbrelApp())
        AmbrelApp()->GetTemplateManager().OpenNewFrame(QStringLiteral("CThumbnailsFrame"), false);
}

void CAmbrelView::_ShowImageInfo()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc)
        return;
    CImageInfoDlg dialog(doc->GetPathName(), doc->Image(), this);
    dialog.exec();
}

void CAmbrelView::PrintPage(QPaintDevice* device)
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || !doc->Image().IsValidObject())
        return;
    QPainter painter(device);
    const double screenDpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const double factor = device->logicalDpiX() / screenDpi * (m_bAutoScale ? _Scale() : m_dZoom);
    CVelvix& image = doc->Image();
    image.Draw(&painter, std::max(1, int(image.GetWidth() * factor)), std::max(1, int(image.GetHeight() * factor)),
               false);
}

void CAmbrelView::_Print(bool preview)
{
    QPrinter* printer = AmbrelApp() ? AmbrelApp()->GetPrinter() : nullptr;
    std::unique_ptr<QPrinter> own;
    if (!printer) {
        own = std::make_unique<QPrinter>();
        printer = own.get();
    }
    if (CAmbrelDoc* doc = GetDocument())
        printer->setDocName(QFileInfo(doc->GetPathName()).fileName());
    if (preview) {
        QPrintPreviewDialog dialog(printer, this);
        connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { PrintPage(p); });
        dialog.exec();
        return;
    }
    QPrintDialog dialog(printer, this);
    if (dialog.exec() == QDialog::Accepted)
        PrintPage(printer);
}

void CAmbrelView::_SendMail()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || doc->GetPathName().isEmpty())
        return;
    QProcess::startDetached(QStringLiteral("xdg-email"),
                            {QStringLiteral("--attach"), doc->GetPathName(), QStringLiteral("--subject"),
                             QFileInfo(doc->GetPathName()).fileName()});
}

// Slideshow -------------------------------------------------------------------------------

void CAmbrelView::_StartSlideshow()
{
    CAmbrelDoc* doc = GetDocument();
    if (!doc || m_bSlideshow || !_CanLeaveImage())
        return;
    auto* window = new CVxFullScreenWnd(nullptr);
    window->setAttribute(Qt::WA_OpaquePaintEvent);
    window->installEventFilter(this);
    connect(window, &CVxFullScreenWnd::KeyPressed, this,
            [this](int key, Qt::KeyboardModifiers modifiers) { _OnSlideshowKey(key, modifiers); });
    connect(window, &CVxFullScreenWnd::MouseClicked, this, [this](Qt::MouseButton) {
        QTimer::singleShot(0, this, [this] { _StopSlideshow(); });
    });
    m_FullScreenWnd.reset(window);
    window->ShowOnScreenOf(this);
    window->activateWindow();
    window->setFocus();
    m_bSlideshow = true;
    m_Prefetch.Forget();
    if (doc->m_nCurrentFile < 0)
        doc->LocateCurrentFile();
    if (doc->m_nCurrentFile >= 0) {
        LoadCurrentFile(1, false);
    } else if (_FitToSlideshow(doc->Image())) {
        window->update();
    }
}

void CAmbrelView::_StopSlideshow()
{
    if (!m_bSlideshow)
        return;
    m_bSlideshow = false;
    if (m_FullScreenWnd) {
        m_FullScreenWnd->removeEventFilter(this);
        m_FullScreenWnd->hide();
        m_FullScreenWnd.release()->deleteLater();
    }
    m_Prefetch.Forget();
    CAmbrelDoc* doc = GetDocument();
    if (doc && doc->m_nCurrentFile >= 0)
        LoadCurrentFile(1, false);
    if (QWidget* top = window()) {
        top->activateWindow();
        setFocus();
    }
}

void CAmbrelView::_OnSlideshowKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool shift = modifiers & Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_Backspace:
        _Navigate(shift ? &CFileNavigator::PreviousFolder : &CFileNavigator::PreviousFile, false);
        return;
    case Qt::Key_Space:
        _Navigate(shift ? &CFileNavigator::NextFolder : &CFileNavigator::NextFile, false);
        return;
    case Qt::Key_F:
        _Navigate(&CFileNavigator::FirstFile, false);
        return;
    case Qt::Key_L:
        _Navigate(&CFileNavigator::LastFile, false);
        return;
    case Qt::Key_Shift:
        return;
    default:
        QTimer::singleShot(0, this, [this] { _StopSlideshow(); });
    }
}

bool CAmbrelView::eventFilter(QObject* watched, QEvent* event)
{
    if (m_FullScreenWnd && watched == m_FullScreenWnd.get()) {
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter painter(m_FullScreenWnd.get());
            painter.fillRect(m_FullScreenWnd->rect(), Qt::black);
            CAmbrelDoc* doc = GetDocument();
            if (doc && doc->Image().IsValidObject()) {
                CVelvix& image = doc->Image();
                const QSize size = m_FullScreenWnd->size();
                painter.translate((size.width() - image.GetWidth()) / 2, (size.height() - image.GetHeight()) / 2);
                image.Draw(&painter);
            } else if (!m_strLoadError.isEmpty()) {
                painter.setPen(Qt::white);
                painter.drawText(m_FullScreenWnd->rect(), Qt::AlignCenter, m_strLoadError);
            }
            _TraceLoadSeen();
            return true;
        }
        case QEvent::WindowDeactivate:
            if (m_bSlideshow && !QApplication::activeModalWidget())
                QTimer::singleShot(0, this, [this] { _StopSlideshow(); });
            break;
        default:
            break;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}
