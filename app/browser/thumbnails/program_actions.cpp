#include "browser/thumbnails/program_actions.h"

#include <QMessageBox>

#include <memory>

#include "browser/fileops/batch_state.h"
#include "browser/fileops/file_op_asker.h"
#include "browser/fileops/file_operations.h"
#include "browser/fileops/native_path.h"
#include "browser/thumbnails/browser_actions.h"
#include "shell/ambrel_app.h"
#include "support/mdi_frames.h"

namespace {

// The program's operations take paths as text; a file whose name cannot be
// text is left alone and the operation reported as failed.
bool Representable(const std::string& path, QString& text)
{
    text = FromNativePath(path);
    return SurvivesAsText(path);
}

bool Refuse(const char* failure)
{
    FileOpAsker().Tell(QString::fromLatin1(failure), QString::fromLatin1(CAmbrelApp::kAppTitle), false);
    return false;
}

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
        QString from;
        if (!Representable(path, from)) {
            Refuse(fileops_text::kRenameFailed);
            return std::string();
        }
        return NativePath(::RenameFile(from, retry));
    }
    bool DeleteFileAsk(const std::string& path) override
    {
        QString text;
        return Representable(path, text) ? ::DeleteFileAsk(text) : Refuse(fileops_text::kDeleteFailed);
    }
    int MoveFileTo(const std::string& path) override
    {
        QString text;
        return Representable(path, text) ? ::MoveFileTo(text) : Refuse(fileops_text::kMoveFailed);
    }
    int CopyFileTo(const std::string& path) override
    {
        QString text;
        return Representable(path, text) ? ::CopyFileTo(text) : Refuse(fileops_text::kCopyFailed);
    }
    bool MoveFileChecked(const std::string& source, const std::string& target) override
    {
        QString from, to;
        if (!Representable(source, from) || !Representable(target, to))
            return Refuse(fileops_text::kMoveFailed);
        return ::MoveFileChecked(from, to);
    }
    bool CopyFileChecked(const std::string& source, const std::string& target) override
    {
        QString from, to;
        if (!Representable(source, from) || !Representable(target, to))
            return Refuse(fileops_text::kCopyFailed);
        return ::CopyFileChecked(from, to);
    }
    // Within the group's batch: no question, and into the trash when the
    // user chose so (one undo step for the group).
    bool DeleteFile(const std::string& path) override { return DeleteFileAsk(path); }
    void SetBatch(bool on) override
    {
        if (on)
            m_pBatch = std::make_unique<CBatchFileOperation>();
        else
            m_pBatch.reset();
    }
    bool BatchCancelled() const override { return m_pBatch && CBatchFileOperation::s_bCancelled; }

private:
    std::unique_ptr<CBatchFileOperation> m_pBatch;
};

} // namespace

CBrowserActions* ProgramBrowserActions()
{
    static CProgramBrowserActions actions;
    return &actions;
}
