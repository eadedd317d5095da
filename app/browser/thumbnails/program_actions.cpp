#include "browser/thumbnails/program_actions.h"

#include <QMessageBox>

#include <memory>

#include "browser/fileops/batch_state.h"
#include "browser/fileops/file_op_asker.h"
#include "browser/fileops/file_operations.h"
#include "browser/thumbnails/browser_actions.h"
#include "shell/ambrel_app.h"
#include "support/mdi_frames.h"

namespace {

class CProgramBrowserActions : public CBrowserActions {
public:
    bool Ask(const QString& text, const QString& caption, bool stopIcon, bool defaultNo) override
    {
        QMessageBox box(stopIcon ? QMessageBox::Critical : QMessageBox::Information, caption, text,
                        QMessageBox::Yes | QMessageBox::No, CSMDIFrameWnd::GetMainFrame());
        box.setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }
    void Tell(const QString& text) override
    {
        FileOpAsker().Tell(text, QString::fromLatin1(CAmbrelApp::kAppTitle), false);
    }
    bool EditName(QString& name) override
    {
        const std::optional<QString> edited = FileOpAsker().AskName(name);
        if (!edited)
            return false;
        name = *edited;
        return true;
    }
    QString AskDestination(const QString& caption) override
    {
        return FileOpAsker().AskDestination(caption).value_or(QString());
    }
    std::string RenameFile(const std::string& path, bool retry) override
    {
        return ::RenameFile(QString::fromStdString(path), retry).toStdString();
    }
    bool DeleteFileAsk(const std::string& path) override { return ::DeleteFileAsk(QString::fromStdString(path)); }
    int MoveFileTo(const std::string& path) override { return ::MoveFileTo(QString::fromStdString(path)); }
    int CopyFileTo(const std::string& path) override { return ::CopyFileTo(QString::fromStdString(path)); }
    bool MoveFileChecked(const std::string& source, const std::string& target) override
    {
        return ::MoveFileChecked(QString::fromStdString(source), QString::fromStdString(target));
    }
    bool CopyFileChecked(const std::string& source, const std::string& target) override
    {
        return ::CopyFileChecked(QString::fromStdString(source), QString::fromStdString(target));
    }
    // Within the group's batch: no question, and into the trash when the
    // user chose so (one undo step for the group).
    bool DeleteFile(const std::string& path) override { return ::DeleteFileAsk(QString::fromStdString(path)); }
    void SetBatch(bool on) override
    {
        if (on)
            m_pBatch = std::make_unique<CBatchFileOperation>();
        else
            m_pBatch.reset();
    }

private:
    std::unique_ptr<CBatchFileOperation> m_pBatch;
};

} // namespace

CBrowserActions* ProgramBrowserActions()
{
    static CProgramBrowserActions actions;
    return &actions;
}
