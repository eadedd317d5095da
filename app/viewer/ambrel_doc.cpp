#include "viewer/ambrel_doc.h"

#include <cerrno>
#include <cstring>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "settings/general_settings.h"
#include "support/vx_helper.h"
#include "viewer/ambrel_view.h"
#include "viewer/crash_guard.h"
#include "viewer/view/view_navigation.h"

namespace {

const char* const kImageFilter = "Image files (*.jpg *.jpeg *.bmp *.gif *.png)";

QWidget* DialogParent()
{
    return QApplication::activeWindow();
}

// A name that may stand for another file is given back unasked, to be
// refused: the dialog's "replace it?" would ask about that other file.
class CSaveAsDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && CVxHelper::IsAmbiguousName(chosen.first()))
            QDialog::accept();
        else
            QFileDialog::accept();
    }
};

} // namespace

const char* const CAmbrelDoc::kNewPictureShortOfMemory =
    "The new picture could not be opened in a window: there is not enough memory.";

std::function<void(const QString&)> CAmbrelDoc::s_pfnReportError = [](const QString& text) {
    QMessageBox::warning(DialogParent(), QApplication::applicationName(), text);
};

std::function<int(const QString&)> CAmbrelDoc::s_pfnAskSaveChanges = [](const QString& name) {
    return int(QMessageBox::question(DialogParent(), QApplication::applicationName(),
                                     QStringLiteral("Save changes to %1?").arg(name),
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes));
};

CAmbrelDoc::CAmbrelDoc() : m_Buffer(GeneralSettings.bSlowComputer ? 6 : 21)
{
    StartClock();
    OnCommand(57603, [this](int) { DoFileSave(); });
    OnCommand(57604, [this](int) { DoSaveAs(); });
    OnUpdateCommand(57603, [this](CSCmdUI& ui) { ui.Enable(Image().IsValidObject()); });
    OnUpdateCommand(57604, [this](CSCmdUI& ui) { ui.Enable(Image().IsValidObject()); });
}

CAmbrelDoc::~CAmbrelDoc() = default;

long CAmbrelDoc::ElapsedMilliseconds() const
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_nLoadStart)
                    .count());
}

void CAmbrelDoc::SetPathName(const QString& path, bool addToRecentFiles)
{
    CSDocument::SetPathName(path, addToRecentFiles);
    // A folder opened as a whole keeps its name as the document's, but the
    // list goes on from the picture shown (its first file), or a re-list
    // would lose the position.
    if (!path.endsWith(QLatin1Char('/')))
        m_strListPathName = path.toStdString();
}

QString CAmbrelDoc::ShownFilePath() const
{
    const QString path = GetPathName();
    return path.endsWith(QLatin1Char('/')) ? QString::fromStdString(m_strListPathName) : path;
}

bool CAmbrelDoc::ReadGuarded(CVelvix& image, const std::string& path, int index)
{
    CCrashGuard guard(path, index);
    return image.ReadImage(nullptr, path.c_str()) == 1;
}

bool CAmbrelDoc::OnNewDocument()
{
    if (!CSDocument::OnNewDocument())
        return false;
    auto* image = static_cast<CVelvix*>(GetInitialInfo());
    if (!image || !image->IsValidObject())
        return false;
    StartClock();
    Image() = *image;
    // The copy failed: no window rather than an empty one, and the source's
    // dialog stays for another try.
    if (!Image().IsValidObject()) {
        s_pfnReportError(QString::fromLatin1(kNewPictureShortOfMemory));
        return false;
    }
    m_bCreatedFromImage = true;
    SetModifiedFlag(true);
    SetEditMode(false);
    return true;
}

bool CAmbrelDoc::OnOpenDocument(const QString& path)
{
    const bool folder = path.endsWith(QLatin1Char('/'));
    StartClock();

    if (auto* image = static_cast<CVelvix*>(GetInitialInfo()); image && image->IsValidObject()) {
        m_Buffer.Reset();
        Image() = *image;
    } else if (folder) {
        m_FileLists[kListAll].title = "All";
        SelectFileList(kListSubFolders, path.toStdString());
        m_nCurrentFile = 0;
        if (GetFileCount() == 0)
            return false;
        const std::string first = GetFilePath(0);
        CVelvix picture;
        if (!ReadGuarded(picture, first, 1)) {
            s_pfnReportError(QStringLiteral("Could not read the image file:\n%1").arg(QString::fromStdString(first)));
            return false;
        }
        m_Buffer.Reset();
        Image().Swap(picture);
        SetPathName(QString::fromStdString(first), true);
        SetEditMode(true);
        return true;
    } else {
        // Into a scratch picture first: a failure leaves the window's picture
        // (and its history) as it was.
        CVelvix picture;
        if (!ReadGuarded(picture, path.toStdString(), 0)) {  // not yet in a list
            s_pfnReportError(QStringLiteral("Could not read the image file:\n%1").arg(path));
            return false;
        }
        m_Buffer.Reset();
        Image().Swap(picture);
    }
    // Only now: a failed open leaves the window's file, title and list as
    // they were.
    SetPathName(path, true);
    m_FileLists[kListAll].title = "All";

    auto* group = static_cast<const CGroupStruct*>(GetInitialInfoEx());
    if (group && GeneralSettings.bBrowseGroupOnly) {
        SetGroupList(*group);
        m_nActiveList = kListGroup;
        LocateCurrentFile();
    } else {
        m_nActiveList = kListAll;
        BuildFileList(path.toStdString(), false);
    }
    SetEditMode(true);
    return true;
}

bool CAmbrelDoc::OnSaveDocument(const QString& path)
{
    errno = 0;
    if (Image().SaveImage(path.toLocal8Bit().constData()) != 1) {
        const int cause = errno;
        QString text = QStringLiteral("Could not save the image to:\n%1").arg(path);
        // The picture goes where the link leads: a link into a folder that
        // is gone, or a loop, is named as the reason.
        QString end = path;
        for (int hop = 0; hop < 40 && QFileInfo(end).isSymLink(); ++hop)
            end = QFileInfo(end).symLinkTarget();
        if (end != path)
            text += QStringLiteral("\nThe symbolic link leads to:\n%1").arg(end) +
                    (cause ? QStringLiteral("\n(%1)").arg(QString::fromLocal8Bit(std::strerror(cause))) : QString());
        s_pfnReportError(text);
        return false;
    }
    SetModifiedFlag(false);
    SetEditMode(true);
    return true;
}

bool CAmbrelDoc::DoSaveAs()
{
    QString start = GetPathName();
    if (start.isEmpty())
        start = QStringLiteral("ambrel.jpg");
    CSaveAsDialog dialog(DialogParent(), QStringLiteral("Save As"), start, QString::fromLatin1(kImageFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString path = dialog.selectedFiles().value(0);
    if (path.isEmpty())
        return false;
    if (CVxHelper::IsAmbiguousName(path)) {
        s_pfnReportError(CVxHelper::AmbiguousNameMessage(path));
        return false;
    }
    if (!OnSaveDocument(path))
        return false;
    SetPathName(path, true);
    m_bCreatedFromImage = false;
    return true;
}

bool CAmbrelDoc::DoFileSave()
{
    if (GetPathName().isEmpty() || m_bCreatedFromImage || !IsEditMode())
        return DoSaveAs();
    return OnSaveDocument(ShownFilePath());
}

bool CAmbrelDoc::CanCloseFrame(CSMDIChildWnd* frame)
{
    // A running effect works on the picture until it ends (the window
    // manager's close still reaches the program while it runs).
    bool running = false;
    for (CSView* view : GetViews())
        if (auto* image = dynamic_cast<CAmbrelView*>(view))
            running = running || image->EffectCommands().IsRunning();
    if (!running && CSDocument::CanCloseFrame(frame))
        return true;
    // The views let go of their folder for the close; the window stays.
    for (CSView* view : GetViews())
        if (auto* image = dynamic_cast<CAmbrelView*>(view))
            image->Navigation().RestartFolderWatch();
    return false;
}

bool CAmbrelDoc::SaveModified()
{
    if (!IsModified())
        return true;
    // The question names the file the answer saves, not a folder opened as a whole.
    const bool folder = GetPathName().endsWith(QLatin1Char('/'));
    const QString name = GetTitle().isEmpty() || folder ? QFileInfo(ShownFilePath()).fileName() : GetTitle();
    const int answer = s_pfnAskSaveChanges(name);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return DoFileSave();
    return true;
}
