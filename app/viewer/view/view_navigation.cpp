#include "viewer/view/view_navigation.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

#include "settings/general_settings.h"
#include "shell/messages.h"
#include "shell/shell_dialogs.h"
#include "support/mdi_frames.h"
#include "support/message_event.h"
#include "support/vx_helper.h"
#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/pixel_frame.h"
#include "viewer/view/view_slideshow.h"
#include "viewer/view_geometry.h"
#include "viewer/view_status_bar.h"
#include "viewer/viewer_trace.h"

using namespace viewcmd;

CViewNavigation::CViewNavigation(CAmbrelView& view) : CViewPart(view)
{
    m_RetryRefresh.setSingleShot(true);
    m_RetryRefresh.setInterval(100);
    QObject::connect(&m_RetryRefresh, &QTimer::timeout, &m_View, [this] {
        if (m_View.m_bRefreshDue)
            RefreshFolder();
    });
    auto inEditMode = [this](CSCmdUI& ui) { ui.Enable(Doc() && Doc()->IsEditMode()); };
    OnCommand(ID_NEXT_FILE, [this](int) { Navigate(&CFileNavigator::NextFile); });
    OnCommand(ID_PREVIOUS_FILE, [this](int) { Navigate(&CFileNavigator::PreviousFile); });
    OnCommand(ID_NEXT_FOLDER, [this](int) { Navigate(&CFileNavigator::NextFolder); });
    OnCommand(ID_PREVIOUS_FOLDER, [this](int) { Navigate(&CFileNavigator::PreviousFolder); });
    OnCommand(ID_FIRST_FILE, [this](int) { Navigate(&CFileNavigator::FirstFile); });
    OnCommand(ID_LAST_FILE, [this](int) { Navigate(&CFileNavigator::LastFile); });
    OnCommand(ID_REFRESH_FOLDER, [this](int) { RefreshFolder(); });
    for (int id : {ID_NEXT_FILE, ID_PREVIOUS_FILE, ID_NEXT_FOLDER, ID_PREVIOUS_FOLDER, ID_FIRST_FILE, ID_LAST_FILE,
                   ID_REFRESH_FOLDER})
        OnUpdateCommand(id, inEditMode);
    OnCommand(ID_GROUP_ALL, [this](int id) { _SelectList(id); });
    OnCommand(ID_GROUP_GROUP, [this](int id) { _SelectList(id); });
    OnCommand(ID_GROUP_RECURSE, [this](int id) { _SelectList(id); });
}

bool CViewNavigation::CanLeaveImage()
{
    CAmbrelDoc* doc = Doc();
    return doc && doc->SaveModified();
}

void CViewNavigation::Navigate(CNavigationStep (CFileNavigator::*step)(), bool needsPrompt)
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->IsEditMode())
        return;
    const bool firstOrLast = step == &CFileNavigator::FirstFile || step == &CFileNavigator::LastFile;
    if (doc->GetFileCount() < (firstOrLast ? 1 : 2))
        return;
    if (needsPrompt && !CanLeaveImage())
        return;
    const bool slideshow = m_View.IsSlideshow();
    QWidget* parent = slideshow ? m_View.m_FullScreenWnd.get() : &m_View;
    CFileNavigator navigator(*doc, slideshow, [parent](bool atEnd) {
        return CAmbrelView::s_pfnAskYesNo(
            parent, QStringLiteral("Loop files"),
            atEnd ? QStringLiteral("You have reached to the end of the files... Would you like to "
                                   "load the first file ?")
                  : QStringLiteral("You have reached to the beginning of the files... Would you "
                                   "like to load the last file ?"));
    });
    const CNavigationStep result = (navigator.*step)();
    _RunStep(result, !firstOrLast);
}

void CViewNavigation::_RunStep(const CNavigationStep& step, bool usePrefetch)
{
    if (step.kind == CNavigationStep::Beep)
        CAmbrelView::s_pfnBeep();
    if (step.kind == CNavigationStep::Load)
        LoadCurrentFile(step.direction, usePrefetch);
}

void CViewNavigation::LoadCurrentFile(int direction, bool usePrefetch)
{
    CAmbrelDoc* doc = Doc();
    if (!doc || doc->m_nCurrentFile < 0 || doc->m_nCurrentFile >= doc->GetFileCount())
        return;
    doc->StartClock();
    doc->m_Buffer.Reset();
    CVxWaitCursor wait;
    CImagePrefetch& prefetch = m_View.m_Prefetch;
    prefetch.Join();

    const int current = doc->m_nCurrentFile;
    const std::string path = doc->GetFilePath(current);
    const QString name = QString::fromStdString(path);
    bool loaded = usePrefetch && prefetch.TakeIfReady(current, path, doc->Image());
    if (!loaded) {
        // The neighbour prefetched is of no use for this entry: free it first.
        prefetch.Forget();
        loaded = CAmbrelDoc::ReadGuarded(doc->Image(), path, current + 1);
        if (loaded && m_View.IsSlideshow())
            m_View.Slideshow().Fit(doc->Image());
    }
    m_View.MarkLoadUnseen();
    m_View.SetLoadError(loaded ? QString()
                               : QStringLiteral("%1\ncould not be read as an image.").arg(QFileInfo(name).fileName()));
    if (!usePrefetch && current == doc->GetFileCount() - 1)
        direction = -1;
    else if (!usePrefetch)
        direction = 1;
    StartPrefetch(direction);

    m_View.ResetForNewPicture();
    const QString oldFolder = QFileInfo(doc->GetPathName()).absolutePath();
    doc->SetPathName(name, false);
    doc->SetModifiedFlag(false);
    if (QFileInfo(name).absolutePath() != oldFolder)
        RestartFolderWatch();
    if (m_View.IsSlideshow() && m_View.m_FullScreenWnd)
        m_View.m_FullScreenWnd->update();
    else
        m_View.Repaint();
    m_View.UpdateTimingPane();
    m_View.NotifyBars();
}

void CViewNavigation::StartPrefetch(int direction)
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    const int target = CFileNavigator::PrefetchTarget(doc->m_nCurrentFile, doc->GetFileCount(), direction);
    if (target < 0)
        return;
    const std::string path = doc->GetFilePath(target);
    QSize fit;
    if (m_View.IsSlideshow() && m_View.m_FullScreenWnd)
        fit = m_View.m_FullScreenWnd->size();
    const bool noEnlarge = GeneralSettings.bNoEnlargeInSlideshow != 0;
    m_View.m_Prefetch.Start(target, path, [fit, noEnlarge](CVelvix& image, const std::string& file, int index) {
        const bool read = CAmbrelDoc::ReadGuarded(image, file, index + 1);
        vxtrace::Log("prefetched", QString::fromStdString(file));
        if (!read)
            return false;
        if (fit.isValid())
            CViewSlideshow::FitInto(image, fit, noEnlarge);
        return true;
    });
}

void CViewNavigation::UpdatePositionDisplay()
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    m_View.SetPane(CAmbrelViewStatusBar::kPosition, QString::fromStdString(doc->PositionText()));
    if (CAmbrelViewStatusBar* bar = m_View.StatusBar()) {
        QSlider* slider = bar->GetSlider();
        QSignalBlocker block(slider);
        slider->setRange(1, std::max(1, doc->GetFileCount()));
        slider->setValue(doc->m_nCurrentFile + 1);
    }
}

void CViewNavigation::OnSliderReleased(int position)
{
    CAmbrelDoc* doc = Doc();
    if (!doc || doc->GetFileCount() <= 1)
        return;
    // An edited picture is not dropped without the save question; Cancel
    // puts the thumb back on the picture shown.
    if (!CanLeaveImage()) {
        UpdatePositionDisplay();
        return;
    }
    CFileNavigator navigator(*doc, m_View.IsSlideshow(), nullptr);
    _RunStep(navigator.SliderPosition(position), false);
    UpdatePositionDisplay();
}

void CViewNavigation::RefreshFolder()
{
    CAmbrelDoc* doc = Doc();
    CPixelFrame* frame = m_View.Frame();
    if (!doc || !frame)
        return;
    CSMDIFrameWnd* main = frame->GetMDIFrame();
    if (main && main->MDIGetActive() != frame) {
        m_View.m_bRefreshDue = true;
        return;
    }
    const bool effectRuns = m_View.EffectCommands().IsRunning();
    if (!effectRuns && m_bAsking) {
        // A change while the save question is open: looked at once it is answered.
        m_View.m_bRefreshDue = true;
        return;
    }
    if (effectRuns || QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        // The list may empty and close the window under the running effect,
        // or under a question or menu a command of the window waits on (some
        // are the view's children). One retry waits, however many changes come.
        m_View.m_bRefreshDue = true;
        if (!m_RetryRefresh.isActive())
            m_RetryRefresh.start();
        return;
    }
    m_View.m_bRefreshDue = false;
    {
        CVxWaitCursor wait;
        doc->RefreshFileList();
    }
    if (doc->GetFileCount() == 0 && _KeepsEmptiedWindow(*doc)) {
        UpdatePositionDisplay();
        return;
    }
    if (doc->GetFileCount() == 0) {
        doc->SetModifiedFlag(false);
        frame->PostCloseFrame();
    }
    UpdatePositionDisplay();
    if (m_View.m_bRefreshDue)
        QTimer::singleShot(0, &m_View, [this] {
            if (m_View.m_bRefreshDue)
                RefreshFolder();
        });
}

// The folder of an edited picture emptied: the user decides first. Yes saves
// it (back into the folder, which then lists it), No lets the window close,
// Cancel keeps the window and the picture.
bool CViewNavigation::_KeepsEmptiedWindow(CAmbrelDoc& doc)
{
    if (!doc.IsModified())
        return false;
    m_bAsking = true;
    const bool leave = CanLeaveImage();
    m_bAsking = false;
    if (!leave)
        return true;
    if (doc.IsModified())
        return false;  // No: the edit is dropped with the window
    CVxWaitCursor wait;
    doc.RefreshFileList();
    return doc.GetFileCount() > 0;
}

void CViewNavigation::RestartFolderWatch()
{
    CAmbrelDoc* doc = Doc();
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
    CFileChangeWatcher& watcher = m_View.m_Watcher;
    if (watcher.IsWatching() && watcher.GetPath() == folder && watcher.IsWatchingSubtree() == subtree)
        return;
    watcher.StopWatch();
    watcher.StartWatch(folder, &m_View, msg::WM_FOLDER_CHANGED, subtree);
}

void CViewNavigation::_SelectList(int id)
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    std::string folder;
    int list = CImageFileLists::kListAll;
    if (id == ID_GROUP_GROUP) {
        if (!doc->m_FileLists[CImageFileLists::kListGroup].built)
            return;
        list = CImageFileLists::kListGroup;
    } else if (id == ID_GROUP_RECURSE) {
        CSubFolderAskDialog ask(&m_View);
        const int choice = ask.Ask();
        if (choice < 0)
            return;
        QString chosen;
        if (choice == 1) {
            chosen = CVxHelper::BrowseForFolder(&m_View, QStringLiteral("Browse for 1"), 0, true);
            if (chosen.isEmpty())
                return;
        } else if (doc->GetPathName().isEmpty()) {
            // A picture without a file (scanned, pasted) has no folder of its
            // own: the current directory, which its "All" list shows too. Its
            // empty path would name the root folder, the whole disk.
            chosen = QDir::currentPath();
            if (CVxHelper::IsAmbiguousName(chosen)) {
                CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(chosen));
                return;
            }
        } else {
            chosen = QFileInfo(doc->GetPathName()).absolutePath() + QLatin1Char('/');
        }
        if (!chosen.endsWith(QLatin1Char('/')))
            chosen += QLatin1Char('/');
        folder = chosen.toStdString();
        list = CImageFileLists::kListSubFolders;
    }
    if (!CanLeaveImage())
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
    m_View.m_Watcher.StopWatch();
    RestartFolderWatch();
}

void CViewNavigation::ShowGroupMenu()
{
    CAmbrelDoc* doc = Doc();
    CAmbrelViewStatusBar* bar = m_View.StatusBar();
    if (!doc || !bar)
        return;
    QMenu menu(QStringLiteral("Group Selection"), &m_View);
    auto add = [&](const QString& text, int id, int list) {
        QAction* action = menu.addAction(text, &m_View, [this, id] { m_View.OnCmdMsg(id); });
        action->setCheckable(true);
        action->setChecked(doc->m_nActiveList == list);
    };
    add(QStringLiteral("All"), ID_GROUP_ALL, CImageFileLists::kListAll);
    add(QStringLiteral("(Recurse Subdirectories)"), ID_GROUP_RECURSE, CImageFileLists::kListSubFolders);
    if (doc->m_FileLists[CImageFileLists::kListGroup].built)
        add(QStringLiteral("Group: ") + QString::fromStdString(doc->m_FileLists[CImageFileLists::kListGroup].title),
            ID_GROUP_GROUP, CImageFileLists::kListGroup);
    QToolButton* button = bar->GetButton(CAmbrelViewStatusBar::kGroupButtonId);
    menu.exec(button->mapToGlobal(QPoint(0, button->height())));
}
