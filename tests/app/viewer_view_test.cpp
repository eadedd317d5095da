// The image window as a whole, offscreen: opening, stepping with its
// questions, the prefetched neighbour, undecodable files, undo and redo with
// their counted menu texts, zoom limits, selection commands, paste into a
// selection, the slider and the folder watch.
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "address_space_limit.h"
#include "qt_test_support.h"
#include "settings/general_settings.h"
#include "shell/shell_dialogs.h"
#include "shell/messages.h"
#include "support/doc_template_manager.h"
#include "support/mdi_frames.h"
#include "support/message_event.h"
#include "test_support.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/crash_guard.h"
#include "viewer/image_info_dialog.h"
#include "viewer/pixel_frame.h"
#include "viewer/view_geometry.h"
#include "viewer/view/view_edit_commands.h"
#include "viewer/view_status_bar.h"
#include "viewer/viewer_kind.h"

#include "thread_start_refused.h"

using namespace viewcmd;

namespace {

struct Question {
    QString caption, text;
};

// Catches what would be handed to the desktop's opener.
class DesktopOpener : public QObject {
    Q_OBJECT
public:
    DesktopOpener() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~DesktopOpener() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

// What a failed or refused command must leave as it was.
struct WindowState {
    QString path, title, position;
    int current, undo, redo;
    bool modified;
    CVelvix picture;
    bool operator==(const WindowState& o) const
    {
        return path == o.path && title == o.title && position == o.position && current == o.current &&
               undo == o.undo && redo == o.redo && modified == o.modified &&
               vxtest::FirstDifference(const_cast<CVelvix&>(picture), const_cast<CVelvix&>(o.picture)) == -1;
    }
};

void PrintTo(const WindowState& s, std::ostream* out)
{
    *out << s.path.toStdString() << " '" << s.title.toStdString() << "' " << s.position.toStdString() << " #"
         << s.current << " undo " << s.undo << " redo " << s.redo << (s.modified ? " modified" : "");
}

class ImageWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        GeneralSettings = SGeneralSettings();
        m_main = std::make_unique<CSMDIFrameWnd>();
        CSMDIFrameWnd::SetMainFrame(m_main.get());
        m_main->resize(1000, 800);
        m_main->show();
        ASSERT_TRUE(RegisterImageViewer(m_manager));
        m_questions.clear();
        m_answer = false;
        m_beeps = 0;
        CAmbrelView::s_pfnAskYesNo = [this](QWidget*, const QString& caption, const QString& text) {
            m_questions.push_back({caption, text});
            return m_answer;
        };
        CAmbrelView::s_pfnBeep = [this] { ++m_beeps; };
        CAmbrelDoc::s_pfnReportError = [this](const QString& text) { m_errors.push_back(text); };
        CAmbrelDoc::s_pfnAskSaveChanges = [this](const QString& name) {
            m_saveQuestions.push_back(name);
            return m_saveAnswer;
        };
        // Four pictures told apart by their colour and width.
        Save("img2.png", 30, 0x00FF00);
        Save("img10.png", 40, 0x0000FF);
        Save("img1.png", 20, 0xFF0000);
        Save("photo.bmp", 50, 0x808080);
    }

    void TearDown() override
    {
        for (CSMDIChildWnd* child : m_main->GetMDIChildren())
            child->CloseFrame();
        QApplication::processEvents();
        CSMDIFrameWnd::SetMainFrame(nullptr);
        m_main.reset();
    }

    void Save(const std::string& name, int width, VxPixel colour)
    {
        CVelvix image = vxtest::FilledImage(width, 16, colour);
        ASSERT_EQ(image.SaveImage(m_dir.File(name).c_str()), 1);
    }

    bool Open(const std::string& name)
    {
        m_manager.OpenNewFrame(QStringLiteral("CPixelFrame"), false, QString::fromStdString(m_dir.File(name)));
        QApplication::processEvents();
        m_frame = qobject_cast<CPixelFrame*>(m_manager.IsFrameTypeOpened(QStringLiteral("CPixelFrame")));
        m_view = m_frame ? dynamic_cast<CAmbrelView*>(m_frame->GetActiveView()) : nullptr;
        m_doc = m_view ? m_view->GetDocument() : nullptr;
        return m_doc != nullptr;
    }

    // Opens img10.png as the thumbnails hand over a group: "[Other]" with
    // photo.bmp and img10.png.
    bool OpenGroup()
    {
        CGroupStruct group;
        group.m_strName = "[Other]";
        group.m_Paths.Add(m_dir.File("photo.bmp"));
        group.m_Paths.Add(m_dir.File("img10.png"));
        m_manager.OpenNewFrame(QStringLiteral("CPixelFrame"), false,
                               QString::fromStdString(m_dir.File("img10.png")), nullptr, &group);
        QApplication::processEvents();
        m_frame = qobject_cast<CPixelFrame*>(m_manager.IsFrameTypeOpened(QStringLiteral("CPixelFrame")));
        m_view = m_frame ? dynamic_cast<CAmbrelView*>(m_frame->GetActiveView()) : nullptr;
        m_doc = m_view ? m_view->GetDocument() : nullptr;
        return m_doc != nullptr;
    }

    QString Pane(int pane) const { return m_frame->GetViewStatusBar()->GetPaneText(pane); }
    WindowState State() const
    {
        return {m_doc->GetPathName(), m_doc->GetTitle(), Pane(CAmbrelViewStatusBar::kPosition),
                m_doc->m_nCurrentFile, m_doc->m_Buffer.GetUndoCount(), m_doc->m_Buffer.GetRedoCount(),
                m_doc->IsModified(), m_doc->Image()};
    }
    // An edited picture with a step to undo and one to redo.
    void Edit()
    {
        m_view->SetViewSelection(VxRect{0, 0, 10, 8});
        Command(ID_CROP_SELECTION);
        m_view->SetViewSelection(VxRect{0, 0, 5, 5});
        Command(ID_CROP_SELECTION);
        Command(ID_EDIT_UNDO);
    }
    void QuickOpen(const std::string& name)
    {
        const QString path = QString::fromStdString(m_dir.File(name));
        vxtest::WhenShown<CQuickFilenameSearchDlg>([path](CQuickFilenameSearchDlg* dialog) {
            dialog->m_pEdit->setText(path);
            dialog->accept();
        });
        Command(ID_QUICK_OPEN);
    }
    int Width() const { return m_doc->Image().IsValidObject() ? m_doc->Image().GetWidth() : 0; }
    void Command(int id) { m_view->OnCmdMsg(id); }
    CSCmdUI State(int id)
    {
        CSCmdUI ui(id);
        m_frame->OnUpdateCmdMsg(ui);
        return ui;
    }

    vxtest::TempDir m_dir;
    std::unique_ptr<CSMDIFrameWnd> m_main;
    CSMultiDocTemplateManager m_manager;
    CPixelFrame* m_frame = nullptr;
    CAmbrelView* m_view = nullptr;
    CAmbrelDoc* m_doc = nullptr;
    std::vector<Question> m_questions;
    std::vector<QString> m_errors;
    bool m_answer = false;
    int m_beeps = 0;
    std::vector<QString> m_saveQuestions;
    int m_saveAnswer = QMessageBox::No;
};

} // namespace

TEST_F(ImageWindow, OpeningAFileListsItsFolderInNumericOrderAndShowsThePanes)
{
    ASSERT_TRUE(Open("img2.png"));
    EXPECT_EQ(Width(), 30);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "2/4 [All]");
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kZoom), "100%");
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d+ ms$").match(Pane(CAmbrelViewStatusBar::kTime)).hasMatch())
        << Pane(CAmbrelViewStatusBar::kTime).toStdString();
    EXPECT_EQ(m_doc->GetFilePath(0), m_dir.File("img1.png"));
    EXPECT_EQ(m_doc->GetFilePath(2), m_dir.File("img10.png"));
    EXPECT_TRUE(m_doc->IsEditMode());
    EXPECT_EQ(m_frame->GetViewStatusBar()->GetSlider()->maximum(), 4);
    EXPECT_EQ(m_frame->GetViewStatusBar()->GetSlider()->value(), 2);
    // The crash guard is cleared once the decodes (the neighbour's too) have returned.
    m_view->m_Prefetch.Join();
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), QString());
}

TEST_F(ImageWindow, UnreadableFileIsNotOpenedAndSaysWhy)
{
    std::ofstream(m_dir.File("broken.jpg")) << "no picture";
    EXPECT_FALSE(Open("broken.jpg"));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains("broken.jpg"));
}

TEST_F(ImageWindow, SteppingThroughTheFolderAsksOnlyAtTheEnds)
{
    ASSERT_TRUE(Open("img1.png"));
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 30);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "2/4 [All]");
    EXPECT_EQ(m_doc->GetPathName(), QString::fromStdString(m_dir.File("img2.png")));
    Command(ID_PREVIOUS_FILE);
    EXPECT_EQ(Width(), 20);
    EXPECT_TRUE(m_questions.empty());

    Command(ID_PREVIOUS_FILE);  // at the beginning: asks, No stays
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0].caption, "Loop files");
    EXPECT_EQ(m_questions[0].text,
              "You have reached to the beginning of the files... Would you like to load the last file ?");
    EXPECT_EQ(Width(), 20);
    m_answer = true;
    Command(ID_PREVIOUS_FILE);
    EXPECT_EQ(Width(), 50);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "4/4 [All]");

    Command(ID_NEXT_FILE);
    ASSERT_EQ(m_questions.size(), 3u);
    EXPECT_EQ(m_questions[2].text,
              "You have reached to the end of the files... Would you like to load the first file ?");
    EXPECT_EQ(Width(), 20);

    Command(ID_LAST_FILE);
    EXPECT_EQ(Width(), 50);
    Command(ID_FIRST_FILE);
    EXPECT_EQ(Width(), 20);
    EXPECT_EQ(m_questions.size(), 3u);
}

TEST_F(ImageWindow, TheNeighbourIsPrefetchedAndUsed)
{
    ASSERT_TRUE(Open("img1.png"));
    m_view->m_Prefetch.Join();
    EXPECT_EQ(m_view->m_Prefetch.GetIndex(), 1);
    EXPECT_TRUE(m_view->m_Prefetch.Succeeded());
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 30);
    EXPECT_EQ(m_doc->Image().Bytes(0), 0x00FF00u);
    m_view->m_Prefetch.Join();
    EXPECT_EQ(m_view->m_Prefetch.GetIndex(), 2);
    // Going back: the prefetch follows the direction.
    Command(ID_PREVIOUS_FILE);
    m_view->m_Prefetch.Join();
    EXPECT_EQ(m_view->m_Prefetch.GetIndex(), 3);  // wraps before the start
    EXPECT_EQ(Width(), 20);
    // The last entry prefetches backwards when reached with Last.
    Command(ID_LAST_FILE);
    m_view->m_Prefetch.Join();
    EXPECT_EQ(m_view->m_Prefetch.GetIndex(), 2);
}

TEST_F(ImageWindow, AFileThatCannotBeDecodedIsReportedAndSteppingGoesOn)
{
    std::ofstream(m_dir.File("img3.jpg")) << "not a JPEG";
    ASSERT_TRUE(Open("img2.png"));
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "3/5 [All]");
    EXPECT_FALSE(m_doc->Image().IsValidObject());  // not the previous picture
    EXPECT_TRUE(m_view->GetLoadError().contains("img3.jpg"));
    m_view->m_Prefetch.Join();
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), QString());
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 40);
    EXPECT_TRUE(m_view->GetLoadError().isEmpty());
}

TEST_F(ImageWindow, EveryDecodeRunsUnderTheCrashGuard)
{
    std::mutex mutex;
    std::vector<std::pair<std::string, int>> guarded;
    CCrashGuard::s_pfnObserver = [&](const std::string& path, int index) {
        std::lock_guard<std::mutex> lock(mutex);
        guarded.emplace_back(path, index);
    };
    const bool opened = Open("img2.png");
    m_view->m_Prefetch.Join();
    if (opened) {
        Command(ID_NEXT_FILE);  // the prefetched neighbour: no second decode of it
        Command(ID_FIRST_FILE);  // always read
        m_view->m_Prefetch.Join();
    }
    CCrashGuard::s_pfnObserver = nullptr;
    ASSERT_TRUE(opened);
    const std::vector<std::pair<std::string, int>> expected = {
        {m_dir.File("img2.png"), 0},   // opening the file
        {m_dir.File("img10.png"), 3},  // its prefetched neighbour
        {m_dir.File("photo.bmp"), 4},  // the next neighbour
        {m_dir.File("img1.png"), 1},   // First File
        {m_dir.File("img2.png"), 2},   // and its neighbour
    };
    EXPECT_EQ(guarded, expected);
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), QString());
}

// Threads the system refuses (too many running): the crash guard stores its
// marks on the decoding thread and the neighbour is not prefetched, but
// every picture opens and steps as before (the refusal ended the program).
TEST_F(ImageWindow, WithoutThreadsPicturesOpenAndStepUnderTheCrashGuard)
{
    // Hidden: Qt's own painter hands large fills to a pool of threads, and
    // waits for good for the piece of one the system refused.
    m_main->hide();
    g_refuseThreads = true;
    std::vector<QString> marks;
    CCrashGuard::s_pfnObserver = [&](const std::string&, int) {
        marks.push_back(QSettings().value("Validation/LastImage").toString());
    };
    const bool opened = Open("img2.png");
    if (opened)
        Command(ID_NEXT_FILE);
    const int width = opened ? Width() : 0;
    const int prefetched = opened ? m_view->m_Prefetch.GetIndex() : 0;
    CCrashGuard::s_pfnObserver = nullptr;
    g_refuseThreads = false;
    m_main->show();
    ASSERT_TRUE(opened);
    EXPECT_EQ(width, 40);
    EXPECT_EQ(prefetched, -1);
    // The observer runs before the mark is stored: each decode finds the
    // previous one's mark cleared.
    EXPECT_EQ(marks, (std::vector<QString>{QString(), QString()}));
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(QSettings().value("Validation/LastImage").toString(), QString());
    {
        CCrashGuard guard(m_dir.File("img1.png"), 1);
        EXPECT_EQ(QSettings().value("Validation/LastImage").toString(),
                  QString::fromStdString("Filename: " + m_dir.File("img1.png") + "\tIndex: 1"));
    }
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 50);
    m_view->m_Prefetch.Join();
    EXPECT_GE(m_view->m_Prefetch.GetIndex(), 0);  // threads back: prefetched again
}

TEST(CrashGuard, TheMarkIsStoredBeforeTheDecodeAndClearsNeverOvertakeMarks)
{
    QSettings().remove("Validation/LastImage");
    auto stored = [] { return QSettings().value("Validation/LastImage").toString(); };
    {
        CCrashGuard guard("/photos/a.jpg", 7);
        EXPECT_EQ(stored(), "Filename: /photos/a.jpg\tIndex: 7");
    }
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(stored(), QString());
    // Guards on two threads, many after another on each: the writes keep
    // their order, so the last one, a clear, is what stays.
    auto decodeMany = [](const std::string& name) {
        for (int i = 0; i < 20; ++i)
            CCrashGuard guard(name, i);
    };
    std::thread worker(decodeMany, "/photos/worker.jpg");
    decodeMany("/photos/main.jpg");
    worker.join();
    CCrashGuard::WaitForWrites();
    EXPECT_EQ(stored(), QString());
}

TEST(CrashGuard, EveryDecodeStillRunningKeepsItsMark)
{
    auto stored = [] {
        CCrashGuard::WaitForWrites();
        return QSettings().value("Validation/LastImage").toString();
    };
    auto first = std::make_unique<CCrashGuard>("/photos/first %1.jpg", 1);
    auto second = std::make_unique<CCrashGuard>("/photos/second.jpg", 2);
    EXPECT_EQ(stored(), "Filename: /photos/first %1.jpg\tIndex: 1\nFilename: /photos/second.jpg\tIndex: 2");
    first.reset();  // the prefetch ends while the other decode still runs
    EXPECT_EQ(stored(), "Filename: /photos/second.jpg\tIndex: 2");
    second.reset();
    EXPECT_EQ(stored(), QString());
}

TEST_F(ImageWindow, UndoAndRedoMenuTextsCountTheSteps)
{
    ASSERT_TRUE(Open("photo.bmp"));
    EXPECT_EQ(State(ID_EDIT_UNDO).m_strText, "&Undo x0\tCtrl+Z");
    EXPECT_FALSE(State(ID_EDIT_UNDO).m_bEnabled);
    EXPECT_FALSE(State(ID_CROP_SELECTION).m_bEnabled);

    m_view->SetViewSelection(VxRect{10, 2, 30, 12});
    EXPECT_TRUE(State(ID_CROP_SELECTION).m_bEnabled);
    Command(ID_CROP_SELECTION);
    EXPECT_EQ(Width(), 20);
    EXPECT_EQ(m_doc->Image().GetHeight(), 10);
    EXPECT_FALSE(m_view->HasSelection());
    EXPECT_TRUE(m_doc->IsModified());
    m_view->SetViewSelection(VxRect{0, 0, 5, 5});
    Command(ID_CROP_SELECTION);
    EXPECT_EQ(State(ID_EDIT_UNDO).m_strText, "&Undo x2\tCtrl+Z");
    EXPECT_TRUE(State(ID_EDIT_UNDO).m_bEnabled);
    EXPECT_EQ(State(ID_EDIT_REDO).m_strText, "&Redo x0\tCtrl+Y");
    EXPECT_FALSE(State(ID_EDIT_REDO).m_bEnabled);

    Command(ID_EDIT_UNDO);
    EXPECT_EQ(Width(), 20);
    EXPECT_EQ(State(ID_EDIT_UNDO).m_strText, "&Undo x1\tCtrl+Z");
    EXPECT_EQ(State(ID_EDIT_REDO).m_strText, "&Redo x1\tCtrl+Y");
    EXPECT_TRUE(State(ID_EDIT_REDO).m_bEnabled);
    Command(ID_EDIT_UNDO);
    EXPECT_EQ(Width(), 50);
    Command(ID_EDIT_REDO);
    EXPECT_EQ(Width(), 20);

    // A load discards the history.
    m_doc->SetModifiedFlag(false);
    m_answer = true;
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 20);
    EXPECT_EQ(State(ID_EDIT_UNDO).m_strText, "&Undo x0\tCtrl+Z");
    EXPECT_EQ(State(ID_EDIT_REDO).m_strText, "&Redo x0\tCtrl+Y");
}

TEST_F(ImageWindow, ZoomingToASelectionStopsAt3500Percent)
{
    ASSERT_TRUE(Open("photo.bmp"));
    EXPECT_FALSE(State(ID_CANCEL_ZOOM).m_bEnabled);
    for (int i = 0; i < 6; ++i) {
        m_view->SetViewSelection(VxRect{0, 0, 8, 4});
        Command(ID_ZOOM_IN);
        EXPECT_FALSE(m_view->HasSelection());
    }
    EXPECT_EQ(m_view->GetZoom(), 35.0);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kZoom), "3500%");
    EXPECT_TRUE(State(ID_CANCEL_ZOOM).m_bEnabled);
    Command(ID_CANCEL_ZOOM);
    EXPECT_EQ(m_view->GetZoom(), 1.0);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kZoom), "100%");
    EXPECT_EQ(m_doc->m_rcVisible, VxRect{});

    // Auto scale resets the zoom and disables zooming in.
    Command(ID_AUTO_SCALE);
    EXPECT_TRUE(State(ID_AUTO_SCALE).m_nCheck);
    EXPECT_FALSE(State(ID_ZOOM_IN).m_bEnabled);
    Command(ID_AUTO_SCALE);
    EXPECT_TRUE(State(ID_ZOOM_IN).m_bEnabled);
}

TEST_F(ImageWindow, AutoScaleShowsEveryShapeAndMapsTheSelectionByTheFit)
{
    // The scale is that of the side filling the window; the other side of a
    // thin picture is still one pixel across.
    for (const QSize shape : {QSize(1, 65535), QSize(65535, 1), QSize(3, 5)}) {
        const int w = shape.width(), h = shape.height();
        const std::string name = "shape" + std::to_string(w) + "x" + std::to_string(h) + ".png";
        CVelvix picture = vxtest::RandomImage(w, h, 7);
        ASSERT_EQ(picture.SaveImage(m_dir.File(name).c_str()), 1);
        ASSERT_TRUE(Open(name));
        Command(ID_AUTO_SCALE);
        QApplication::processEvents();
        const QSize client = m_view->viewport()->size();
        const double scale = std::min(double(client.width()) / w, double(client.height()) / h);
        const QSize content(std::max(1, int(w * scale)), std::max(1, int(h * scale)));
        const QImage shown = m_view->viewport()->grab().toImage();
        for (int y = 0; y < content.height(); ++y)
            for (int x = 0; x < content.width(); ++x)
                ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, picture.Bytes(int(x / scale), h - 1 - int(y / scale)) & 0xFFFFFF)
                    << name << " at " << x << "," << y;
        m_view->SetViewSelection(VxRect{0, 0, content.width(), std::max(1, content.height() / 2)});
        EXPECT_EQ(m_view->GetImageSelection(),
                  (VxRect{0, 0, std::min(w, int(content.width() / scale)),
                          std::min(h, int(std::max(1, content.height() / 2) / scale))}))
            << name;
        m_frame->CloseFrame();
        QApplication::processEvents();
    }
}

TEST_F(ImageWindow, SelectionCommandsSquareAndTheAlwaysFlagsExcludeEachOther)
{
    ASSERT_TRUE(Open("photo.bmp"));
    EXPECT_FALSE(State(ID_SQUARE_LONGER).m_bEnabled);
    m_view->SetViewSelection(VxRect{4, 2, 24, 10});
    Command(ID_SQUARE_LONGER);
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{4, 2, 24, 22}));
    Command(ID_SQUARE_SHORTER);
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{4, 2, 24, 22}));
    m_view->SetViewSelection(VxRect{4, 2, 24, 10});
    Command(ID_SQUARE_SHORTER);
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{4, 2, 12, 10}));
    // The selection in image coordinates is clipped to the picture.
    m_view->SetViewSelection(VxRect{40, 10, 90, 40});
    EXPECT_EQ(m_view->GetImageSelection(), (VxRect{40, 10, 50, 16}));

    Command(ID_ALWAYS_SQUARE_LONGER);
    EXPECT_TRUE(State(ID_ALWAYS_SQUARE_LONGER).m_nCheck);
    Command(ID_ALWAYS_SQUARE_SHORTER);
    EXPECT_TRUE(State(ID_ALWAYS_SQUARE_SHORTER).m_nCheck);
    EXPECT_FALSE(State(ID_ALWAYS_SQUARE_LONGER).m_nCheck);
    Command(ID_ALWAYS_SQUARE_SHORTER);
    EXPECT_FALSE(State(ID_ALWAYS_SQUARE_SHORTER).m_nCheck);
}

TEST_F(ImageWindow, RubberBandWithTheMouseAndAlwaysSquare)
{
    ASSERT_TRUE(Open("photo.bmp"));
    QWidget* viewport = m_view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(30, 12));
    QTest::mouseMove(viewport, QPoint(10, 2));
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kSelection), "10.2 | 20.10");
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(10, 2));
    QApplication::processEvents();
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kSelection), "");
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{10, 2, 30, 12}));

    Command(ID_ALWAYS_SQUARE_SHORTER);
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseMove(viewport, QPoint(40, 12));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(40, 12));
    QApplication::processEvents();
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{2, 2, 12, 12}));
    Command(ID_ALWAYS_SQUARE_SHORTER);

    // A click without a drag drops the selection.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
    QApplication::processEvents();
    EXPECT_FALSE(m_view->HasSelection());
}

TEST_F(ImageWindow, PasteReplacesThePictureOrFillsTheSelection)
{
    ASSERT_TRUE(Open("photo.bmp"));
    QImage small(10, 10, QImage::Format_RGB32);
    small.fill(QColor(255, 255, 0));
    QApplication::clipboard()->setImage(small);
    ASSERT_TRUE(State(ID_EDIT_PASTE).m_bEnabled);

    m_view->SetViewSelection(VxRect{5, 2, 25, 14});
    Command(ID_EDIT_PASTE);
    CVelvix& image = m_doc->Image();
    EXPECT_EQ(image.GetWidth(), 50);
    const int h = image.GetHeight();
    // Display row r is buffer row h - 1 - r.
    EXPECT_EQ(image.Bytes(5, h - 1 - 2), 0xFFFF00u);
    EXPECT_EQ(image.Bytes(14, h - 1 - 11), 0xFFFF00u);
    EXPECT_EQ(image.Bytes(15, h - 1 - 2), 0x808080u);  // beyond the pasted 10 x 10
    EXPECT_EQ(image.Bytes(5, h - 1 - 12), 0x808080u);
    EXPECT_EQ(m_doc->m_Buffer.GetUndoCount(), 1);

    m_view->SetViewSelection(VxRect{-1, -1, -1, -1});
    Command(ID_EDIT_PASTE);
    EXPECT_EQ(m_doc->Image().GetWidth(), 10);
    EXPECT_EQ(m_doc->m_Buffer.GetUndoCount(), 2);

    // Copy puts the picture (or the selected part) on the clipboard.
    Command(ID_EDIT_UNDO);
    m_view->SetViewSelection(VxRect{0, 0, 7, 3});
    Command(ID_EDIT_COPY);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(7, 3));
}

TEST_F(ImageWindow, ReleasingTheSliderLoadsThatEntry)
{
    ASSERT_TRUE(Open("img1.png"));
    VxSendMessageToDescendants(m_frame, msg::WM_SLIDER_RELEASED, 3);
    EXPECT_EQ(Width(), 40);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "3/4 [All]");
}

TEST_F(ImageWindow, OpeningAFolderStepsThroughItsTree)
{
    std::filesystem::create_directory(m_dir.Path() / "sub");
    Save("sub/deep.png", 60, 0x123456);
    m_manager.OpenNewFrame(QStringLiteral("CPixelFrame"), false, QString::fromStdString(m_dir.Path().string() + "/"));
    QApplication::processEvents();
    m_frame = qobject_cast<CPixelFrame*>(m_manager.IsFrameTypeOpened(QStringLiteral("CPixelFrame")));
    ASSERT_NE(m_frame, nullptr);
    m_view = dynamic_cast<CAmbrelView*>(m_frame->GetActiveView());
    m_doc = m_view->GetDocument();
    EXPECT_EQ(m_doc->m_nActiveList, CImageFileLists::kListSubFolders);
    EXPECT_EQ(m_doc->GetFileCount(), 5);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/5 [Sub folders]");
    m_view->RefreshFolder();  // as after a change in the tree: still at the picture shown
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/5 [Sub folders]");
    // All PNG files of the tree first, then the bitmaps.
    EXPECT_EQ(m_doc->GetFilePath(3), m_dir.File("sub/deep.png"));
    EXPECT_EQ(m_doc->GetFilePath(4), m_dir.File("photo.bmp"));
    Command(ID_NEXT_FOLDER);
    EXPECT_EQ(Width(), 60);
    Command(ID_NEXT_FOLDER);  // the next change of folder in list order
    EXPECT_EQ(Width(), 50);
    Command(ID_NEXT_FOLDER);  // the last entry: the loop question first
    EXPECT_EQ(m_questions.size(), 1u);
    Command(ID_FIRST_FILE);
    Command(ID_NEXT_FILE);
    Command(ID_PREVIOUS_FOLDER);  // nothing before the first folder
    EXPECT_EQ(m_beeps, 1);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "2/5 [Sub folders]");
}

TEST_F(ImageWindow, TheFolderWatchRefreshesTheListAndAnEmptyFolderClosesTheWindow)
{
    ASSERT_TRUE(Open("img1.png"));
    Save("img5.png", 25, 0x111111);
    QElapsedTimer timer;
    timer.start();
    while (Pane(CAmbrelViewStatusBar::kPosition) != "1/5 [All]" && timer.elapsed() < 5000)
        QTest::qWait(20);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/5 [All]");

    for (const char* name : {"img1.png", "img2.png", "img5.png", "img10.png", "photo.bmp"})
        std::filesystem::remove(m_dir.File(name));
    QPointer<CPixelFrame> frame = m_frame;
    timer.restart();
    while (frame && timer.elapsed() < 5000)
        QTest::qWait(20);
    EXPECT_TRUE(frame.isNull());
}

TEST_F(ImageWindow, AGroupFromTheThumbnailsIsBrowsedAlone)
{
    ASSERT_TRUE(OpenGroup());
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "2/2 [Other]");
    m_answer = true;
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 50);
}

TEST_F(ImageWindow, LeavingAnEditedPictureAsksToSaveItAndCancelStays)
{
    ASSERT_TRUE(Open("img1.png"));
    m_view->SetViewSelection(VxRect{0, 0, 10, 8});
    Command(ID_CROP_SELECTION);
    m_saveAnswer = QMessageBox::Cancel;
    Command(ID_NEXT_FILE);
    ASSERT_EQ(m_saveQuestions.size(), 1u);
    EXPECT_EQ(m_saveQuestions[0], "img1.png");
    EXPECT_EQ(Width(), 10);  // still the edited picture
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/4 [All]");

    m_saveAnswer = QMessageBox::No;
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 30);
    EXPECT_FALSE(m_doc->IsModified());
    // The file on disk was not touched.
    CVelvix original;
    ASSERT_EQ(original.ReadImage(m_dir.File("img1.png").c_str()), 1);
    EXPECT_EQ(original.GetWidth(), 20);

    // Saving writes the picture and clears the mark.
    m_view->SetViewSelection(VxRect{0, 0, 5, 5});
    Command(ID_CROP_SELECTION);
    m_saveAnswer = QMessageBox::Yes;
    Command(ID_NEXT_FILE);
    CVelvix saved;
    ASSERT_EQ(saved.ReadImage(m_dir.File("img2.png").c_str()), 1);
    EXPECT_EQ(saved.GetWidth(), 5);
    EXPECT_EQ(Width(), 40);
}

TEST_F(ImageWindow, APictureHandedOverWithoutAFileCannotStepOrSetTheWallpaper)
{
    CVelvix scanned = vxtest::RandomImage(24, 18, 7);
    m_manager.OpenNewFrame(QStringLiteral("CPixelFrame"), false, QString(), &scanned);
    QApplication::processEvents();
    m_frame = qobject_cast<CPixelFrame*>(m_manager.IsFrameTypeOpened(QStringLiteral("CPixelFrame")));
    ASSERT_NE(m_frame, nullptr);
    m_view = dynamic_cast<CAmbrelView*>(m_frame->GetActiveView());
    m_doc = m_view->GetDocument();
    EXPECT_TRUE(m_doc->m_bCreatedFromImage);
    EXPECT_TRUE(m_doc->IsModified());
    EXPECT_FALSE(m_doc->IsEditMode());
    EXPECT_EQ(vxtest::FirstDifference(m_doc->Image(), scanned), -1);  // a copy of it
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "--/--");
    for (int id : {ID_NEXT_FILE, ID_PREVIOUS_FILE, ID_FIRST_FILE, ID_LAST_FILE, ID_NEXT_FOLDER, ID_PREVIOUS_FOLDER,
                   ID_REFRESH_FOLDER, ID_SET_WALLPAPER})
        EXPECT_FALSE(State(id).m_bEnabled) << id;
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 24);
}

TEST_F(ImageWindow, TheWindowFitsThePictureAndScrollKeysMoveAZoomedOne)
{
    CVelvix big = vxtest::FilledImage(300, 200, 0x204060);
    ASSERT_EQ(big.SaveImage(m_dir.File("big.png").c_str()), 1);
    GeneralSettings.bOpenMaximized = 0;
    ASSERT_TRUE(Open("big.png"));
    QTest::qWait(20);
    EXPECT_EQ(m_view->viewport()->size(), QSize(300, 200));
    // Resize to Contents brings a resized window back to the picture's size.
    m_frame->GetMDISubWindow()->resize(500, 400);
    QApplication::processEvents();
    ASSERT_NE(m_view->viewport()->size(), QSize(300, 200));
    Command(ID_RESIZE_TO_CONTENTS);
    QApplication::processEvents();
    EXPECT_EQ(m_view->viewport()->size(), QSize(300, 200));

    // At 100 % nothing scrolls; zoomed in, the keys step by 5 and page to the ends.
    QScrollBar* v = m_view->verticalScrollBar();
    QScrollBar* h = m_view->horizontalScrollBar();
    QTest::keyClick(m_view, Qt::Key_Down);
    EXPECT_EQ(v->value(), 0);
    m_view->SetViewSelection(VxRect{0, 0, 30, 4});
    Command(ID_ZOOM_IN);  // x 10
    ASSERT_GT(v->maximum(), 20);
    ASSERT_GT(h->maximum(), 20);
    v->setValue(0);
    h->setValue(0);
    QTest::keyClick(m_view, Qt::Key_Down);
    QTest::keyClick(m_view, Qt::Key_Down);
    EXPECT_EQ(v->value(), 10);
    QTest::keyClick(m_view, Qt::Key_Up);
    EXPECT_EQ(v->value(), 5);
    QTest::keyClick(m_view, Qt::Key_Right);
    EXPECT_EQ(h->value(), 5);
    QTest::keyClick(m_view, Qt::Key_Left);
    EXPECT_EQ(h->value(), 0);
    QTest::keyClick(m_view, Qt::Key_PageDown);
    EXPECT_EQ(v->value(), v->maximum());
    // The visible part follows the scroll, in thousandths of the picture.
    EXPECT_EQ(m_doc->m_rcVisible.bottom, 1000);
    EXPECT_GT(m_doc->m_rcVisible.top, 0);
    QTest::keyClick(m_view, Qt::Key_PageUp);
    EXPECT_EQ(v->value(), 0);
    EXPECT_EQ(m_doc->m_rcVisible.top, 0);
}

TEST_F(ImageWindow, TheSlideshowFitsEachPictureWithBilinearResampling)
{
    CVelvix picture = vxtest::RandomImage(40, 30, 3);
    ASSERT_EQ(picture.SaveImage(m_dir.File("img3.bmp").c_str()), 1);
    GeneralSettings.bNoEnlargeInSlideshow = 0;
    ASSERT_TRUE(Open("img3.bmp"));
    Command(ID_SLIDESHOW);
    ASSERT_TRUE(m_view->IsSlideshow());
    ASSERT_NE(m_view->m_FullScreenWnd, nullptr);
    const QSize screen = m_view->m_FullScreenWnd->size();
    // The smaller of the two ratios, proportions kept.
    const double ratio = std::min(double(screen.width()) / 40, double(screen.height()) / 30);
    const int width = int(40 * ratio), height = int(30 * ratio);
    ASSERT_GT(width, 40);
    CVelvix expected = picture;
    expected.Resample_Bilinear(height, width, false);
    ASSERT_EQ(Width(), width);
    EXPECT_EQ(m_doc->Image().GetHeight(), height);
    EXPECT_EQ(vxtest::FirstDifference(m_doc->Image(), expected), -1);

    // Any other key ends it and the picture is shown at full size again.
    QTest::keyClick(m_view->m_FullScreenWnd.get(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(m_view->IsSlideshow());
    EXPECT_EQ(Width(), 40);

    // Without enlarging, a small picture stays at 100 %.
    GeneralSettings.bNoEnlargeInSlideshow = 1;
    Command(ID_SLIDESHOW);
    ASSERT_TRUE(m_view->IsSlideshow());
    EXPECT_EQ(Width(), 40);
    EXPECT_EQ(vxtest::FirstDifference(m_doc->Image(), picture), -1);
}

TEST_F(ImageWindow, AFolderChangeWhileAnotherWindowIsActiveWaitsForTheFocus)
{
    ASSERT_TRUE(Open("img1.png"));
    CPixelFrame* first = m_frame;
    CAmbrelView* firstView = m_view;
    ASSERT_TRUE(Open("photo.bmp"));
    ASSERT_NE(m_frame, first);
    ASSERT_EQ(m_main->MDIGetActive(), m_frame);
    firstView->m_Watcher.StopWatch();  // the change is delivered by hand below
    m_view->m_Watcher.StopWatch();

    Save("img5.png", 25, 0x111111);
    firstView->RefreshFolder();
    EXPECT_TRUE(firstView->m_bRefreshDue);
    EXPECT_EQ(first->GetViewStatusBar()->GetPaneText(CAmbrelViewStatusBar::kPosition), "1/4 [All]");

    first->MDIActivate();
    QApplication::processEvents();
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(firstView, &focus);
    QApplication::processEvents();
    EXPECT_FALSE(firstView->m_bRefreshDue);
    EXPECT_EQ(first->GetViewStatusBar()->GetPaneText(CAmbrelViewStatusBar::kPosition), "1/5 [All]");
}

TEST_F(ImageWindow, TheGroupButtonSwitchesBetweenTheFolderAndTheGroup)
{
    ASSERT_TRUE(OpenGroup());
    ASSERT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "2/2 [Other]");
    // "All": the folder, from its first file.
    Command(ID_GROUP_ALL);
    EXPECT_EQ(m_doc->m_nActiveList, CImageFileLists::kListAll);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/4 [All]");
    EXPECT_EQ(Width(), 20);
    // Back to the group, which is never rebuilt.
    Command(ID_GROUP_GROUP);
    EXPECT_EQ(m_doc->m_nActiveList, CImageFileLists::kListGroup);
    EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), "1/2 [Other]");
    EXPECT_EQ(Width(), 50);
}

TEST_F(ImageWindow, CommandsOfKindsNotRegisteredAreDisabledAndTogglesShowTheirState)
{
    ASSERT_TRUE(Open("img1.png"));
    EXPECT_FALSE(State(ID_SHOW_THUMBNAILS).m_bEnabled);
    EXPECT_FALSE(State(ID_FIND_DUPLICATES).m_bEnabled);
    EXPECT_FALSE(State(ID_EDIT_CUT).m_bEnabled);
    EXPECT_FALSE(State(ID_CANCEL_ZOOM).m_bEnabled);  // at 100 %
    EXPECT_EQ(State(ID_TRACK_LINES).m_nCheck, 0);
    Command(ID_TRACK_LINES);
    EXPECT_EQ(State(ID_TRACK_LINES).m_nCheck, 1);
    EXPECT_EQ(State(ID_AUTO_SCALE).m_nCheck, 0);
    Command(ID_AUTO_SCALE);
    EXPECT_EQ(State(ID_AUTO_SCALE).m_nCheck, 1);
    EXPECT_FALSE(State(ID_ZOOM_IN).m_bEnabled);  // not while the picture is scaled to the window
}

TEST(ImageInfoDialog, ShowsTheNameTheFolderAndTheSize)
{
    CVelvix image = vxtest::FilledImage(24, 18, 0);
    CImageInfoDlg dialog(QStringLiteral("/photos/holiday/beach.JPG"), image);
    EXPECT_EQ(dialog.windowTitle(), "Image Information");
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileName"));
    auto* folder = dialog.findChild<QLineEdit*>(QStringLiteral("folder"));
    ASSERT_TRUE(name && folder);
    EXPECT_EQ(name->text(), "beach.JPG");
    EXPECT_EQ(folder->text(), "/photos/holiday/");
    EXPECT_TRUE(name->isReadOnly() && folder->isReadOnly());
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(" 24 pixels")) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(" 18 pixels")) << labels.join('|').toStdString();
}

TEST_F(ImageWindow, MovingTheSelectionAndZoomingToADrawnRectangle)
{
    ASSERT_TRUE(Open("photo.bmp"));
    QWidget* viewport = m_view->viewport();
    EXPECT_FALSE(State(ID_MOVE_SELECTION).m_bEnabled);
    m_view->SetViewSelection(VxRect{10, 2, 20, 8});
    ASSERT_TRUE(State(ID_MOVE_SELECTION).m_bEnabled);
    Command(ID_MOVE_SELECTION);
    // The outline follows the drag; the selection takes its place on release.
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(12, 4));
    QTest::mouseMove(viewport, QPoint(20, 7));
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{10, 2, 20, 8}));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(20, 7));
    QApplication::processEvents();
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{18, 5, 28, 11}));
    // Back to drawing: the next drag makes a new selection.
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(viewport, QPoint(6, 4));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(6, 4));
    QApplication::processEvents();
    EXPECT_EQ(m_view->GetViewSelection(), (VxRect{1, 1, 6, 4}));

    // Zoom In without a selection: the next rectangle drawn is zoomed to.
    m_view->SetViewSelection(VxRect{-1, -1, -1, -1});
    Command(ID_ZOOM_IN);
    EXPECT_EQ(m_view->GetZoom(), 1.0);
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(10, 4));
    QTest::mouseMove(viewport, QPoint(30, 8));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(30, 8));
    QApplication::processEvents();
    EXPECT_DOUBLE_EQ(m_view->GetZoom(), viewport->width() / 20.0 > 35 ? 35.0 : viewport->width() / 20.0);
    EXPECT_FALSE(m_view->HasSelection());
    // The selection's top-left corner, scaled, is at the top-left of the window.
    EXPECT_EQ(m_view->horizontalScrollBar()->value(),
              std::min(int(10 * m_view->GetZoom()), m_view->horizontalScrollBar()->maximum()));
}

TEST_F(ImageWindow, AFailedOrCancelledQuickOpenChangesNothing)
{
    std::ofstream(m_dir.File("fake [1].png")) << "not a picture";
    ASSERT_TRUE(Open("img2.png"));
    Edit();
    const WindowState before = State();
    DesktopOpener opener;
    struct Case {
        const char* name;
        int answer;  // to the save question
        size_t errors;
    };
    for (const Case& c : {Case{"fake [1].png", QMessageBox::No, 1}, Case{"img1.png", QMessageBox::Cancel, 0}}) {
        m_errors.clear();
        m_saveAnswer = c.answer;
        QuickOpen(c.name);
        EXPECT_EQ(State(), before) << c.name;
        EXPECT_EQ(m_errors.size(), c.errors) << c.name;
        EXPECT_TRUE(opener.opened.isEmpty()) << c.name;
    }
    // Saving now writes the window's own file, not the one that failed.
    ASSERT_TRUE(m_doc->DoFileSave());
    std::ifstream fake(m_dir.File("fake [1].png"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(fake), {}), "not a picture");
    CVelvix saved;
    ASSERT_EQ(saved.ReadImage(m_dir.File("img2.png").c_str()), 1);
    EXPECT_EQ(saved.GetWidth(), 10);
}


// A picture opened through a symbolic link is saved where the link leads,
// made again there when only it is gone. A link into a folder that is gone
// fails, says where it leads, and leaves window, link and files as they were.
TEST_F(ImageWindow, SavingThroughALinkWritesWhereItLeads)
{
    namespace fs = std::filesystem;
    vxtest::TempDir elsewhere;
    const fs::path folder = elsewhere.Path() / "sub [1] %";
    fs::create_directory(folder);
    const std::string target = (folder / "pic\xc3\xa9.png").string(), link = m_dir.File("through [*].png");
    Save("img1.png", 24, 0x123456);
    fs::copy_file(m_dir.File("img1.png"), target);
    fs::create_symlink(target, link);
    ASSERT_TRUE(Open("through [*].png"));
    Edit();
    fs::remove(target);
    ASSERT_TRUE(m_doc->DoFileSave());
    EXPECT_TRUE(fs::is_symlink(link));
    CVelvix saved;
    ASSERT_EQ(saved.ReadImage(target.c_str()), 1);
    EXPECT_EQ(vxtest::FirstDifference(saved, m_doc->Image()), -1);

    Edit();
    fs::remove_all(folder);
    const WindowState before = State();
    m_errors.clear();
    EXPECT_FALSE(m_doc->DoFileSave());
    EXPECT_EQ(State(), before);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], QStringLiteral("Could not save the image to:\n%1\nThe symbolic link leads to:\n%2\n(%3)")
                               .arg(QString::fromStdString(link), QString::fromStdString(target),
                                    QString::fromLocal8Bit(std::strerror(ENOENT))));
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(ImageWindow, AFailedPasteLeavesTheUndoRingAsItWas)
{
    ASSERT_TRUE(Open("photo.bmp"));
    Edit();
    QApplication::clipboard()->clear();
    for (const VxRect& selection : {VxRect{-1, -1, -1, -1}, VxRect{0, 0, 4, 4}}) {
        m_view->SetViewSelection(selection);
        const WindowState before = State();
        Command(ID_EDIT_PASTE);
        EXPECT_EQ(State(), before);
    }
    Command(ID_EDIT_REDO);  // the real step undone before, not a copy of the picture
    EXPECT_EQ(Width(), 5);
}

// Copy, Paste and Crop of a picture larger than the memory left: a message,
// and the picture, its steps, its path, the selection and the clipboard stay
// as they were.
TEST_F(ImageWindow, ClipboardCommandsShortOfMemorySaySoAndChangeNothing)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a limit of the address space";
#endif
    ASSERT_TRUE(Open("photo.bmp"));
    Edit();
    QImage large(4800, 3600, QImage::Format_RGB32);  // 69 MB
    large.fill(QColor(10, 20, 30));
    QImage small(10, 10, QImage::Format_RGB32);
    small.fill(QColor(255, 255, 0));
    auto fill = [](const QImage& image) {
        auto* data = new QMimeData;
        data->setImageData(image);
        data->setText(QStringLiteral("kept 100% [*]"));
        QApplication::clipboard()->setMimeData(data);
    };
    struct Case {
        const char* name;
        int command;
        const QImage& onClipboard;
        bool largePicture;
        VxRect selection;
        const char* message;
    };
    const VxRect none{-1, -1, -1, -1};
    for (const Case& c : {Case{"copy", ID_EDIT_COPY, small, true, none, CViewEditCommands::kCopyFailed},
                          Case{"copy part", ID_EDIT_COPY, small, true, {0, 0, 4700, 3600}, CViewEditCommands::kCopyFailed},
                          Case{"paste", ID_EDIT_PASTE, large, false, none, CViewEditCommands::kPasteFailed},
                          Case{"paste in part", ID_EDIT_PASTE, small, true, {0, 0, 5, 5}, CViewEditCommands::kPasteFailed},
                          Case{"crop", ID_CROP_SELECTION, small, true, {0, 0, 4700, 3600}, CViewEditCommands::kCropFailed}}) {
        SCOPED_TRACE(c.name);
        if (c.largePicture != (Width() == 4800)) {
            fill(c.largePicture ? large : small);
            m_view->SetViewSelection(none);
            Command(ID_EDIT_PASTE);
            ASSERT_EQ(Width(), c.largePicture ? 4800 : 10);
        }
        fill(c.onClipboard);
        m_view->SetViewSelection(c.selection);
        if (c.selection.right > 5) {  // a part too large for the memory left
            ASSERT_GT(m_view->GetImageSelection().Width() * m_view->GetImageSelection().Height(), 16 << 20);
        }
        const WindowState before = State();
        const VxRect selected = m_view->GetImageSelection();
        m_errors.clear();
        {
            const AddressSpaceLimit limit(24 << 20);
            ASSERT_TRUE(limit.IsSet());
            Command(c.command);
        }
        EXPECT_EQ(m_errors, std::vector<QString>{QString::fromLatin1(c.message)});
        EXPECT_EQ(State(), before);
        EXPECT_EQ(m_view->GetImageSelection(), selected);
        EXPECT_EQ(QApplication::clipboard()->image(), c.onClipboard);
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept 100% [*]"));
        // With the memory back, the same command goes through.
        m_errors.clear();
        Command(c.command);
        EXPECT_TRUE(m_errors.empty());
        if (c.command == ID_EDIT_COPY)
            EXPECT_EQ(QApplication::clipboard()->image().size(),
                      c.selection.right > 0 ? QSize(m_view->GetImageSelection().Width(), m_view->GetImageSelection().Height())
                                            : QSize(4800, 3600));
        else
            EXPECT_EQ(m_doc->m_Buffer.GetUndoCount(), before.undo + 1);
    }
}

TEST_F(ImageWindow, ASelectionWhollyOutsideThePictureIsDropped)
{
    ASSERT_TRUE(Open("photo.bmp"));  // 50 x 16
    QWidget* viewport = m_view->viewport();
    ASSERT_GT(viewport->width(), 70);
    ASSERT_GT(viewport->height(), 30);
    struct Case {
        QPoint from, to;
        bool kept;
    };
    for (const Case& c : {Case{{55, 2}, {70, 10}, false}, Case{{2, 20}, {30, 28}, false},
                          Case{{50, 16}, {60, 25}, false}, Case{{49, 15}, {60, 25}, true}}) {
        QTest::mousePress(viewport, Qt::LeftButton, {}, c.from);
        QTest::mouseMove(viewport, c.to);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, c.to);
        QApplication::processEvents();
        EXPECT_EQ(m_view->HasSelection(), c.kept) << c.from.x() << "," << c.from.y();
        EXPECT_EQ(State(ID_CROP_SELECTION).m_bEnabled, c.kept);
    }
    m_view->SetViewSelection(VxRect{60, 0, 90, 10});
    EXPECT_FALSE(m_view->HasSelection());
    // Copy then takes the whole picture, as without a selection.
    Command(ID_EDIT_COPY);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(50, 16));
}

TEST_F(ImageWindow, ASlideshowOfAPictureOutsideTheListLeavesThePictureAlone)
{
    CGroupStruct group;
    group.m_strName = "[Other]";
    group.m_Paths.Add(m_dir.File("photo.bmp"));
    const CVelvix picture = vxtest::RandomImage(40, 30, 21);
    ASSERT_EQ(const_cast<CVelvix&>(picture).SaveImage(m_dir.File("outside.bmp").c_str()), 1);
    GeneralSettings.bNoEnlargeInSlideshow = 0;
    m_manager.OpenNewFrame(QStringLiteral("CPixelFrame"), false, QString::fromStdString(m_dir.File("outside.bmp")),
                           nullptr, &group);
    QApplication::processEvents();
    m_frame = qobject_cast<CPixelFrame*>(m_manager.IsFrameTypeOpened(QStringLiteral("CPixelFrame")));
    ASSERT_NE(m_frame, nullptr);
    m_view = dynamic_cast<CAmbrelView*>(m_frame->GetActiveView());
    m_doc = m_view->GetDocument();
    ASSERT_EQ(m_doc->m_nCurrentFile, -1);

    Command(ID_SLIDESHOW);
    ASSERT_TRUE(m_view->IsSlideshow());
    m_view->m_FullScreenWnd->grab();  // painted from the fitted copy
    EXPECT_EQ(vxtest::FirstDifference(m_doc->Image(), const_cast<CVelvix&>(picture)), -1);
    EXPECT_EQ(m_doc->m_Buffer.GetUndoCount(), 0);
    EXPECT_FALSE(m_doc->IsModified());
    QTest::keyClick(m_view->m_FullScreenWnd.get(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(m_view->IsSlideshow());
    EXPECT_EQ(vxtest::FirstDifference(m_doc->Image(), const_cast<CVelvix&>(picture)), -1);
}

// Releasing the slider on another entry, or a folder emptied under the
// picture, asks first when the picture is edited.
TEST_F(ImageWindow, TheSliderAndAnEmptiedFolderAskBeforeDroppingAnEdit)
{
    struct Case {
        int answer;
        int width;  // shown after the slider
        int savedWidth;  // of img1.png on disk afterwards
    };
    for (const Case& c : {Case{QMessageBox::Cancel, 10, 20}, Case{QMessageBox::No, 40, 20},
                          Case{QMessageBox::Yes, 40, 10}}) {
        Save("img1.png", 20, 0xFF0000);
        ASSERT_TRUE(Open("img1.png"));
        Edit();
        m_saveQuestions.clear();
        m_saveAnswer = c.answer;
        m_frame->GetViewStatusBar()->GetSlider()->setValue(3);  // as a click on the groove does
        EXPECT_EQ(m_saveQuestions.size(), 1u) << c.answer;
        EXPECT_EQ(Width(), c.width) << c.answer;
        EXPECT_EQ(m_frame->GetViewStatusBar()->GetSlider()->value(), c.answer == QMessageBox::Cancel ? 1 : 3);
        CVelvix saved;
        ASSERT_EQ(saved.ReadImage(m_dir.File("img1.png").c_str()), 1);
        EXPECT_EQ(saved.GetWidth(), c.savedWidth) << c.answer;
        m_doc->SetModifiedFlag(false);
        m_frame->CloseFrame();
        QApplication::processEvents();
    }

    // The folder empties under an edited picture.
    for (const int answer : {QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No}) {
        std::filesystem::create_directories(m_dir.Path() / "alone");
        Save("alone/only.png", 20, 0x00FF00);
        ASSERT_TRUE(Open("alone/only.png"));
        m_view->m_Watcher.StopWatch();  // the change is delivered by hand
        Edit();
        const int width = Width();
        std::filesystem::remove(m_dir.File("alone/only.png"));
        m_saveAnswer = answer;
        m_view->RefreshFolder();
        QPointer<CPixelFrame> frame = m_frame;
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        EXPECT_EQ(frame.isNull(), answer == QMessageBox::No) << answer;
        if (!frame)
            continue;
        EXPECT_EQ(Width(), width);
        EXPECT_EQ(m_doc->IsModified(), answer == QMessageBox::Cancel);
        EXPECT_EQ(std::filesystem::exists(m_dir.File("alone/only.png")), answer == QMessageBox::Yes);
        EXPECT_EQ(Pane(CAmbrelViewStatusBar::kPosition), answer == QMessageBox::Yes ? "1/1 [All]" : "--/--");
        m_doc->SetModifiedFlag(false);
        m_frame->CloseFrame();
        QApplication::processEvents();
    }
}

TEST_F(ImageWindow, TheVisiblePartFollowsEveryScroll)
{
    CVelvix big = vxtest::FilledImage(300, 200, 0x204060);
    ASSERT_EQ(big.SaveImage(m_dir.File("big.png").c_str()), 1);
    ASSERT_TRUE(Open("big.png"));
    QTest::qWait(20);
    m_view->SetViewSelection(VxRect{0, 0, 30, 4});
    Command(ID_ZOOM_IN);
    QScrollBar* v = m_view->verticalScrollBar();
    QScrollBar* h = m_view->horizontalScrollBar();
    ASSERT_GT(v->maximum(), 100);
    ASSERT_GT(h->maximum(), 100);
    auto expected = [&] {
        const QSize client = m_view->viewport()->size();
        return viewgeom::VisiblePart(m_view->GetZoom(), h->value(), v->value(), client.width(), client.height(),
                                     300, 200);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> scrolls = {
        {"wheel", [&] {
             QWheelEvent wheel(QPointF(10, 10), m_view->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                               QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(m_view->viewport(), &wheel);
         }},
        {"page click", [&] { v->triggerAction(QAbstractSlider::SliderPageStepAdd); }},
        {"arrow click", [&] { h->triggerAction(QAbstractSlider::SliderSingleStepAdd); }},
        {"arrow key", [&] { QTest::keyClick(m_view, Qt::Key_Right); }},
    };
    for (const auto& [name, scroll] : scrolls) {
        const VxRect previous = m_doc->m_rcVisible;
        scroll();
        EXPECT_FALSE(m_doc->m_rcVisible == previous) << name;
        EXPECT_EQ(m_doc->m_rcVisible, expected()) << name;
    }
}

#include "viewer_view_test.moc"

// Cancelled at the save question, or its save failing (a folder took the
// file's name), the slideshow does not start: the edit stays as it was.
TEST_F(ImageWindow, ASlideshowThatCannotLeaveAnEditedPictureChangesNothing)
{
    for (const bool folderInTheWay : {false, true}) {
        ASSERT_TRUE(Open("img1.png"));
        m_view->m_Watcher.StopWatch();  // the folder stays as listed
        Edit();
        const WindowState before = State();
        if (folderInTheWay) {
            std::filesystem::remove(m_dir.File("img1.png"));
            std::filesystem::create_directory(m_dir.File("img1.png"));
        }
        m_saveAnswer = folderInTheWay ? QMessageBox::Yes : QMessageBox::Cancel;
        m_errors.clear();
        Command(ID_SLIDESHOW);
        QApplication::processEvents();
        EXPECT_FALSE(m_view->IsSlideshow()) << folderInTheWay;
        EXPECT_EQ(State(), before);
        EXPECT_EQ(std::filesystem::is_directory(m_dir.File("img1.png")), folderInTheWay);
        EXPECT_EQ(m_errors.empty(), !folderInTheWay);
        m_doc->SetModifiedFlag(false);
        m_frame->CloseFrame();
        QApplication::processEvents();
    }
}

TEST_F(ImageWindow, ASlideshowWindowClosedByTheDesktopEndsTheSlideshow)
{
    GeneralSettings.bNoEnlargeInSlideshow = 0;
    ASSERT_TRUE(Open("img1.png"));
    Command(ID_SLIDESHOW);
    ASSERT_TRUE(m_view->IsSlideshow());
    ASSERT_NE(Width(), 20);
    m_view->m_FullScreenWnd->close();  // before it ever had the focus
    QApplication::processEvents();
    EXPECT_FALSE(m_view->IsSlideshow());
    EXPECT_EQ(Width(), 20);
    Command(ID_NEXT_FILE);
    EXPECT_EQ(Width(), 30);  // at full size, not fitted to the screen
}
