// The application shell: the settings record and sheet, the crash guard,
// the main frame's Esc, full screen, menus and keys, the recent-file list
// and the registration of file types.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QDropEvent>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QThread>
#include <QUrl>

#include <csignal>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "settings/general_settings.h"
#include "settings/settings_sheet.h"
#include "shell/ambrel_app.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/menus.h"
#include "shell/messages.h"
#include "support/logo_window.h"
#include "support/message_event.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Message boxes that appeared, answered with their default button.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

class BoxWatcher {
public:
    explicit BoxWatcher(std::function<void()> onShow = {}) : m_onShow(std::move(onShow))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            if (m_onShow)
                m_onShow();
            QPushButton* def = box->defaultButton();
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                            def ? box->standardButton(def) : QMessageBox::NoButton});
            if (def)
                def->click();
            else
                box->done(0);
        });
        m_timer.start(10);
    }
    std::vector<SeenBox> seen;

private:
    QTimer m_timer;
    std::function<void()> m_onShow;
};

void ProcessEvents()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// A document kind standing in for the ones the program registers.
class KindDoc : public CSDocument {};
class KindView : public QWidget, public CSView {};
class KindFrame : public CSMDIChildWnd {
public:
    bool _OnCreateToolBars() override
    {
        addToolBar(new QToolBar(QStringLiteral("Kind"), this));
        return true;
    }
    void OnDestroy() override
    {
        CSMDIChildWnd::OnDestroy();
        VxPostMessage(CSMDIFrameWnd::GetMainFrame(), msg::WM_IMAGE_FRAME_DESTROYED);
    }
};

constexpr unsigned kKindResource = 990;
const char kKind[] = "CTestKindFrame";

class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        GeneralSettings = SGeneralSettings{};
        m_app = std::make_unique<CAmbrelApp>();
        m_app->m_bShowSplash = false;
        ASSERT_TRUE(m_app->InitInstance({}));
        m_frame = m_app->GetMainFrame();
        ASSERT_NE(m_frame, nullptr);
        CAmbrelMenus::RegisterMenu(kKindResource, {SMenuItem::Popup("&Kind", {SMenuItem::Item("&Do", 5000)})});
        CAmbrelMenus::RegisterAccelerators(kKindResource, {{QKeySequence(Qt::Key_F), 5000},
                                                           {QKeySequence(Qt::Key_Q), 5001}});
        ASSERT_TRUE(Manager().AddDocumentTemplate(kKind, kKindResource, VX_DOCUMENT_CLASS(KindDoc),
                                                  VX_FRAME_CLASS(KindFrame), VX_VIEW_CLASS(KindView), true, false,
                                                  nullptr));
        ProcessEvents();
    }
    void TearDown() override
    {
        m_app.reset();
        ProcessEvents();
    }
    CSMultiDocTemplateManager& Manager() { return m_app->GetTemplateManager(); }
    void OpenKind(int count)
    {
        for (int i = 0; i < count; ++i)
            Manager().OpenNewFrame(kKind, false);
        ProcessEvents();
    }
    QStringList MenuTitles()
    {
        QStringList titles;
        for (QAction* action : m_frame->menuBar()->actions())
            titles << action->text();
        return titles;
    }

    std::unique_ptr<CAmbrelApp> m_app;
    CMainFrame* m_frame = nullptr;
};

TEST(GeneralSettingsRecord, DefaultsAndTheStoredFormOfFortyEightBytes)
{
    const SGeneralSettings defaults;
    const std::int32_t expected[12] = {1, 0, 1, 0, 1, 1, 1, 13, 1, 0, 0, 1};
    const QByteArray bytes = defaults.ToBytes();
    ASSERT_EQ(bytes.size(), 48);
    for (int i = 0; i < 12; ++i) {
        std::int32_t field;
        std::memcpy(&field, bytes.constData() + 4 * i, 4);
        EXPECT_EQ(field, expected[i]) << "field " << i;
    }
}

TEST(GeneralSettingsRecord, OnlyAFortyEightByteValueIsLoaded)
{
    QSettings().clear();
    SGeneralSettings settings;
    EXPECT_FALSE(LoadGeneralSettings(settings));

    SGeneralSettings changed;
    changed.bSlowComputer = 1;
    changed.nAutoCropTolerance = 200;
    changed.bAutoCropScanned = 0;
    for (int size : {0, 4, 47, 49, 96}) {
        QByteArray damaged = changed.ToBytes();
        damaged.resize(size, '\x01');
        QSettings().setValue("Settings/GeneralSettings", damaged);
        SGeneralSettings loaded;
        LoadGeneralSettings(loaded);
        EXPECT_EQ(loaded.ToBytes(), SGeneralSettings().ToBytes()) << size << " bytes";
    }
    QSettings().setValue("Settings/GeneralSettings", QStringLiteral("not binary at all"));
    SGeneralSettings text;
    LoadGeneralSettings(text);
    EXPECT_EQ(text.ToBytes(), SGeneralSettings().ToBytes());

    ASSERT_TRUE(SaveGeneralSettings(changed));
    EXPECT_EQ(QSettings().value("Settings/GeneralSettings").toByteArray().size(), 48);
    SGeneralSettings loaded;
    EXPECT_TRUE(LoadGeneralSettings(loaded));
    EXPECT_EQ(loaded.ToBytes(), changed.ToBytes());
}

TEST(GeneralSettingsRecord, DamagedFieldsOfAFullLengthValueAreMadeSafe)
{
    std::int32_t fields[12] = {7, 0, -1, 0, 1, 1, 1, 0, 1, 0, 0, 2};
    SGeneralSettings settings;
    ASSERT_TRUE(settings.FromBytes(QByteArray(reinterpret_cast<const char*>(fields), 48)));
    EXPECT_EQ(settings.bRememberOpenedDocuments, 1);
    EXPECT_EQ(settings.bOpenMaximized, 1);
    EXPECT_EQ(settings.bAutoCropScanned, 1);
    EXPECT_EQ(settings.nAutoCropTolerance, 13);
    fields[7] = 251;
    ASSERT_TRUE(settings.FromBytes(QByteArray(reinterpret_cast<const char*>(fields), 48)));
    EXPECT_EQ(settings.nAutoCropTolerance, 13);
    fields[7] = 250;
    ASSERT_TRUE(settings.FromBytes(QByteArray(reinterpret_cast<const char*>(fields), 48)));
    EXPECT_EQ(settings.nAutoCropTolerance, 250);
}

TEST(SettingsSheet, PagesHoldTheFieldsInOrder)
{
    SGeneralSettings settings;
    CSettingsSheet sheet(settings);
    EXPECT_EQ(sheet.windowTitle(), "Settings");
    ASSERT_EQ(sheet.m_pTabs->count(), 3);
    EXPECT_EQ(sheet.m_pTabs->tabText(0), "General");
    EXPECT_EQ(sheet.m_pTabs->tabText(1), "File");
    EXPECT_EQ(sheet.m_pTabs->tabText(2), "Scanning");
    QStringList general;
    for (QCheckBox* box : sheet.m_pGeneralPage->findChildren<QCheckBox*>())
        general << box->text();
    EXPECT_EQ(general, (QStringList{"&Remember opened documents", "&Open full screen when starting with a document",
                                    "&Open documents maximized by default", "&I have a slow computer",
                                    "&Check for newer version upon start", "&Remember Recent File List",
                                    "&Resample Thumbnails for better quality (slower)"}));
    QStringList file;
    for (QCheckBox* box : sheet.m_pFilePage->findChildren<QCheckBox*>())
        file << box->text();
    EXPECT_EQ(file, (QStringList{"&Auto rename, during file Copy/Move, only if different sizes",
                                 "When you open an Image file from the thumbnails, browse the specific group only "
                                 "(recommended)",
                                 "Do not enlarge images in Slideshow Mode", "Move deleted files to the trash"}));
    EXPECT_EQ(sheet.m_pScanPage->m_pAutoCropScanned->text(), "&Auto crop scanned image");
    EXPECT_EQ(sheet.m_pScanPage->m_pAutoCropTolerance->text(), "13");
}

TEST(SettingsSheet, ToleranceOutsideOneTo250IsRefusedAndNothingIsStored)
{
    for (const char* bad : {"0", "251", "-3", "abc", ""}) {
        SGeneralSettings settings;
        CSettingsSheet sheet(settings);
        sheet.m_pGeneralPage->m_pSlowComputer->setChecked(true);
        sheet.m_pScanPage->m_pAutoCropTolerance->setText(bad);
        BoxWatcher boxes;
        sheet.accept();
        ProcessEvents();
        ASSERT_EQ(boxes.seen.size(), 1u) << bad;
        const bool number = QString(bad).toInt() != 0 || QString(bad) == "0";
        EXPECT_EQ(boxes.seen[0].text, number ? "Please enter an integer between 1 and 250."
                                             : "Please enter an integer.")
            << bad;
        EXPECT_EQ(boxes.seen[0].title, "Ambrel");
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        EXPECT_NE(sheet.result(), QDialog::Accepted) << bad;
        EXPECT_EQ(settings.bSlowComputer, 0) << bad;
        EXPECT_EQ(settings.nAutoCropTolerance, 13) << bad;
        EXPECT_EQ(sheet.m_pTabs->currentIndex(), 2);
    }
    for (const char* good : {"1", "250"}) {
        SGeneralSettings settings;
        CSettingsSheet sheet(settings);
        sheet.m_pScanPage->m_pAutoCropTolerance->setText(good);
        sheet.m_pFilePage->m_pBrowseGroupOnly->setChecked(false);
        sheet.m_pScanPage->m_pAutoCropScanned->setChecked(false);
        BoxWatcher boxes;
        sheet.accept();
        EXPECT_TRUE(boxes.seen.empty());
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
        EXPECT_EQ(settings.nAutoCropTolerance, QString(good).toInt());
        EXPECT_EQ(settings.bBrowseGroupOnly, 0);
        EXPECT_EQ(settings.bAutoCropScanned, 0);
    }
}

TEST(SettingsSheet, CancelLeavesTheRecordUnchanged)
{
    SGeneralSettings settings;
    CSettingsSheet sheet(settings);
    sheet.m_pGeneralPage->m_pRememberOpenedDocuments->setChecked(false);
    sheet.m_pScanPage->m_pAutoCropTolerance->setText("77");
    sheet.m_pFilePage->m_pMoveToTrash->setChecked(false);
    sheet.reject();
    EXPECT_EQ(settings.ToBytes(), SGeneralSettings().ToBytes());
    EXPECT_TRUE(MoveDeletedFilesToTrash());
}

TEST(SettingsSheet, TheTrashOptionIsKeptBesideTheRecord)
{
    SGeneralSettings settings;
    CSettingsSheet sheet(settings);
    EXPECT_TRUE(sheet.m_pFilePage->m_pMoveToTrash->isChecked());
    sheet.m_pFilePage->m_pMoveToTrash->setChecked(false);
    sheet.accept();
    EXPECT_FALSE(MoveDeletedFilesToTrash());
    EXPECT_EQ(settings.ToBytes(), SGeneralSettings().ToBytes());
    SetMoveDeletedFilesToTrash(true);
}

TEST_F(Shell, CrashGuardWarnsOnceAndClearsTheValueFirst)
{
    CAmbrelApp::RecordLastImage(true, "/photos/broken.jpg", 3);
    EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), "Filename: /photos/broken.jpg\tIndex: 3");
    QString valueWhileShown = "unset";
    BoxWatcher boxes([&] { valueWhileShown = QSettings().value("Validation/LastImage").toString(); });
    m_app->CheckLastImage();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Corrupt Image File");
    EXPECT_EQ(boxes.seen[0].text, "The last time Ambrel tries to open the following file: Filename: "
                                  "/photos/broken.jpg\tIndex: 3\nIt encountered an error that made the software "
                                  "crash.");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(valueWhileShown, "");
    m_app->CheckLastImage();
    EXPECT_EQ(boxes.seen.size(), 1u);

    CAmbrelApp::RecordLastImage(true, "/p/x.png", 1);
    CAmbrelApp::RecordLastImage(false, "/p/x.png", 1);
    m_app->CheckLastImage();
    EXPECT_EQ(boxes.seen.size(), 1u);
}

TEST_F(Shell, EscWithNoWindowClosesTheProgram)
{
    ASSERT_TRUE(m_frame->isVisible());
    EXPECT_TRUE(m_frame->ExecuteCommand(cmd::ID_ESCAPE));
    ProcessEvents();
    EXPECT_FALSE(m_frame->isVisible());
}

TEST_F(Shell, EscClosesTheActiveWindowOrLeavesFullScreen)
{
    OpenKind(2);
    ASSERT_EQ(m_frame->GetMDIChildCount(), 2);
    m_frame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    ASSERT_TRUE(m_frame->IsFullScreen());
    EXPECT_TRUE(m_frame->GetToolBar()->isHidden());
    EXPECT_TRUE(m_frame->statusBar()->isHidden());

    // Two windows in full screen: Esc closes the active one.
    CSMDIChildWnd* active = m_frame->MDIGetActive();
    m_frame->ExecuteCommand(cmd::ID_ESCAPE);
    ProcessEvents();
    EXPECT_EQ(m_frame->GetMDIChildCount(), 1);
    EXPECT_NE(m_frame->MDIGetActive(), active);
    EXPECT_TRUE(m_frame->IsFullScreen());

    // One window left: Esc leaves full screen and the bars come back.
    m_frame->ExecuteCommand(cmd::ID_ESCAPE);
    ProcessEvents();
    EXPECT_FALSE(m_frame->IsFullScreen());
    EXPECT_EQ(m_frame->GetMDIChildCount(), 1);
    EXPECT_FALSE(m_frame->GetToolBar()->isHidden());
    EXPECT_FALSE(m_frame->statusBar()->isHidden());
    EXPECT_TRUE(m_frame->isVisible());
}

TEST_F(Shell, FullScreenNeedsAWindowAndKeepsHiddenBarsHidden)
{
    m_frame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    EXPECT_FALSE(m_frame->IsFullScreen());
    EXPECT_FALSE(m_frame->QueryCommand(cmd::ID_FULL_SCREEN).m_bEnabled);

    OpenKind(1);
    m_frame->ExecuteCommand(cmd::ID_VIEW_STATUS_BAR);
    ASSERT_TRUE(m_frame->statusBar()->isHidden());
    m_frame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    EXPECT_TRUE(m_frame->IsFullScreen());
    EXPECT_EQ(m_frame->QueryCommand(cmd::ID_FULL_SCREEN).m_nCheck, 1);
    EXPECT_FALSE(m_frame->menuBar()->isHidden()); // the menu stays
    m_frame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    EXPECT_FALSE(m_frame->IsFullScreen());
    EXPECT_FALSE(m_frame->GetToolBar()->isHidden());
    EXPECT_TRUE(m_frame->statusBar()->isHidden());
}

TEST_F(Shell, ClosingTheLastWindowInFullScreenLeavesFullScreen)
{
    OpenKind(1);
    m_frame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    ASSERT_TRUE(m_frame->IsFullScreen());
    m_frame->MDIGetActive()->CloseFrame();
    ProcessEvents();
    EXPECT_EQ(m_frame->GetMDIChildCount(), 0);
    EXPECT_FALSE(m_frame->IsFullScreen());
    EXPECT_TRUE(m_frame->isVisible());
}

TEST_F(Shell, TheActiveKindBringsItsMenusAndItsKeysComeFirst)
{
    const QStringList frameMenus{"&File", "&Settings", "&Advanced Tools", "&View", "&Window", "&Help"};
    EXPECT_EQ(MenuTitles(), frameMenus);
    auto liveKeys = [this](const QKeySequence& key) {
        int count = 0;
        for (QShortcut* shortcut : m_frame->LiveShortcuts())
            count += shortcut->key() == key;
        return count;
    };
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_Q)), 1);
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_F)), 0);

    OpenKind(1);
    EXPECT_EQ(MenuTitles(), QStringList{"&Kind"});
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_Q)), 1); // the child's, not both
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_F)), 1);
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_Escape)), 1);

    m_frame->MDIGetActive()->CloseFrame();
    ProcessEvents();
    EXPECT_EQ(MenuTitles(), frameMenus);
    EXPECT_EQ(liveKeys(QKeySequence(Qt::Key_F)), 0);
}

class OtherFrame : public CSMDIChildWnd {};

TEST_F(Shell, AMenuCommandThatActivatesAnotherKindRebuildsTheMenusSafely)
{
    CAmbrelMenus::RegisterMenu(992, {SMenuItem::Popup("&Other", {}), SMenuItem::Popup("&Window", {})});
    ASSERT_TRUE(Manager().AddDocumentTemplate("COtherFrame", 992, VX_DOCUMENT_CLASS(KindDoc),
                                              VX_FRAME_CLASS(OtherFrame), VX_VIEW_CLASS(KindView), true, false,
                                              nullptr));
    OpenKind(1);
    Manager().OpenNewFrame("COtherFrame", false);
    ProcessEvents();
    ASSERT_EQ(MenuTitles(), (QStringList{"&Other", "&Window"}));
    QMenu* window = m_frame->menuBar()->actions().at(1)->menu();
    emit window->aboutToShow();
    QAction* first = nullptr;
    for (QAction* action : window->actions())
        if (action->data().toInt() == cmd::ID_WINDOW_CHILD_FIRST)
            first = action;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->text().startsWith("&1 "));
    first->trigger(); // the menu that holds it is replaced meanwhile
    ProcessEvents();
    EXPECT_EQ(MenuTitles(), QStringList{"&Kind"});
    EXPECT_EQ(Manager().FrameTemplateName(m_frame->MDIGetActive()), kKind);
}

TEST_F(Shell, CommandsOfAbsentKindsAreDisabled)
{
    const struct {
        int id;
        const char* kind;
    } commands[] = {
        {cmd::ID_QUICK_OPEN, CMainFrame::kImageFrame},
        {cmd::ID_OPEN_FOLDER_RECURSED, CMainFrame::kImageFrame},
        {cmd::ID_OPEN_THUMBNAILS, CMainFrame::kThumbnailsFrame},
        {cmd::ID_FIND_DUPLICATES, CMainFrame::kDuplicatesFrame},
    };
    for (const auto& command : commands)
        EXPECT_EQ(m_frame->QueryCommand(command.id).m_bEnabled, Manager().IsDocumentTemplate(command.kind))
            << command.id;
    // No window handles "new": Ctrl+N does nothing.
    EXPECT_FALSE(m_frame->QueryCommand(cmd::ID_FILE_NEW).m_bEnabled);
    EXPECT_FALSE(m_frame->ExecuteCommand(cmd::ID_FILE_NEW));
    EXPECT_TRUE(m_frame->QueryCommand(cmd::ID_SETTINGS).m_bEnabled);
    EXPECT_TRUE(m_frame->QueryCommand(cmd::ID_APP_ABOUT).m_bEnabled);
}

TEST_F(Shell, ClosingSavesTheWindowListOnlyWhenRemembering)
{
    OpenKind(1);
    GeneralSettings.bRememberOpenedDocuments = 0;
    QSettings().setValue("TemplateManager/OpenedWindows", "kept");
    m_frame->close();
    ProcessEvents();
    EXPECT_EQ(QSettings().value("TemplateManager/OpenedWindows").toString(), "kept");
}

TEST_F(Shell, ClosingWithRememberingSavesTheWindowsAndThePlacement)
{
    OpenKind(2);
    m_frame->close();
    ProcessEvents();
    EXPECT_EQ(QSettings().value("TemplateManager/OpenedWindows").toString(),
              QString("%1;X,%1;X").arg(kKind));
    EXPECT_TRUE(QSettings().value("CMainFrame/Window Coordinates").toString().startsWith("1:"));
}

TEST_F(Shell, DroppingSeveralFilesOpensOnlyTheFirst)
{
    if (!Manager().IsDocumentTemplate(CMainFrame::kImageFrame)) {
        ASSERT_TRUE(Manager().AddDocumentTemplate(CMainFrame::kImageFrame, 0, VX_DOCUMENT_CLASS(KindDoc),
                                                  VX_FRAME_CLASS(KindFrame), VX_VIEW_CLASS(KindView), true, false,
                                                  nullptr));
    }
    QTemporaryDir folder;
    QStringList paths;
    for (const char* name : {"first.png", "second.png", "third.png"}) {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        paths << folder.filePath(name);
        ASSERT_TRUE(picture.save(paths.last()));
    }
    EXPECT_TRUE(m_frame->OnDropFiles(
        {QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[1]), QUrl::fromLocalFile(paths[2])}));
    ProcessEvents();
    ASSERT_EQ(m_frame->GetMDIChildCount(), 1);
    EXPECT_EQ(m_frame->MDIGetActive()->GetActiveDocument()->GetPathName(), paths[0]);
}

TEST_F(Shell, RecentFilesHoldSixteenOrNoneAndTheClearCommandEmptiesThem)
{
    CRecentFileList& list = m_app->GetRecentFileList();
    EXPECT_EQ(list.GetSize(), 16);
    for (int i = 0; i < 20; ++i)
        m_app->AddToRecentFileList(QString("/photos/%1.jpg").arg(i));
    EXPECT_EQ(list.GetCount(), 16);
    EXPECT_EQ(list[0], "/photos/19.jpg");
    m_app->AddToRecentFileList("/photos/10.jpg");
    EXPECT_EQ(list[0], "/photos/10.jpg");
    EXPECT_EQ(list.GetCount(), 16);
    EXPECT_TRUE(m_frame->ExecuteCommand(cmd::ID_CLEAR_RECENT_FILES));
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_TRUE(QSettings().value("Recent File List/File1").toString().isEmpty());

    // The capacity is read once, at start.
    GeneralSettings.bRememberRecentFiles = 0;
    SaveGeneralSettings(GeneralSettings);
    EXPECT_EQ(list.GetSize(), 16);
    CAmbrelApp other;
    other.m_bShowSplash = false;
    ASSERT_TRUE(other.InitInstance({}));
    EXPECT_EQ(other.GetRecentFileList().GetSize(), 0);
    other.AddToRecentFileList("/photos/a.jpg");
    EXPECT_EQ(other.GetRecentFileList().GetCount(), 0);
}

TEST_F(Shell, ARunWithoutRecentFilesKeepsTheStoredList)
{
    QSettings().setValue("Recent File List/File1", "/photos/kept [1].jpg");
    QSettings().setValue("Recent File List/File2", "/photos/100%.png");
    GeneralSettings.bRememberRecentFiles = 0;
    SaveGeneralSettings(GeneralSettings);
    {
        CAmbrelApp other;
        other.m_bShowSplash = false;
        ASSERT_TRUE(other.InitInstance({}));
        other.ExitInstance();
    }
    EXPECT_EQ(QSettings().value("Recent File List/File1").toString(), "/photos/kept [1].jpg");
    EXPECT_EQ(QSettings().value("Recent File List/File2").toString(), "/photos/100%.png");
}

TEST_F(Shell, RegisteringFileTypesAlwaysEndsWithItsMessage)
{
    BoxWatcher boxes;
    EXPECT_TRUE(m_frame->ExecuteCommand(cmd::ID_REGISTER_FILE_TYPES));
    ProcessEvents();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Files registered successfully...");
    EXPECT_EQ(boxes.seen[0].title, "Ambrel");
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);

    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QFile desktop(data + "/applications/ambrel.desktop");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    for (const char* type : {"image/jpeg", "image/gif", "image/png", "image/bmp"})
        EXPECT_TRUE(entry.contains(type)) << type;
    EXPECT_TRUE(entry.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" %f"));
}

TEST_F(Shell, RegisteringFileTypesThatFailsSaysSo)
{
    // A data folder below a plain file cannot be made, not even by root.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QDir().mkpath(data);
    QFile blocker(data + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", (data + "/blocker/share").toUtf8());
    BoxWatcher boxes;
    m_frame->ExecuteCommand(cmd::ID_REGISTER_FILE_TYPES);
    ProcessEvents();
    qputenv("XDG_DATA_HOME", data.toUtf8());
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, CMainFrame::kRegisterFailedMessage);
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
}

TEST_F(Shell, TheCrashGuardStoresAnyFileNameAsItIs)
{
    for (const char* name : {"/photos/100%1 %2 off.jpg", "/p/%s%n%%/[x]*?.png", "/p/\xc3\xa9t\xc3\xa9 %9.gif"}) {
        const QString file = QString::fromUtf8(name);
        CAmbrelApp::RecordLastImage(true, file, 12);
        EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), "Filename: " + file + "\tIndex: 12") << name;
    }
    CAmbrelApp::RecordLastImage(false, QString(), 0);
}

TEST_F(Shell, TheLogoShowsOnlyWhileNoWindowIsOpen)
{
    CVxLogoWnd* logo = m_frame->GetLogoWnd();
    EXPECT_EQ(logo->GetText(), "Ambrel - Digital Image Processing ");
    EXPECT_FALSE(logo->GetPicture().isNull());
    EXPECT_TRUE(logo->IsLogoShown());
    OpenKind(1);
    EXPECT_FALSE(logo->IsLogoShown());
    m_frame->MDIGetActive()->CloseFrame();
    ProcessEvents();
    EXPECT_TRUE(logo->IsLogoShown());
}

} // namespace

TEST_F(Shell, ATerminationSignalStoresWhatLastsBetweenRuns)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        QSettings().clear();
        GeneralSettings.nAutoCropTolerance = 40 + signal;
        m_app->AddToRecentFileList("/photos/ended by a signal.jpg");
        OpenKind(1);
        std::raise(signal);  // without its handler the test ends here
        for (int i = 0; i < 20 && !QSettings().contains("TemplateManager/OpenedWindows"); ++i) {
            ProcessEvents();
            QThread::msleep(5);
        }
        SGeneralSettings stored;
        ASSERT_TRUE(LoadGeneralSettings(stored)) << signal;
        EXPECT_EQ(stored.nAutoCropTolerance, 40 + signal);
        EXPECT_EQ(QSettings().value("Recent File List/File1").toString(), "/photos/ended by a signal.jpg");
        EXPECT_TRUE(QSettings().value("TemplateManager/OpenedWindows").toString().startsWith(kKind)) << signal;
    }
}
