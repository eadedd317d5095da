// The document framework: templates by name, opening and activating frames,
// the saved window list, placements, full screen and command routing.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "support/doc_template_manager.h"
#include "support/mdi_frames.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Everything the documents, views and frames did, in order.
std::vector<std::string>& Log()
{
    static std::vector<std::string> log;
    return log;
}

class TestDoc : public CSDocument {
public:
    bool OnOpenDocument(const QString& path) override
    {
        Log().push_back("open " + path.toStdString());
        return !path.contains(QLatin1String("unreadable"));
    }
    bool OnAllowCreateInstance() override { return !s_refuse; }
    bool SaveModified() override { return !s_keepOpen; }
    void PreCloseFrame(CSMDIChildWnd* frame) override
    {
        Log().push_back("preclose");
        CSDocument::PreCloseFrame(frame);
    }
    static inline bool s_refuse = false;
    static inline bool s_keepOpen = false;
};

class OtherDoc : public CSDocument {};

class TestView : public QWidget, public CSView {
public:
    TestView()
    {
        OnCommand(1000, [](int) { Log().push_back("view 1000"); });
    }
    void OnCloseView() override { Log().push_back("view close"); }
};

class OtherView : public QWidget, public CSView {};

class TestFrame : public CSMDIChildWnd {
public:
    TestFrame()
    {
        OnCommand(1000, [](int) { Log().push_back("frame 1000"); });
        OnCommand(1001, [](int) { Log().push_back("frame 1001"); });
    }
    QString OnGetRegistrySection() override { return s_section; }
    void OnDestroy() override
    {
        Log().push_back("destroy");
        CSMDIChildWnd::OnDestroy();
    }
    static inline QString s_section;
};

class OtherFrame : public CSMDIChildWnd {};

class MainFrame : public CSMDIFrameWnd {
public:
    MainFrame() { OnCommand(1002, [](int) { Log().push_back("main 1002"); }); }
    QString OnGetRegistrySection() override { return s_section; }
    static inline QString s_section;
};

class DocTemplates : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log().clear();
        TestDoc::s_refuse = TestDoc::s_keepOpen = false;
        TestFrame::s_section.clear();
        MainFrame::s_section.clear();
        QSettings().clear();
        m_main = std::make_unique<MainFrame>();
        CSMDIFrameWnd::SetMainFrame(m_main.get());
        m_main->resize(900, 700);
        m_main->show();
        ASSERT_TRUE(m_manager.AddDocumentTemplate("CPixelFrame", 129, VX_DOCUMENT_CLASS(TestDoc),
                                                  VX_FRAME_CLASS(TestFrame), VX_VIEW_CLASS(TestView), true, false,
                                                  nullptr, "\nambrel\nambrel\nImages\n.jpg;.png"));
        ASSERT_TRUE(m_manager.AddDocumentTemplate("CThumbnailsFrame", 0, VX_DOCUMENT_CLASS(OtherDoc),
                                                  VX_FRAME_CLASS(OtherFrame), VX_VIEW_CLASS(OtherView), true, false,
                                                  nullptr));
    }
    void TearDown() override
    {
        m_main.reset();
        CSMDIFrameWnd::SetMainFrame(nullptr);
    }

    QString ChildPath(CSMDIChildWnd* child) { return child->GetActiveDocument()->GetPathName(); }
    QStringList OpenPaths()
    {
        QStringList paths;
        for (CSMDIChildWnd* child : m_main->GetMDIChildren())
            paths << m_manager.FrameTemplateName(child) + QLatin1Char(':') + ChildPath(child);
        return paths;
    }
    void CloseAll()
    {
        for (CSMDIChildWnd* child : m_main->GetMDIChildren())
            child->CloseFrame();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QString Saved() { return QSettings().value("TemplateManager/OpenedWindows").toString(); }
    // A path under the test's folder, made as a file (or a folder when it
    // ends with '/'); "@" in a text stands for the folder.
    QString Made(const QString& relative)
    {
        const QString path = m_root.path() + relative;
        if (relative.endsWith(QLatin1Char('/')))
            QDir().mkpath(path);
        else
            QFile(path).open(QIODevice::WriteOnly);
        return relative.endsWith(QLatin1Char('/')) ? path.chopped(1) : path;
    }
    QString Rooted(QString text) { return text.replace(QLatin1Char('@'), m_root.path()); }

    QTemporaryDir m_root;
    std::unique_ptr<MainFrame> m_main;
    CSMultiDocTemplateManager m_manager;
};

TEST_F(DocTemplates, TemplateNamesAreCheckedAndLookedUpExactly)
{
    EXPECT_FALSE(m_manager.AddDocumentTemplate("", 1, VX_DOCUMENT_CLASS(TestDoc), VX_FRAME_CLASS(TestFrame),
                                               VX_VIEW_CLASS(TestView), true, false, nullptr));
    EXPECT_FALSE(m_manager.AddDocumentTemplate(QString(201, 'n'), 1, VX_DOCUMENT_CLASS(TestDoc),
                                               VX_FRAME_CLASS(TestFrame), VX_VIEW_CLASS(TestView), true, false,
                                               nullptr));
    EXPECT_TRUE(m_manager.AddDocumentTemplate(QString(200, 'n'), 1, VX_DOCUMENT_CLASS(TestDoc),
                                              VX_FRAME_CLASS(TestFrame), VX_VIEW_CLASS(TestView), true, false,
                                              nullptr));
    EXPECT_TRUE(m_manager.IsDocumentTemplate("CPixelFrame"));
    EXPECT_FALSE(m_manager.IsDocumentTemplate("cpixelframe"));
    EXPECT_EQ(m_manager.GetTemplateNames().size(), 3);
    EXPECT_EQ(m_manager.OpenNewFrame("CPixelframe", false), -1);
    CSMultiDocTemplateManager empty;
    EXPECT_EQ(empty.OpenNewFrame("CPixelFrame", false), -1);
}

TEST_F(DocTemplates, OpenNewFrameHandsTheOpenersValuesToTheDocument)
{
    int image = 0, group = 0;
    const std::uint32_t handle = CSDocument::CreateAddNewRequest("add this", nullptr);
    EXPECT_EQ(m_manager.OpenNewFrame("CPixelFrame", false, "/photos/a.jpg", &image, &group, true, nullptr, handle), 1);
    CSMDIChildWnd* frame = m_manager.IsFrameTypeOpened("CPixelFrame");
    ASSERT_NE(frame, nullptr);
    CSDocument* doc = frame->GetActiveDocument();
    EXPECT_EQ(doc->GetInitialInfo(), &image);
    EXPECT_EQ(doc->GetInitialInfoEx(), &group);
    EXPECT_EQ(doc->GetAddNewHandle(), handle);
    EXPECT_EQ(doc->GetAddNewRequestRef(), "add this");
    EXPECT_EQ(doc->GetPathName(), "/photos/a.jpg");
    EXPECT_EQ(doc->GetTitle(), "a.jpg");
    EXPECT_FALSE(doc->IsEditMode());
    EXPECT_EQ(m_manager.IsFrameTypeOpened("CThumbnailsFrame"), nullptr);
    EXPECT_TRUE(frame->GetMDISubWindow()->isVisible());

    doc->DestroyAddNewRequest();
    EXPECT_EQ(doc->GetAddNewHandle(), 0u);
    EXPECT_FALSE(CSDocument::IsAddNewRequestActive(handle));
    EXPECT_EQ(doc->GetAddNewRequestRef(), "");
}

TEST_F(DocTemplates, ActivateExistingBringsTheOpenFrameInsteadOfASecond)
{
    ASSERT_EQ(m_manager.OpenNewFrame("CThumbnailsFrame", true), 1);
    ASSERT_EQ(m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg"), 1);
    EXPECT_EQ(m_main->MDIGetActive(), m_manager.IsFrameTypeOpened("CPixelFrame"));
    EXPECT_EQ(m_manager.OpenNewFrame("CThumbnailsFrame", true), 0);
    EXPECT_EQ(m_main->GetMDIChildCount(), 2);
    EXPECT_EQ(m_main->MDIGetActive(), m_manager.IsFrameTypeOpened("CThumbnailsFrame"));
    // Without the flag a second window opens.
    EXPECT_EQ(m_manager.OpenNewFrame("CThumbnailsFrame", false), 1);
    EXPECT_EQ(m_main->GetMDIChildCount(), 3);

    EXPECT_TRUE(m_manager.ActivateFrame("CPixelFrame"));
    EXPECT_EQ(m_main->MDIGetActive(), m_manager.IsFrameTypeOpened("CPixelFrame"));
    CSMDIChildWnd* pixel = m_manager.IsFrameTypeOpened("CPixelFrame");
    EXPECT_TRUE(m_manager.IsWindowChildOfFrameTemplate(pixel->centralWidget(), "CPixelFrame"));
    EXPECT_FALSE(m_manager.IsWindowChildOfFrameTemplate(pixel->centralWidget(), "CThumbnailsFrame"));
}

TEST_F(DocTemplates, ARefusingOrUnreadableDocumentLeavesNoWindow)
{
    TestDoc::s_refuse = true;
    EXPECT_EQ(m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg"), 1);
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
    TestDoc::s_refuse = false;

    EXPECT_EQ(m_manager.OpenNewFrame("CPixelFrame", false, "/p/unreadable.jpg"), 1);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
    EXPECT_TRUE(m_manager.GetTemplate("CPixelFrame")->GetDocuments().empty());
    EXPECT_TRUE(m_main->GetMDIClient()->subWindowList().isEmpty());
}

TEST_F(DocTemplates, ClosingAFrameAsksTheDocumentThenTellsViewAndDocument)
{
    TestFrame::s_section = "ChildPlacement";
    m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg");
    CSMDIChildWnd* frame = m_main->MDIGetActive();
    ASSERT_NE(frame, nullptr);
    TestDoc::s_keepOpen = true;
    Log().clear();
    EXPECT_FALSE(frame->CloseFrame());
    EXPECT_EQ(m_main->GetMDIChildCount(), 1);
    TestDoc::s_keepOpen = false;
    Log().clear();
    EXPECT_TRUE(frame->CloseFrame());
    EXPECT_EQ(Log(), (std::vector<std::string>{"view close", "preclose", "destroy"}));
    EXPECT_FALSE(QSettings().value("ChildPlacement/Window Coordinates").toString().isEmpty());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
    EXPECT_TRUE(m_manager.GetTemplate("CPixelFrame")->GetDocuments().empty());
}

TEST_F(DocTemplates, SavedListHasTheActiveWindowFirstAndNoPathPartWithoutAPath)
{
    m_manager.OpenNewFrame("CThumbnailsFrame", false, "/photos");
    m_manager.OpenNewFrame("CPixelFrame", false, "/photos/a.jpg");
    m_manager.OpenNewFrame("CThumbnailsFrame", false);
    m_manager.ActivateFrame("CPixelFrame");
    m_manager.SaveOpenedFrames();
    EXPECT_EQ(Saved(), "CPixelFrame;X|/photos/a.jpg,CThumbnailsFrame;X,CThumbnailsFrame;X|/photos");
}

TEST_F(DocTemplates, SavedListWritesTheNumberOnlyForTemplatesThatStoreIt)
{
    ASSERT_TRUE(m_manager.AddDocumentTemplate("Numbered", 0, VX_DOCUMENT_CLASS(OtherDoc), VX_FRAME_CLASS(OtherFrame),
                                              VX_VIEW_CLASS(OtherView), true, true, nullptr));
    CSMultiDocTemplateManager manager;
    ASSERT_TRUE(manager.AddDocumentTemplate("Numbered", 0, VX_DOCUMENT_CLASS(OtherDoc), VX_FRAME_CLASS(OtherFrame),
                                            VX_VIEW_CLASS(OtherView), true, true, nullptr));
    ASSERT_TRUE(manager.AddDocumentTemplate("Forgotten", 0, VX_DOCUMENT_CLASS(TestDoc), VX_FRAME_CLASS(TestFrame),
                                            VX_VIEW_CLASS(TestView), false, false, nullptr));
    manager.OpenNewFrame("Numbered", false, "", reinterpret_cast<void*>(std::intptr_t(-42)));
    manager.OpenNewFrame("Forgotten", false, "/p/b.jpg");
    manager.SaveOpenedFrames();
    EXPECT_EQ(Saved(), "Numbered;-42");
}

TEST_F(DocTemplates, NoWindowsWritesTheEmptyListAndReopensNothing)
{
    QSettings().setValue("TemplateManager/OpenedWindows", "CPixelFrame;X|/old.jpg");
    m_manager.SaveOpenedFrames();
    EXPECT_TRUE(QSettings().contains("TemplateManager/OpenedWindows"));
    EXPECT_EQ(Saved(), "");
    m_manager.OpenSavedFrames();
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
    CSMultiDocTemplateManager::ClearRegistryEntries();
    EXPECT_EQ(Saved(), "");
}

TEST_F(DocTemplates, ClearingTheEntriesForgetsAStoredList)
{
    QSettings().setValue("TemplateManager/OpenedWindows", "CPixelFrame;X|/old.jpg,CThumbnailsFrame;X");
    CSMultiDocTemplateManager::ClearRegistryEntries();
    EXPECT_TRUE(QSettings().contains("TemplateManager/OpenedWindows")) << "written as the empty text";
    EXPECT_EQ(Saved(), "");
    m_manager.OpenSavedFrames();
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
}

TEST_F(DocTemplates, ReopeningRestoresTheOrderAndTheActiveWindow)
{
    const QString folder = Made("/photos/"), b = Made("/photos/b.jpg"), a = Made("/photos/a.jpg");
    m_manager.OpenNewFrame("CThumbnailsFrame", false, folder);
    m_manager.OpenNewFrame("CPixelFrame", false, b);
    m_manager.OpenNewFrame("CPixelFrame", false, a);
    m_manager.ActivateFrame("CThumbnailsFrame");
    const QStringList before = OpenPaths();
    m_manager.SaveOpenedFrames();
    const QString saved = Saved();
    CloseAll();
    ASSERT_EQ(m_main->GetMDIChildCount(), 0);

    Log().clear();
    m_manager.OpenSavedFrames();
    EXPECT_EQ(Saved(), ""); // cleared so that a crash is not repeated
    EXPECT_EQ(OpenPaths(), before);
    EXPECT_EQ(m_manager.FrameTemplateName(m_main->MDIGetActive()), "CThumbnailsFrame");
    // Opened from the right: the bottom window first, the active one last.
    EXPECT_EQ(Log(), (std::vector<std::string>{"open " + b.toStdString(), "open " + a.toStdString()}));
    m_manager.SaveOpenedFrames();
    EXPECT_EQ(Saved(), saved);
}

TEST_F(DocTemplates, MalformedSavedListsOpenWhatTheyCanAndNeverRepeat)
{
    for (const char* name : {"/b.jpg", "/x.jpg", "/y.jpg,junk", "/photos, 2020/a;b.jpg", "/a,b;c.jpg", "/d,e;X.jpg",
                             "/f,CThumbnailsFrame;X|g.jpg"})
        Made(name);
    Made("/photos, 2020/");
    Made("/photos, 2020/a;b.jpg");
    struct Case {
        const char* text;
        QStringList opened;
    };
    const Case cases[] = {
        {"garbage without a separator", {}},
        {",,,", {}},
        {";", {}},
        {"|;|", {}},
        {"Unknown;X|@/a.jpg,CPixelFrame;X|@/b.jpg", {"CPixelFrame:@/b.jpg"}},
        {"CPixelFrame;X|@/b.jpg,Unknown;X|@/a.jpg", {"CPixelFrame:@/b.jpg"}},
        {"CPixelFrame;X|", {"CPixelFrame:"}},
        {"CPixelFrame;X|@/photos, 2020/a;b.jpg", {"CPixelFrame:@/photos, 2020/a;b.jpg"}},
        // The last record's path runs to the end of the text.
        {"CPixelFrame;X|@/x.jpg,CPixelFrame;X|@/y.jpg,junk", {"CPixelFrame:@/x.jpg", "CPixelFrame:@/y.jpg,junk"}},
        // A path with ',' before ';' is one path, not two records.
        {"CPixelFrame;X|@/a,b;c.jpg", {"CPixelFrame:@/a,b;c.jpg"}},
        {"CPixelFrame;X|@/d,e;X.jpg,CThumbnailsFrame;X", {"CPixelFrame:@/d,e;X.jpg", "CThumbnailsFrame:"}},
        // A path that holds a whole record: its pieces do not exist, so
        // neither opens in its place.
        {"CPixelFrame;X|@/f,CThumbnailsFrame;X|g.jpg", {}},
        // A vanished file is not reopened, nor anything else for it.
        {"CPixelFrame;X|@/gone.jpg,CPixelFrame;X|@/b.jpg", {"CPixelFrame:@/b.jpg"}},
    };
    for (const Case& c : cases) {
        CloseAll();
        QSettings().setValue("TemplateManager/OpenedWindows", Rooted(QString::fromUtf8(c.text)));
        m_manager.OpenSavedFrames();
        QStringList expected;
        for (const QString& opened : c.opened)
            expected << Rooted(opened);
        EXPECT_EQ(OpenPaths(), expected) << c.text;
        EXPECT_EQ(Saved(), "") << c.text;
    }
}

TEST_F(DocTemplates, AStoredNumberReachesOnlyKindsThatStoreNumbers)
{
    ASSERT_TRUE(m_manager.AddDocumentTemplate("Numbered", 0, VX_DOCUMENT_CLASS(OtherDoc), VX_FRAME_CLASS(OtherFrame),
                                              VX_VIEW_CLASS(OtherView), true, true, nullptr));
    const QString b = Made("/b.jpg");
    QSettings().setValue("TemplateManager/OpenedWindows", "CPixelFrame;4660|" + b + ",Numbered;-42");
    m_manager.OpenSavedFrames();
    ASSERT_EQ(m_main->GetMDIChildCount(), 2);
    for (CSMDIChildWnd* child : m_main->GetMDIChildren()) {
        const bool numbered = ChildPath(child).isEmpty();  // the picture window has its path
        EXPECT_EQ(child->GetActiveDocument()->GetInitialInfo(),
                  numbered ? reinterpret_cast<void*>(std::intptr_t(-42)) : nullptr);
    }
}

TEST(ParseStringToInt, SplitsAtCommasAndRefusesTooManyPieces)
{
    int values[4] = {9, 9, 9, 9};
    EXPECT_TRUE(CSMDIFrameWnd::ParseStringToInt("", values, 4));
    EXPECT_EQ(values[0], 9);
    EXPECT_TRUE(CSMDIFrameWnd::ParseStringToInt("10,-20,30x,abc", values, 4));
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{10, -20, 30, 0}));
    EXPECT_FALSE(CSMDIFrameWnd::ParseStringToInt("1,2,3,4,5", values, 4));
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{1, 2, 3, 4}));
}

TEST(WindowPlacement, FormatsShowStateAndNormalRectangle)
{
    CSWindowPlacement placement;
    placement.showCmd = 3;
    placement.normal = QRect(20, 10, 580, 390);
    EXPECT_EQ(placement.Format(), "3:10,20,400,600");
    CSWindowPlacement parsed;
    ASSERT_TRUE(parsed.Parse("1:10,20,400,600"));
    EXPECT_EQ(parsed.showCmd, 1);
    EXPECT_EQ(parsed.normal, QRect(20, 10, 580, 390));
    for (const char* damaged : {"", "1", "1:", "1:10,20,400", "1:10,20,400,600,5", "1:10,20,10,600", "1:x,y,z,w",
                                 "1:-2147483648,0,2147483647,9", "1:0,-2,9,2147483647"})
        EXPECT_FALSE(CSWindowPlacement().Parse(damaged)) << damaged;
}

TEST_F(DocTemplates, MainFramePlacementNormalMovesMaximizedKeepsTheNormalRectangle)
{
    MainFrame::s_section = "CMainFrame";
    MainFrame frame;
    frame.setGeometry(100, 100, 300, 200);
    QSettings().setValue("CMainFrame/Window Coordinates", "1:10,20,400,600");
    frame.LoadSizes();
    EXPECT_EQ(frame.geometry(), QRect(20, 10, 580, 390));

    MainFrame maximized;
    maximized.setGeometry(100, 100, 300, 200);
    QSettings().setValue("CMainFrame/Window Coordinates", "3:10,20,400,600");
    maximized.LoadSizes();
    maximized.show();
    QApplication::processEvents();
    EXPECT_TRUE(maximized.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(maximized.normalGeometry().topLeft(), QPoint(100, 100));

    for (const char* damaged : {"1:1,2,3,4,5", "garbage", "9:", "1:10,20,5,5"}) {
        MainFrame keeps;
        keeps.setGeometry(100, 100, 300, 200);
        QSettings().setValue("CMainFrame/Window Coordinates", damaged);
        keeps.LoadSizes();
        EXPECT_EQ(keeps.geometry(), QRect(100, 100, 300, 200)) << damaged;
        EXPECT_FALSE(keeps.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)) << damaged;
    }
    // A size beyond the screens is cut to them, where it starts.
    const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
    MainFrame huge;
    QSettings().setValue("CMainFrame/Window Coordinates", "1:10,20,100000,2147483647");
    huge.LoadSizes();
    EXPECT_EQ(huge.geometry(), QRect(QPoint(20, 10), desktop));
}

TEST_F(DocTemplates, MainFramePlacementIsSavedOnlyWithASection)
{
    {
        MainFrame frame;
        frame.setGeometry(30, 40, 500, 300);
        frame.SaveSizes();
    }
    EXPECT_TRUE(QSettings().allKeys().filter("Window Coordinates").isEmpty());
    MainFrame::s_section = "CMainFrame";
    MainFrame frame;
    frame.setGeometry(30, 40, 500, 300);
    frame.show();
    frame.close();
    EXPECT_EQ(QSettings().value("CMainFrame/Window Coordinates").toString(), "1:40,30,340,530");
}

TEST_F(DocTemplates, ChildPlacementIsKeptInsideTheMdiArea)
{
    TestFrame::s_section = "ChildPlacement";
    const QRect client = m_main->GetMDIClient()->viewport()->rect();
    QSettings().setValue("ChildPlacement/Window Coordinates", "1:10,20,210,320");
    m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg");
    QApplication::processEvents();
    EXPECT_EQ(m_main->MDIGetActive()->GetMDISubWindow()->geometry(), QRect(20, 10, 300, 200));

    // Above the area and right of it: top and left become 0.
    QSettings().setValue("ChildPlacement/Window Coordinates",
                         QString("1:-50,%1,150,%2").arg(client.right() + 10).arg(client.right() + 310));
    m_manager.OpenNewFrame("CPixelFrame", false, "/p/b.jpg");
    QApplication::processEvents();
    const QRect moved = m_main->MDIGetActive()->GetMDISubWindow()->geometry();
    EXPECT_EQ(moved.topLeft(), QPoint(0, 0));
    EXPECT_EQ(moved.size(), QSize(client.right() + 310, 150));

    QSettings().setValue("ChildPlacement/Window Coordinates", "3:10,20,210,320");
    m_manager.OpenNewFrame("CPixelFrame", false, "/p/c.jpg");
    QApplication::processEvents();
    EXPECT_TRUE(m_main->MDIGetActive()->IsMDIMaximized());
}

TEST_F(DocTemplates, FullScreenNeedsAChildAndRestoresEverything)
{
    m_main->setGeometry(50, 60, 700, 500);
    m_main->SetFullScreen(true, true);
    EXPECT_FALSE(m_main->IsFullScreen());

    m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg");
    CSMDIChildWnd* child = m_main->MDIGetActive();
    child->MDIRestore();
    m_main->SetFullScreen(true, true);
    EXPECT_TRUE(m_main->IsFullScreen());
    EXPECT_TRUE(m_main->windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(child->IsMDIMaximized());
    EXPECT_TRUE(m_main->menuBar()->isHidden());

    m_main->SetFullScreen(false, true);
    EXPECT_FALSE(m_main->IsFullScreen());
    EXPECT_FALSE(m_main->windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(m_main->geometry(), QRect(50, 60, 700, 500));
    EXPECT_FALSE(child->IsMDIMaximized());
    EXPECT_FALSE(m_main->menuBar()->isHidden());
}

TEST_F(DocTemplates, CommandsGoToViewThenFrameThenMainAndUnhandledOnesAreDisabled)
{
    m_manager.OpenNewFrame("CPixelFrame", false, "/p/a.jpg");
    Log().clear();
    EXPECT_TRUE(m_main->RouteCommand(1000));
    EXPECT_TRUE(m_main->RouteCommand(1001));
    EXPECT_TRUE(m_main->RouteCommand(1002));
    EXPECT_FALSE(m_main->RouteCommand(1003));
    EXPECT_EQ(Log(), (std::vector<std::string>{"view 1000", "frame 1001", "main 1002"}));
    CSCmdUI handled(1001), unhandled(1003);
    m_main->RouteUpdateCommand(handled);
    m_main->RouteUpdateCommand(unhandled);
    EXPECT_TRUE(handled.m_bEnabled);
    EXPECT_FALSE(unhandled.m_bEnabled);
}

TEST_F(DocTemplates, OpenDocumentFilePicksTheTemplateByExtensionAndReusesAnOpenDocument)
{
    EXPECT_EQ(m_manager.TemplateNameForFile("/p/A.JPG"), "CPixelFrame");
    EXPECT_EQ(m_manager.TemplateNameForFile("/p/a.gif"), "");
    CSDocument* first = m_manager.OpenDocumentFile("/p/a.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(m_manager.OpenDocumentFile("/p/a.png"), first);
    EXPECT_EQ(m_main->GetMDIChildCount(), 1);
}

} // namespace
