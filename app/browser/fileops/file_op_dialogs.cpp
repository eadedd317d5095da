// The program's answers to the file operations' questions: the dialogs.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "confirm_overwrite_dialog.h"
#include "file_op_asker.h"
#include "move_copy_dialog.h"
#include "rename_dialog.h"
#include "shell/ambrel_app.h"

namespace {

// Messages belong to the main window, as the program's other questions do.
QWidget* Owner()
{
    if (CAmbrelApp* app = AmbrelApp(); app && app->GetMainFrame())
        return app->GetMainFrame();
    return QApplication::activeWindow();
}

class CFileOpDialogs : public CFileOpAsker {
public:
    std::optional<QString> AskName(const QString& name) override
    {
        CRenameDialog dialog(name, Owner());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.GetName();
    }

    bool AskYesNo(const QString& text, const QString& caption) override
    {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Yes | QMessageBox::No, Owner());
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    int AskOverwrite(const QString& source, const QString& target) override
    {
        CConfirmOverwriteDialog dialog(source, target, Owner());
        return dialog.exec();
    }

    std::optional<QString> AskDestination(const QString& caption) override
    {
        CMoveCopyDialog dialog(caption, Owner());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.GetFolder();
    }

    void Tell(const QString& text, const QString& caption, bool information) override
    {
        QMessageBox box(information ? QMessageBox::Information : QMessageBox::Warning, caption, text, QMessageBox::Ok,
                        Owner());
        box.exec();
    }

    bool TellGoOn(const QString& text, const QString& caption) override
    {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, Owner());
        QPushButton* stop = box.addButton(QObject::tr("&Stop"), QMessageBox::RejectRole);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(stop);
        box.exec();
        return box.clickedButton() != stop;
    }
};

CFileOpAsker* g_pAsker = nullptr;

} // namespace

CFileOpAsker& FileOpAsker()
{
    static CFileOpDialogs dialogs;
    return g_pAsker ? *g_pAsker : dialogs;
}

void SetFileOpAsker(CFileOpAsker* asker)
{
    g_pAsker = asker;
}
