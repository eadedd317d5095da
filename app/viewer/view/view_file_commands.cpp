#include "viewer/view/view_file_commands.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

#include "browser/fileops/file_operations.h"
#include "shell/ambrel_app.h"
#include "shell/shell_dialogs.h"
#include "support/doc_template_manager.h"
#include "support/vx_helper.h"
#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/image_info_dialog.h"
#include "viewer/pixel_frame.h"
#include "viewer/view/view_navigation.h"

using namespace viewcmd;

namespace {

QString AppTitle()
{
    return QString::fromLatin1(CAmbrelApp::kAppTitle);
}

bool IsKindRegistered(const char* kind)
{
    return AmbrelApp() && AmbrelApp()->GetTemplateManager().IsDocumentTemplate(QLatin1String(kind));
}

} // namespace

CViewFileCommands::CViewFileCommands(CAmbrelView& view) : CViewPart(view)
{
    OnCommand(ID_SET_WALLPAPER, [this](int) { _SetWallpaper(); });
    OnUpdateCommand(ID_SET_WALLPAPER, [this](CSCmdUI& ui) { ui.Enable(Doc() && Doc()->IsEditMode()); });
    OnCommand(ID_QUICK_OPEN, [this](int) { _QuickOpen(); });
    OnUpdateCommand(ID_QUICK_OPEN, [](CSCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_SHOW_THUMBNAILS, [this](int) { _ShowThumbnails(); });
    OnUpdateCommand(ID_SHOW_THUMBNAILS, [](CSCmdUI& ui) { ui.Enable(IsKindRegistered("CThumbnailsFrame")); });
    OnCommand(ID_FIND_DUPLICATES, [](int) {
        if (AmbrelApp())
            AmbrelApp()->GetTemplateManager().OpenNewFrame(QStringLiteral("CDIFFrame"), true);
    });
    OnUpdateCommand(ID_FIND_DUPLICATES, [](CSCmdUI& ui) { ui.Enable(IsKindRegistered("CDIFFrame")); });
    OnCommand(ID_RENAME_FILE, [this](int) { _RenameFile(); });
    OnCommand(ID_MOVE_FILE, [this](int) { _MoveFile(); });
    OnCommand(ID_COPY_FILE, [this](int) { _CopyFile(); });
    OnCommand(ID_DELETE_FILE, [this](int) { _DeleteFile(); });
    for (int id : {ID_RENAME_FILE, ID_MOVE_FILE, ID_COPY_FILE, ID_DELETE_FILE})
        OnUpdateCommand(id, [this](CSCmdUI& ui) {
            ui.Enable(Doc() && Doc()->IsEditMode() && !Doc()->GetPathName().isEmpty());
        });
    OnCommand(ID_IMAGE_INFO, [this](int) { _ShowImageInfo(); });
    OnUpdateCommand(ID_IMAGE_INFO, [](CSCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_FILE_SEND_MAIL, [this](int) { _SendMail(); });
    OnUpdateCommand(ID_FILE_SEND_MAIL, [this](CSCmdUI& ui) {
        ui.Enable(!QStandardPaths::findExecutable(QStringLiteral("xdg-email")).isEmpty() && Doc()
                  && !Doc()->GetPathName().isEmpty());
    });
}

void CViewFileCommands::_SetWallpaper()
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    const QString path = doc->ShownFilePath();
    if (!path.toLower().contains(QLatin1String(".bmp"))) {
        QMessageBox::information(&m_View, AppTitle(),
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
    QMessageBox::information(&m_View, AppTitle(),
                             done ? QStringLiteral("New wallpaper is set...") : QStringLiteral("Could not set wallpaper..."));
}

void CViewFileCommands::_QuickOpen()
{
    CQuickFilenameSearchDlg dialog(&m_View);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.GetText().trimmed();
    if (path.isEmpty())
        return;
    if (CVxHelper::IsAmbiguousName(path)) {
        CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(path));
        return;
    }
    CAmbrelDoc* doc = Doc();
    SMCMultiDocTemplate* kind = doc ? doc->GetDocTemplate() : nullptr;
    CViewNavigation& navigation = m_View.Navigation();
    if (doc && kind && kind->MatchesExtension(path) && QFileInfo(path).isFile()) {
        // Cancel in the save question stops here: the file is not handed on.
        if (!navigation.CanLeaveImage())
            return;
        CVxWaitCursor wait;
        doc->SetInitialInfo(nullptr, nullptr);
        if (doc->OnOpenDocument(path)) {
            m_View.SetLoadError(QString());
            doc->SetModifiedFlag(false);
            m_View.ResetForNewPicture();
            navigation.StartPrefetch(1);
            navigation.RestartFolderWatch();
            m_View.UpdateTimingPane();
            m_View.ImageChanged(false);
        }
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(path, QDir::currentPath(), QUrl::AssumeLocalFile));
}

void CViewFileCommands::_ShowThumbnails()
{
    CSubFolderAskDialog ask(&m_View);
    const int choice = ask.Ask();
    if (choice < 0)
        return;
    QString folder;
    if (choice == 1) {
        folder = CVxHelper::BrowseForFolder(&m_View, QStringLiteral("Browse for 1"), 0, false);
        if (folder.isEmpty())
            return;
    } else if (CAmbrelDoc* doc = Doc()) {
        folder = QFileInfo(doc->GetPathName()).absolutePath();
    }
    // The new window keeps the folder as its own.
    if (AmbrelApp())
        AmbrelApp()->GetTemplateManager().OpenNewFrame(QStringLiteral("CThumbnailsFrame"), false, folder);
}

void CViewFileCommands::_ShowImageInfo()
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    CImageInfoDlg dialog(doc->ShownFilePath(), doc->Image(), &m_View);
    dialog.exec();
}

void CViewFileCommands::_SendMail()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || doc->GetPathName().isEmpty())
        return;
    const QString path = doc->ShownFilePath();
    QProcess::startDetached(QStringLiteral("xdg-email"), {QStringLiteral("--attach"), path, QStringLiteral("--subject"),
                                                          QFileInfo(path).fileName()});
}

void CViewFileCommands::_RenameFile()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->IsEditMode())
        return;
    const QString old = doc->ShownFilePath();
    const QString renamed = RenameFile(old, false);
    if (renamed.isEmpty())
        return;
    CSortableStringArray& files = doc->ActiveList().files;
    const int current = doc->m_nCurrentFile;
    if (current >= 0 && current < files.GetSize() && files[current] == old.toStdString())
        files[current] = renamed.toStdString();
    doc->SetPathName(renamed, true);
    m_View.Navigation().UpdatePositionDisplay();
}

void CViewFileCommands::_CopyFile()
{
    if (CAmbrelDoc* doc = Doc(); doc && doc->IsEditMode())
        CopyFileTo(doc->ShownFilePath());
}

void CViewFileCommands::_MoveFile()
{
    CAmbrelDoc* doc = Doc();
    // Changes not saved first would be lost with the next file.
    if (!doc || !doc->IsEditMode() || !m_View.Navigation().CanLeaveImage())
        return;
    const QString path = doc->ShownFilePath();
    if (MoveFileTo(path) == 1)
        _ShowNextAfterRemoval(path);
}

void CViewFileCommands::_DeleteFile()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->IsEditMode())
        return;
    const QString path = doc->ShownFilePath();
    if (DeleteFileAsk(path))
        _ShowNextAfterRemoval(path);
}

void CViewFileCommands::_ShowNextAfterRemoval(const QString& removed)
{
    CAmbrelDoc* doc = Doc();
    CSortableStringArray& files = doc->ActiveList().files;
    const std::string gone = removed.toStdString();
    // The entry that followed the removed one takes its index.
    const int current = doc->m_nCurrentFile;
    int index = current;
    CSortableStringArray rest;
    for (int i = 0; i < files.GetSize(); ++i) {
        if (files[i] != gone)
            rest.Add(files[i]);
        else if (current < 0 && index < 0)
            index = i;
        else if (i < current)
            --index;
    }
    files = rest;
    doc->SetModifiedFlag(false);
    if (files.GetSize() == 0) {
        if (CPixelFrame* frame = m_View.Frame())
            frame->PostCloseFrame();
        return;
    }
    doc->m_nCurrentFile = std::clamp(index, 0, files.GetSize() - 1);
    m_View.Navigation().LoadCurrentFile(1, true);
    m_View.Navigation().UpdatePositionDisplay();
}
