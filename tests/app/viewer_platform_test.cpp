// What the image window hands to the desktop and the printer: the printed
// page at the picture's size on the screen, the mail program with the file
// attached, the wallpaper through the desktop settings, and quick open.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <map>
#include <thread>

#include "program_fixture.h"
#include "shell/command_ids.h"
#include "shell/shell_dialogs.h"
#include "thread_start_refused.h"
#include "viewer/view/print_file.h"

namespace {

// While set, malloc and realloc on the window's thread let the first
// g_largeBlocksLeft blocks above this many bytes through, then refuse the next
// g_largeBlocksRefused, as in a process at the end of its memory. Qt takes its
// pixel and byte buffers from malloc, not new.
std::atomic<std::size_t> g_mallocLimit{0};
std::atomic<int> g_largeBlocksLeft{0}, g_largeBlocksRefused{0};
std::thread::id g_windowThread;

bool RefuseBlock(std::size_t size)
{
    const std::size_t limit = g_mallocLimit.load(std::memory_order_relaxed);
    if (!limit || size <= limit || std::this_thread::get_id() != g_windowThread || g_largeBlocksLeft-- > 0 ||
        g_largeBlocksRefused-- <= 0)
        return false;
    errno = ENOMEM;
    return true;
}

} // namespace

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);

extern "C" void* malloc(std::size_t size)
{
    return RefuseBlock(size) ? nullptr : __libc_malloc(size);
}

extern "C" void* realloc(void* block, std::size_t size)
{
    return RefuseBlock(size) ? nullptr : __libc_realloc(block, size);
}

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

// Every entry of a folder by name: its kind, and the mode and bytes of a file.
std::map<std::string, std::string> FolderState(const std::string& folder)
{
    std::map<std::string, std::string> state;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        struct stat info {};
        lstat(path.c_str(), &info);
        std::string& value = state[entry.path().filename().string()];
        if (S_ISLNK(info.st_mode)) {
            value = "link to " + std::filesystem::read_symlink(entry.path()).string();
        } else if (S_ISREG(info.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            value = "file " + std::to_string(info.st_mode & 07777) + '\n' +
                    std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else {
            value = "kind " + std::to_string(info.st_mode & S_IFMT);
        }
    }
    return state;
}

std::string Describe(const std::map<std::string, std::string>& state)
{
    std::string text;
    for (const auto& [name, value] : state)
        text += name + ": " + value.substr(0, value.find('\n')) + ", " + std::to_string(value.size()) +
                " bytes\n";
    return text;
}

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

// A print that fails says why; cancelled or failed, it leaves the edited
// picture, its undo step and every file as they were: no cut-off or
// temporary file, an older file of the chosen name kept.
TEST_F(ViewerPlatform, AFailedPrintIsReportedAndChangesNothing)
{
    auto window = Open("red.png", vxtest::RandomImage(400, 300, 5));
    ASSERT_NE(window.doc, nullptr);
    window.view->SetViewSelection(VxRect{2, 3, 302, 243});
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_CROP_SELECTION));
    const CVelvix edited = window.Image();
    const QString red = QString::fromStdString(m_dir.File("red.png"));
    ASSERT_EQ(mkfifo(m_dir.File("pipe.pdf").c_str(), 0644), 0);
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(m_dir.File("folder.pdf"))));
    std::ofstream(m_dir.File("kept.pdf")) << "an older print";
    ASSERT_EQ(chmod(m_dir.File("kept.pdf").c_str(), 0640), 0);
    std::ofstream(m_dir.File("target.pdf")) << "a linked print";
    ASSERT_EQ(symlink("target.pdf", m_dir.File("link.pdf").c_str()), 0);
    ASSERT_EQ(symlink("made.pdf", m_dir.File("dangling.pdf").c_str()), 0);
    ASSERT_EQ(symlink("loop.pdf", m_dir.File("loop.pdf").c_str()), 0);
    std::ofstream(m_dir.File("linked.pdf")) << "a print with two names";
    ASSERT_EQ(link(m_dir.File("linked.pdf").c_str(), m_dir.File("other name.pdf").c_str()), 0);
    enum class Trouble { None, FullDisk, NoMemory, NoMemoryLater, NoMemoryAtAll, NoMemoryStill };
    const QString cannot = QStringLiteral("The picture could not be printed to\n%1");
    const QString notFile =
        cannot + QStringLiteral("\nThat name is a pipe, a device or a folder, not a file.");
    const QString cutOff =
        cannot + QStringLiteral("\nThe file could not be written completely; the disk may be full.");
    const QString noMemory = QStringLiteral("The picture could not be printed: there is not enough memory.");
    struct Case {
        std::string output, printed; // printed: the file that becomes the PDF
        bool accept;
        Trouble trouble;
        QString error;
        std::string alias = {}; // another name of the printed file: it shows the same PDF
        int command = cmd::ID_FILE_PRINT;
    } cases[] = {
        {"a [*?] 100% \xC3\xA9.pdf", "a [*?] 100% \xC3\xA9.pdf", true, Trouble::None, {}},
        {"kept.pdf", "", true, Trouble::FullDisk, cutOff},
        {"kept.pdf", "", true, Trouble::NoMemory, noMemory},      // for the picture's copy
        {"kept.pdf", "", true, Trouble::NoMemoryLater, noMemory}, // in the PDF engine
        {"kept.pdf", "kept.pdf", true, Trouble::None, {}},
        {"link.pdf", "target.pdf", true, Trouble::None, {}},   // through the link, which stays
        {"linked.pdf", "linked.pdf", true, Trouble::None, {}, "other name.pdf"}, // both names stay
        {"dangling.pdf", "made.pdf", true, Trouble::None, {}}, // where the link leads; it stays
        {"loop.pdf", "", true, Trouble::None, cannot},
        {"red.png/page.pdf", "", true, Trouble::None, cannot}, // a file where the folder should be
        {"no such/page.pdf", "", true, Trouble::None, cannot},
        {"pipe.pdf", "", true, Trouble::None, notFile}, // would wait for a reader for ever
        {"folder.pdf", "", true, Trouble::None, notFile},
        {"cancelled.pdf", "", false, Trouble::None, {}},
        // Also while the engine ends: the program goes on, and so does printing.
        {"kept.pdf", "", true, Trouble::NoMemoryAtAll, noMemory},
        {"kept.pdf", "", true, Trouble::NoMemoryStill, noMemory}, // no dialog then
        {"kept.pdf", "", true, Trouble::NoMemoryStill, noMemory, {}, cmd::ID_FILE_PRINT_SETUP}, // nor its dialog
        {"kept.pdf", "kept.pdf", true, Trouble::None, {}},
    };
    QStringList errors;
    const auto reportError = CAmbrelDoc::s_pfnReportError;
    CAmbrelDoc::s_pfnReportError = [&errors](const QString& text) { errors << text; };
    g_windowThread = std::this_thread::get_id();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const QString pdf = QString::fromStdString(m_dir.File(c.output));
        m_app->GetPrinter()->setOutputFormat(QPrinter::PdfFormat);
        m_app->GetPrinter()->setOutputFileName(pdf);
        auto before = FolderState(m_dir.File(""));
        errors.clear();
        rlimit fileSize{};
        getrlimit(RLIMIT_FSIZE, &fileSize);
        WhenShown<QPrintDialog>([&c, fileSize](QPrintDialog* dialog) {
            if (c.trouble == Trouble::FullDisk) {
                // Writes past 64 KB fail (EFBIG), as on a full disk.
                signal(SIGXFSZ, SIG_IGN);
                const rlimit small{64 << 10, fileSize.rlim_max};
                setrlimit(RLIMIT_FSIZE, &small);
            }
            g_largeBlocksLeft = c.trouble == Trouble::NoMemoryLater ? 1 : 0;
            g_largeBlocksRefused = c.trouble == Trouble::NoMemoryAtAll ? 1000 : 1;
            g_mallocLimit =
                c.trouble >= Trouble::NoMemory && c.trouble != Trouble::NoMemoryStill ? 100000 : 0;
            c.accept ? dialog->accept() : dialog->reject();
        });
        if (c.trouble == Trouble::NoMemoryStill) {
            g_largeBlocksLeft = 0;
            g_largeBlocksRefused = 1000;
            g_mallocLimit = 100000;
        }
        WhenShown<QPageSetupDialog>([](QPageSetupDialog* dialog) { dialog->reject(); });
        EXPECT_TRUE(m_main->ExecuteCommand(c.command));
        g_mallocLimit = 0;
        setrlimit(RLIMIT_FSIZE, &fileSize);
        signal(SIGXFSZ, SIG_DFL);
        ProcessEvents();
        const QString error = c.error.contains(QLatin1String("%1")) ? c.error.arg(pdf) : c.error;
        EXPECT_EQ(errors.join(QLatin1Char('|')).toStdString(), error.toStdString());
        auto after = FolderState(m_dir.File(""));
        if (!c.printed.empty()) {
            const std::string page = after[c.printed];
            EXPECT_EQ(page.compare(page.find('\n') + 1, 5, "%PDF-"), 0) << page.substr(0, 40);
            EXPECT_EQ(page.substr(page.size() - 6), "%%EOF\n");
            if (before.count(c.printed)) { // the mode of the file replaced
                const std::string& old = before[c.printed];
                EXPECT_EQ(page.substr(0, page.find('\n')), old.substr(0, old.find('\n')));
            }
            if (!c.alias.empty()) {
                struct stat info {};
                EXPECT_TRUE(stat(m_dir.File(c.printed).c_str(), &info) == 0 && info.st_nlink == 2);
                EXPECT_TRUE(after[c.alias] == page) << c.alias << " kept the old file";
            }
            for (const std::string& name : {c.printed, c.alias}) {
                before.erase(name);
                after.erase(name);
            }
        }
        EXPECT_TRUE(after == before) << Describe(before) << "\nbecame\n" << Describe(after);
        EXPECT_EQ(window.doc->GetPathName(), red);
        EXPECT_TRUE(window.doc->IsModified());
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 1);
        EXPECT_EQ(vxtest::FirstDifference(window.Image(), const_cast<CVelvix&>(edited)), -1);
    }
    CAmbrelDoc::s_pfnReportError = reportError;
}

// A user's print never replaces a file that user may not write, though its
// folder would allow the rename (root may write any file).
TEST_F(ViewerPlatform, APrintNeverReplacesAFileTheUserMayNotWrite)
{
    const std::string locked = m_dir.File("locked.pdf");
    std::ofstream(locked) << "not yours";
    const auto before = FolderState(m_dir.File(""));
    const auto failures = vxtest::RunUnprivileged({m_dir.File("")}, [&locked] {
        CPrintFile output(QString::fromStdString(locked));
        return output.Start().isEmpty() ? std::string() : std::string("a print would replace it");
    });
    if (!failures)
        GTEST_SKIP() << "cannot switch to user 65534";
    EXPECT_EQ(*failures, "");
    EXPECT_TRUE(FolderState(m_dir.File("")) == before);
}

// The PDF reaches its file through the name /proc gives the engine's pipe.
// Where /proc is missing, or holds other files under those names, the print
// says so and writes nothing: neither a file elsewhere nor an empty PDF.
TEST_F(ViewerPlatform, APrintWithoutProcSaysSoAndWritesNothing)
{
    auto window = Open("red.png", vxtest::RandomImage(40, 30, 7));
    ASSERT_NE(window.doc, nullptr);
    const std::string kept = m_dir.File("kept.pdf");
    std::ofstream(kept) << "an older print";
    QPrinter* printer = m_app->GetPrinter();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(kept));
    const auto before = FolderState(m_dir.File(""));
    for (const bool planted : {false, true}) {
        SCOPED_TRACE(planted ? "plain files in /proc" : "an empty /proc");
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        const pid_t child = fork();
        if (child == 0) {
            alarm(60);
            close(channel[0]);
            // An empty file system in place of /proc, seen by this child only.
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("none", "/proc", "tmpfs", 0, nullptr) != 0 ||
                (planted && (mkdir("/proc/self", 0755) != 0 || mkdir("/proc/self/fd", 0755) != 0)))
                _exit(3);
            std::string result;
            for (int fd = 0; planted && fd < 256; ++fd)
                std::ofstream("/proc/self/fd/" + std::to_string(fd)) << "planted";
            CAmbrelDoc::s_pfnReportError = [&result](const QString& text) {
                result += text.toStdString() + '|';
            };
            window.view->PrintPage(printer);
            for (int fd = 0; planted && fd < 256; ++fd) {
                std::ifstream in("/proc/self/fd/" + std::to_string(fd));
                std::string text;
                if (!std::getline(in, text) || text != "planted" || in.get() != EOF)
                    result += "/proc/self/fd/" + std::to_string(fd) + " was written|";
            }
            _exit(write(channel[1], result.data(), result.size()) == ssize_t(result.size()) ? 0 : 4);
        }
        close(channel[1]);
        const std::string result = vxtest::ReadToEnd(channel[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
            GTEST_SKIP() << "cannot put another /proc in place here (needs a mount namespace)";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(result, "The picture could not be printed to\n" + kept +
                              "\nPrinting to a file needs the /proc file system, which is not available "
                              "here.|");
        EXPECT_TRUE(FolderState(m_dir.File("")) == before) << Describe(FolderState(m_dir.File("")));
    }
}

// A print whose reader thread the system refuses (too many running) fails
// before it starts: the old file stays and no temporary file is left.
TEST_F(ViewerPlatform, APrintWithoutItsThreadLeavesTheFolderAsItWas)
{
    const std::string target = m_dir.File("out 100%.pdf");
    std::ofstream(target) << "old";
    const auto before = FolderState(m_dir.File(""));
    g_refuseThreads = true;
    const bool started = !CPrintFile(QString::fromStdString(target)).Start().isEmpty();
    g_refuseThreads = false;
    EXPECT_FALSE(started);
    EXPECT_TRUE(FolderState(m_dir.File("")) == before);
}
