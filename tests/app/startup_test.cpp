// Start-up with and without a file, the keys reaching their commands, the
// menu hooks and the dialogs of the main frame.
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "browser/child_process.h"
#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/menus.h"
#include "shell/messages.h"
#include "shell/shell_dialogs.h"
#include "support/message_event.h"
#include "support/vx_helper.h"
#include "test_support.h"
#include "thread_start_refused.h"
#include "viewer/ambrel_doc.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

void ProcessEvents()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QMenu* g_lastMenuOpening = nullptr;

class FileDoc : public CSDocument {
public:
    bool OnOpenDocument(const QString& path) override { return QFile::exists(path); }
};
class FileView : public QWidget, public CSView {
protected:
    bool event(QEvent* event) override
    {
        if (int(event->type()) == msg::WM_MENU_OPENING)
            g_lastMenuOpening = reinterpret_cast<QMenu*>(static_cast<CVxMessageEvent*>(event)->m_wParam);
        return QWidget::event(event);
    }
};
class FileFrame : public CSMDIChildWnd {};

constexpr unsigned kFileResource = 991;
const char kFileKind[] = "CTestFileFrame";

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        GeneralSettings = SGeneralSettings{};
        m_app = std::make_unique<CAmbrelApp>();
        m_app->m_bShowSplash = false;
        // Registered first, so that it claims ".tst" files at start-up.
        ASSERT_TRUE(m_app->GetTemplateManager().AddDocumentTemplate(
            kFileKind, kFileResource, VX_DOCUMENT_CLASS(FileDoc), VX_FRAME_CLASS(FileFrame), VX_VIEW_CLASS(FileView),
            true, false, nullptr, "\nkind\nkind\nTest files\n.tst"));
        std::vector<SMenuItem> popups;
        for (const char* title : {"&A", "&B", "&C", "&D", "&E", "&F", "&G", "&H"})
            popups.push_back(SMenuItem::Popup(title, {SMenuItem::Item("&Item", 6000)}));
        CAmbrelMenus::RegisterMenu(kFileResource, popups);
        m_file = m_folder.filePath("picture.tst");
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void TearDown() override
    {
        m_app.reset();
        ProcessEvents();
    }
    CMainFrame* Frame() { return m_app->GetMainFrame(); }

    std::unique_ptr<CAmbrelApp> m_app;
    QTemporaryDir m_folder;
    QString m_file;
};

TEST_F(Startup, AFileOnTheCommandLineOpensWithoutSplashOrSavedWindows)
{
    QSettings().setValue("TemplateManager/OpenedWindows", QString("%1;X|%2").arg(kFileKind, m_file));
    m_app->m_bShowSplash = true;
    ASSERT_TRUE(m_app->InitInstance({m_file}));
    ProcessEvents();
    EXPECT_FALSE(m_app->m_bSplashShown);
    ASSERT_EQ(Frame()->GetMDIChildCount(), 1);
    EXPECT_EQ(Frame()->MDIGetActive()->GetActiveDocument()->GetPathName(), m_file);
    EXPECT_FALSE(Frame()->IsFullScreen());
    EXPECT_TRUE(Frame()->isVisible());
    // The saved list is left for the next start without a file.
    EXPECT_FALSE(QSettings().value("TemplateManager/OpenedWindows").toString().isEmpty());
}

TEST_F(Startup, AFileOpensFullScreenWhenTheSettingSaysSo)
{
    GeneralSettings.bOpenFullScreenWithDocument = 1;
    SaveGeneralSettings(GeneralSettings);
    ASSERT_TRUE(m_app->InitInstance({m_file}));
    ProcessEvents();
    EXPECT_TRUE(Frame()->IsFullScreen());
}

TEST_F(Startup, AFileThatCannotBeOpenedEndsTheProgram)
{
    EXPECT_FALSE(m_app->InitInstance({m_folder.filePath("missing.tst")}));
}

// A name in bytes that are not UTF-8 ("caf\xe9") reads as text like another
// file's ("caf\uFFFD"), which must not open in its place: the start fails, or
// the drop is refused, as for a file that cannot be read.
TEST_F(Startup, ANameThatIsNotUtf8NeverOpensAnotherFile)
{
    const QString lookalike = m_folder.filePath(QStringLiteral("caf\uFFFD.png"));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(lookalike));
    QByteArray raw = QFile::encodeName(m_folder.filePath("caf")) + "\xe9.png";
    std::filesystem::copy_file(QFile::encodeName(lookalike).toStdString(), raw.toStdString());
    QStringList reported;
    const auto report = CAmbrelDoc::s_pfnReportError;
    CAmbrelDoc::s_pfnReportError = [&](const QString& text) { reported << text; };
    char program[] = "ambrel", option[] = "-x";
    char* argv[] = {program, option, raw.data(), nullptr};
    struct Case {
        const char* what;
        std::function<bool()> open;
    } const cases[] = {
        {"command line", [&] { return m_app->InitInstance(3, argv); }},
        {"dropped", [&] {
             return m_app->InitInstance({}) &&
                    Frame()->OnDropFiles({QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"))});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_app.reset();
        ProcessEvents();
        m_app = std::make_unique<CAmbrelApp>();
        m_app->m_bShowSplash = false;
        reported.clear();
        EXPECT_FALSE(c.open());
        ProcessEvents();
        EXPECT_EQ(Frame()->GetMDIChildCount(), 0);
        EXPECT_EQ(reported, QStringList{"Could not read the image file:\n" + QFile::decodeName(raw)});
    }
    CAmbrelDoc::s_pfnReportError = report;
    std::filesystem::remove(raw.toStdString());  // which the folder cannot name to remove it
}

// A relative name given in a folder whose name is not UTF-8 ("caf\xe9"):
// completed with the folder's text, it would name the file in "caf\uFFFD".
// The program never changes its current folder: the test starts itself
// again in that folder.
TEST_F(Startup, ARelativeNameInAFolderNamedInOtherBytesNeverOpensAnotherFile)
{
    char program[] = "ambrel", relative[] = "picture.tst";
    char* argv[] = {program, relative, nullptr};
    if (vxtest::InRerunFolder()) {
        QStringList reported;
        CAmbrelDoc::s_pfnReportError = [&](const QString& text) { reported << text; };
        EXPECT_FALSE(m_app->InitInstance(2, argv));
        EXPECT_EQ(Frame()->GetMDIChildCount(), 0);
        EXPECT_EQ(reported, QStringList{CVxHelper::AmbiguousNameMessage(QDir::currentPath() + "/picture.tst")});
        return;
    }
    const std::string folder = QFile::encodeName(m_folder.path()).toStdString();
    for (const std::string name : {"/caf\xe9", "/caf\xef\xbf\xbd"}) {
        std::filesystem::create_directory(folder + name);
        std::ofstream(folder + name + "/picture.tst") << name;
    }
    const int code = vxtest::RerunInFolder(folder + "/caf\xe9", "Startup.ARelativeNameInAFolderNamedInOtherBytes*");
    std::filesystem::remove_all(folder + "/caf\xe9");  // which the folder cannot name to remove it
    EXPECT_EQ(code, 0);
}

TEST_F(Startup, WithoutAFileTheSavedWindowsReopenAndNoEmptyDocumentIsMade)
{
    QSettings().setValue("TemplateManager/OpenedWindows", QString("%1;X|%2").arg(kFileKind, m_file));
    ASSERT_TRUE(m_app->InitInstance({}));
    ProcessEvents();
    ASSERT_EQ(Frame()->GetMDIChildCount(), 1);
    EXPECT_EQ(Frame()->MDIGetActive()->GetActiveDocument()->GetPathName(), m_file);
}

TEST_F(Startup, WithoutRememberingTheMainWindowStartsAlone)
{
    GeneralSettings.bRememberOpenedDocuments = 0;
    SaveGeneralSettings(GeneralSettings);
    QSettings().setValue("TemplateManager/OpenedWindows", QString("%1;X|%2").arg(kFileKind, m_file));
    ASSERT_TRUE(m_app->InitInstance({}));
    ProcessEvents();
    EXPECT_EQ(Frame()->GetMDIChildCount(), 0);
    EXPECT_TRUE(Frame()->isVisible());
}

// Qt refuses some connections with no more than a warning at run time (the
// session-end save was lost that way): the start must make every one.
TEST_F(Startup, EveryConnectionOfTheStartIsMade)
{
    static QStringList refused;
    refused.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (text.contains(QStringLiteral("QObject::connect")))
            refused << text;
    });
    const bool started = m_app->InitInstance({});
    qInstallMessageHandler(previous);
    ASSERT_TRUE(started);
    EXPECT_TRUE(refused.isEmpty()) << refused.join(QLatin1Char('\n')).toStdString();
}

// A logout or `kill` while the splash shows: the program ends, with what
// lasts between runs stored, instead of running on without a window.
TEST_F(Startup, ATerminationSignalDuringTheSplashEndsTheProgram)
{
    m_app->m_bShowSplash = true;
    GeneralSettings.nAutoCropTolerance = 77;
    QTimer::singleShot(100, [] { std::raise(SIGTERM); });
    ASSERT_TRUE(m_app->InitInstance({}));
    // Without the fix, only this ends the main loop.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(-1); });
    EXPECT_EQ(m_app->Run(), 128 + SIGTERM);
    SGeneralSettings stored;
    ASSERT_TRUE(LoadGeneralSettings(stored));
    EXPECT_EQ(stored.nAutoCropTolerance, 77);
}

TEST_F(Startup, SettingsAreSavedAtExit)
{
    ASSERT_TRUE(m_app->InitInstance({}));
    GeneralSettings.nAutoCropTolerance = 99;
    m_app->ExitInstance();
    SGeneralSettings loaded;
    ASSERT_TRUE(LoadGeneralSettings(loaded));
    EXPECT_EQ(loaded.nAutoCropTolerance, 99);
}

TEST_F(Startup, KeysReachTheirCommands)
{
    ASSERT_TRUE(m_app->InitInstance({m_file}));
    ProcessEvents();
    Frame()->activateWindow();
    QApplication::setActiveWindow(Frame());
    ProcessEvents();
    QTest::keyClick(Frame(), Qt::Key_F11);
    ProcessEvents();
    EXPECT_TRUE(Frame()->IsFullScreen());
    QTest::keyClick(Frame(), Qt::Key_Escape);
    ProcessEvents();
    EXPECT_FALSE(Frame()->IsFullScreen());
    QTest::keyClick(Frame(), Qt::Key_Escape);
    ProcessEvents();
    EXPECT_EQ(Frame()->GetMDIChildCount(), 0);
    EXPECT_TRUE(Frame()->isVisible());
}

TEST_F(Startup, TheSeventhMenuOpeningIsToldToTheActiveView)
{
    ASSERT_TRUE(m_app->InitInstance({m_file}));
    ProcessEvents();
    const QList<QAction*> menus = Frame()->menuBar()->actions();
    ASSERT_EQ(menus.size(), 8);
    g_lastMenuOpening = nullptr;
    emit menus[5]->menu()->aboutToShow();
    EXPECT_EQ(g_lastMenuOpening, nullptr);
    emit menus[6]->menu()->aboutToShow();
    EXPECT_EQ(g_lastMenuOpening, menus[6]->menu());
}

TEST_F(Startup, ToolBarButtonsInTheirOrder)
{
    ASSERT_TRUE(m_app->InitInstance({}));
    QList<int> ids;
    for (QAction* action : Frame()->GetToolBar()->actions())
        ids << (action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(ids, (QList<int>{57601, 57603, 0, 266, 57607, 0, 57643, 57644, 0, 263, 0, 57635, 57634, 57637, 0, 156,
                               0, 239, 0, 57665, 0, 57664}));
    Frame()->UpdateToolBar();
    for (QAction* action : Frame()->GetToolBar()->actions())
        EXPECT_FALSE(action->data().toInt() == 57603 && action->isEnabled()); // nobody saves without a document
}

TEST_F(Startup, RecentFilesFillTheFileMenuAndOpenAgain)
{
    ASSERT_TRUE(m_app->InitInstance({m_file}));
    ProcessEvents();
    EXPECT_EQ(m_app->GetRecentFileList().GetCount(), 1);
    Frame()->MDIGetActive()->CloseFrame();
    ProcessEvents();
    QMenu* file = Frame()->menuBar()->actions().at(0)->menu();
    emit file->aboutToShow();
    QStringList texts;
    for (QAction* action : file->actions())
        if (action->isVisible())
            texts << action->text();
    ASSERT_TRUE(texts.contains("&1 " + m_file)) << texts.join('|').toStdString();
    for (QAction* action : file->actions())
        if (action->text() == "&1 " + m_file)
            action->trigger();
    ProcessEvents();
    ASSERT_EQ(Frame()->GetMDIChildCount(), 1);
    EXPECT_EQ(Frame()->MDIGetActive()->GetActiveDocument()->GetPathName(), m_file);
}

TEST(ShellDialogs, ChooseFolderAnswersZeroOneOrMinusOne)
{
    CSubFolderAskDialog ask;
    EXPECT_EQ(ask.windowTitle(), "Choose Folder");
    EXPECT_EQ(ask.m_pCurrent->text(), "&Current Folder");
    EXPECT_EQ(ask.m_pBrowse->text(), "&Browse For Folder");
    QTimer::singleShot(30, [&] { ask.m_pCurrent->click(); });
    EXPECT_EQ(ask.Ask(), 0);
    QTimer::singleShot(30, [&] { ask.m_pBrowse->click(); });
    EXPECT_EQ(ask.Ask(), 1);
    QTimer::singleShot(30, [&] { ask.reject(); });
    EXPECT_EQ(ask.Ask(), -1);
}

TEST(ShellDialogs, QuickOpenCompletesFromTheFileSystem)
{
    QTemporaryDir folder;
    for (const char* name : {"holiday-001.jpg", "holiday-002.jpg", "other.png"}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    CQuickFilenameSearchDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Quick filename search");
    EXPECT_EQ(dialog.m_pBrowse->text(), "&...");
    dialog.show();
    const QString prefix = folder.path() + "/hol";
    const QStringList expected = {folder.filePath("holiday-001.jpg"), folder.filePath("holiday-002.jpg")};
    QStringList offered;
    // The file-system model reads and sorts folders in the background: ask
    // until it has (a loaded machine takes its time).
    dialog.m_pModel->index(folder.path());
    (void)QTest::qWaitFor([&] {
        dialog.m_pCompleter->setCompletionPrefix(prefix);
        offered.clear();
        for (int row = 0; dialog.m_pCompleter->setCurrentRow(row); ++row)
            offered << dialog.m_pCompleter->currentCompletion();
        return offered == expected;
    }, 20000);
    EXPECT_EQ(offered, expected);

    // Typing shows the first match in line, the rest selected.
    dialog.m_pEdit->clear();
    dialog.m_pEdit->setFocus();
    QTest::keyClicks(dialog.m_pEdit, prefix);
    EXPECT_EQ(dialog.GetText(), folder.filePath("holiday-001.jpg"));
    EXPECT_EQ(dialog.m_pEdit->selectedText(), "iday-001.jpg");
}

TEST(ShellDialogs, AboutShowsTheBuildDateThenTime)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About ambrel");
    const QString stamp = about.m_pBuildStamp->text();
    EXPECT_TRUE(QRegularExpression("^[A-Z][a-z]{2} [ 0-9]\\d \\d{4}, \\d\\d:\\d\\d:\\d\\d$").match(stamp).hasMatch())
        << stamp.toStdString();
    EXPECT_TRUE(about.m_pBuildStamp->alignment() & Qt::AlignRight);
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Digital Image Processing"));
}

} // namespace

// Whatever the settings store holds, the program starts: every value read at
// start-up gets malformed, hostile and random contents in turn.
TEST_F(Startup, NoContentOfTheSettingsStoreCrashesTheStart)
{
    const QString picture = m_folder.filePath("p%1 [*?].png");
    ASSERT_EQ(vxtest::FilledImage(8, 6, 0x336699).SaveImage(picture.toUtf8().constData()), 1);
    const QStringList keys = {"Settings/GeneralSettings", "Validation/LastImage", "TemplateManager/OpenedWindows",
                              "CMainFrame/Window Coordinates", "CPixelFrame/Window Coordinates",
                              "Recent File List/File1", "HistogramBar/RCHECK", "HistogramBar/BCHECK"};
    QVariantList values = {QString(), QString("CPixelFrame;4660|%1").arg(picture),
                           QString("CPixelFrame;-1|%1,CPixelFrame;99999999999999999999|%1").arg(picture),
                           QString("CTestFileFrame;4660|%1").arg(m_file), QString("|;|,;,|||;;;X"),
                           QString("-2147483648,-1,99999999,x,,,,,,,,"), QString(20000, '%'),
                           QString("%1%2%s%n%p\t"), QByteArray(48, '\xff'), QByteArray(47, '\0'), 4660, -1,
                           QStringList{"a", "b"}};
    std::mt19937 random(17);
    const QString alphabet = QStringLiteral("CPixelFrame;X|,/-0123456789%\u00e9\u4e2d[*?] ");
    for (int i = 0; i < 4; ++i) {
        QByteArray bytes(int(random() % 96), '\0');
        for (char& byte : bytes)
            byte = char(random());
        values << bytes;
        QString text;
        for (int n = int(random() % 80); n > 0; --n)
            text += alphabet[int(random() % alphabet.size())];
        values << text;
    }
    // Message boxes of the start (the crash guard's warning) are answered.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(5);
    m_app.reset();
    for (const QString& key : keys)
        for (const QVariant& value : values) {
            QSettings().clear();
            QSettings().setValue(key, value);
            auto app = std::make_unique<CAmbrelApp>();
            app->m_bShowSplash = false;
            ASSERT_TRUE(app->InitInstance({})) << key.toStdString();
            ProcessEvents();
            app.reset();
            ProcessEvents();
        }
}

// Qt paints a progress bar's stripes with the threads of its pool: once the
// program has started, its windows paint on when the system refuses threads.
TEST_F(Startup, ProgressBarsPaintWhileTheSystemRefusesThreads)
{
    ASSERT_TRUE(m_app->InitInstance({}));
    ProcessEvents();
    // Long after the start: the pool's idle threads have ended, where they do.
    if (const int expiry = QThreadPool::globalInstance()->expiryTimeout(); expiry >= 0)
        QThread::msleep(unsigned(expiry) + 1000);
    QProgressBar bar;
    bar.resize(300, 24);
    bar.show();
    g_refuseThreads = true;
    alarm(60); // a painting that waits for ever ends this test's process
    // The stripes move on a timer while the bar is below its maximum.
    bar.setValue(50);
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 500)
        QApplication::processEvents();
    bar.setValue(100);
    alarm(0);
    g_refuseThreads = false;
    EXPECT_EQ(bar.value(), 100);
}
