#include <QMessageBox>

#include "image/velvix.h"
#include "shell/main_frame.h"

namespace {

void TwainMessage(QWidget* parent, const char* text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QStringLiteral("Twain"), QString::fromLatin1(text), QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

void CMainFrame::OnSelectSource()
{
    if (!CVelvix_Twain::IsTwainOpen() && !CVelvix_Twain::OpenTwain(this)) {
        TwainMessage(this, "Twain not present...", QMessageBox::Information);
        return;
    }
    if (!CVelvix_Twain::SelectSource())
        TwainMessage(this, "Source not selected...", QMessageBox::NoIcon);
}

// The picture arrives later as an image message. A failure is told rather
// than ignored: with no scanner the command would otherwise do nothing.
void CMainFrame::OnAcquire()
{
    if (!CVelvix_Twain::IsTwainOpen() && !CVelvix_Twain::OpenTwain(this)) {
        TwainMessage(this, "Twain not present...", QMessageBox::Information);
        return;
    }
    if (!CVelvix_Twain::Acquire(-1))
        TwainMessage(this, "Source not selected...", QMessageBox::NoIcon);
}
