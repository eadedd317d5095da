// What the image window hands to the desktop and the printer: the printed
// page at the picture's size on the screen, the mail program with the file
// attached, the wallpaper through the desktop settings, and quick open.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>

#include <fstream>

#include "program_fixture.h"
#include "shell/command_ids.h"
#include "shell/shell_dialogs.h"

namespace {

using vxtest::ProcessEvents;
using vxtest::WhenShown;

// Puts a program of the given name first on PATH for the test: a shell
// script that appends its arguments to a log, one per line, and ends with
// `status`.
class FakeTool {
public:
    FakeTool(const vxtest::TempDir& dir, const std::string& name, int status)
        : m_log(dir.File(name + std::to_string(status) + ".log")), m_oldPath(qgetenv("PATH"))
    {
        const std::string bin = dir.File("bin" + std::to_string(status));
        QDir().mkpath(QString::fromStdString(bin));
        const std::string path = bin + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done >> '" << m_log << "'\nexit " << status
                            << "\n";
        QFile::setPermissions(QString::fromStdString(path), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", QByteArray::fromStdString(bin) + ':' + m_oldPath);
    }
    ~FakeTool() { qputenv("PATH", m_oldPath); }

    // The arguments of every call so far, once there was one (waits a
    // little for programs started in the background).
    QStringList Arguments() const
    {
        QFile log(QString::fromStdString(m_log));
        for (int i = 0; i < 100 && !log.exists(); ++i)
            QThread::msleep(50);
        QThread::msleep(50);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    std::string m_log;
    QByteArray m_oldPath;
};

// The text of the next message box, which is then closed.
class MessageCatcher {
public:
    MessageCatcher()
    {
        WhenShown<QMessageBox>([this](QMessageBox* box) {
            text = box->text();
            box->accept();
        });
    }
    QString text;
};

class ViewerPlatform : public vxtest::ProgramTest {};

} // namespace

TEST_F(ViewerPlatform, ThePrintedPageShowsThePictureAtItsSizeOnTheScreen)
{
    auto window = Open("red.png", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(window.doc, nullptr);
    // A page of twice the screen's resolution: every screen pixel is 2 x 2 dots.
    const double screenDpi = window.view->logicalDpiX();
    QImage page(200, 150, QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(int(std::lround(2 * screenDpi / 0.0254)));
    page.setDotsPerMeterY(int(std::lround(2 * screenDpi / 0.0254)));
    window.view->PrintPage(&page);
    int red = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            red += page.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_EQ(red, 40 * 32);
    EXPECT_EQ(page.pixel(39, 31), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(40, 0), qRgb(255, 255, 255));
}

TEST_F(ViewerPlatform, PrintGoesToTheProgramsPrinter)
{
    auto window = Open("red.png", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(window.doc, nullptr);
    const QString pdf = QString::fromStdString(m_dir.File("page.pdf"));
    m_app->GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
    m_app->GetPrinter()->setOutputFileName(pdf);
    WhenShown<QPrintDialog>([](QPrintDialog* dialog) { dialog->accept(); });
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_FILE_PRINT));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    EXPECT_EQ(m_app->GetPrinter()->docName(), QStringLiteral("red.png"));
}

TEST_F(ViewerPlatform, SendingByEmailAttachesTheFile)
{
    FakeTool mailer(m_dir, "xdg-email", 0);
    auto window = Open("red.png", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(window.doc, nullptr);
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_FILE_SEND_MAIL));
    const QStringList arguments = mailer.Arguments();
    const int attach = int(arguments.indexOf(QStringLiteral("--attach")));
    ASSERT_GE(attach, 0) << arguments.join(QLatin1Char(' ')).toStdString();
    ASSERT_LT(attach + 1, arguments.size());
    EXPECT_EQ(arguments[attach + 1], QString::fromStdString(m_dir.File("red.png")));
}

TEST_F(ViewerPlatform, OnlyBitmapsBecomeTheWallpaper)
{
    auto png = Open("red.png", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(png.doc, nullptr);
    {
        MessageCatcher message;
        ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_SET_WALLPAPER));
        EXPECT_EQ(message.text, QStringLiteral("You can only set bitmap files (.BMP extension) as wallpaper"));
    }
    auto bmp = Open("Red.BMP", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(bmp.doc, nullptr);
    {
        FakeTool settings(m_dir, "gsettings", 0);
        MessageCatcher message;
        ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_SET_WALLPAPER));
        EXPECT_EQ(message.text, QStringLiteral("New wallpaper is set..."));
        const QString uri = QUrl::fromLocalFile(QString::fromStdString(m_dir.File("Red.BMP"))).toString();
        EXPECT_EQ(settings.Arguments(), (QStringList{"set", "org.gnome.desktop.background", "picture-uri", uri, "set",
                                                     "org.gnome.desktop.background", "picture-uri-dark", uri}));
    }
    {
        FakeTool settings(m_dir, "gsettings", 1);
        MessageCatcher message;
        ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_SET_WALLPAPER));
        EXPECT_EQ(message.text, QStringLiteral("Could not set wallpaper..."));
    }
}

TEST_F(ViewerPlatform, QuickOpenShowsTheTypedFileInTheSameWindow)
{
    auto window = Open("red.png", vxtest::FilledImage(20, 16, 0xFF0000));
    ASSERT_NE(window.doc, nullptr);
    CVelvix blue = vxtest::FilledImage(30, 10, 0x0000FF);
    const std::string other = m_dir.File("sub/blue.png");
    QDir().mkpath(QString::fromStdString(m_dir.File("sub")));
    ASSERT_EQ(blue.SaveImage(other.c_str()), 1);
    WhenShown<CQuickFilenameSearchDlg>([&other](CQuickFilenameSearchDlg* dialog) {
        dialog->m_pEdit->setText(QString::fromStdString(other));
        dialog->accept();
    });
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_QUICK_OPEN));
    ProcessEvents();
    EXPECT_EQ(m_main->GetMDIChildCount(), 1);
    EXPECT_EQ(window.doc->GetPathName(), QString::fromStdString(other));
    EXPECT_EQ(window.Image().GetWidth(), 30);
}

// A print that cannot start says so; cancelled or failed, it leaves the
// edited picture, its undo step and the files as they were.
TEST_F(ViewerPlatform, APrintThatCannotStartIsReportedAndChangesNothing)
{
    auto window = Open("red.png", vxtest::RandomImage(20, 16, 5));
    ASSERT_NE(window.doc, nullptr);
    window.view->SetViewSelection(VxRect{2, 3, 12, 11});
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_CROP_SELECTION));
    const CVelvix edited = window.Image();
    const QString red = QString::fromStdString(m_dir.File("red.png"));
    const QByteArray file = [&red] {
        QFile f(red);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    struct Case {
        std::string output;
        bool accept, printed;
    } cases[] = {
        {"a [*?] 100% \xC3\xA9.pdf", true, true},
        {"red.png/page.pdf", true, false}, // a file where the folder should be
        {"no such/page.pdf", true, false},
        {"cancelled.pdf", false, false},
    };
    QStringList errors;
    const auto reportError = CAmbrelDoc::s_pfnReportError;
    CAmbrelDoc::s_pfnReportError = [&errors](const QString& text) { errors << text; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const QString pdf = QString::fromStdString(m_dir.File(c.output));
        m_app->GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
        m_app->GetPrinter()->setOutputFileName(pdf);
        errors.clear();
        WhenShown<QPrintDialog>(
            [&c](QPrintDialog* dialog) { c.accept ? dialog->accept() : dialog->reject(); });
        EXPECT_TRUE(m_main->ExecuteCommand(cmd::ID_FILE_PRINT));
        ProcessEvents();
        EXPECT_EQ(QFile::exists(pdf), c.printed);
        const bool failed = c.accept && !c.printed;
        EXPECT_EQ(errors, failed ? QStringList{QStringLiteral("The picture could not be printed to\n") + pdf}
                                 : QStringList());
        EXPECT_EQ(window.doc->GetPathName(), red);
        EXPECT_TRUE(window.doc->IsModified());
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 1);
        EXPECT_EQ(vxtest::FirstDifference(window.Image(), const_cast<CVelvix&>(edited)), -1);
        QFile f(red);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll() == file);
    }
    CAmbrelDoc::s_pfnReportError = reportError;
}
