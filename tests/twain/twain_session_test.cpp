#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>
#include <sane/sane.h>

#include <optional>

#include "address_space_limit.h"
#include "sane_test_device.h"
#include "test_support.h"
#include "thread_start_refused.h"
#include "twain/twain_protocol.h"

using vxtest::CSaneTestConfig;
using vxtest::SourceDialog;
using vxtest::WaitFor;

namespace {

class TwainSession : public ::testing::Test {
protected:
    void TearDown() override
    {
        CVelvix_Twain::CloseTwain();
        qunsetenv("VELVIX_TWAIN_DSM");
        QApplication::processEvents();
    }
    bool Open() { return CVelvix_Twain::OpenTwain(&m_Window); }

    vxtest::CScanReceiver m_Window;
};

// Answers the source chooser (not the source's own dialog, also a QDialog).
void AnswerChooser(std::function<void(QDialog*)> act, int tries = 250)
{
    QTimer::singleShot(20, [act, tries] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("SelectSourceDialog") && widget->isVisible()) {
                act(static_cast<QDialog*>(widget));
                return;
            }
        if (tries > 0)
            AnswerChooser(act, tries - 1);
    });
}

bool NothingOpen()
{
    return !CVelvix_Twain::IsTwainOpen() && !CVelvix_Twain::IsSourceSelected() && !CVelvix_Twain::IsSourceOpen() &&
           !CVelvix_Twain::IsSourceEnabled();
}

} // namespace

TEST_F(TwainSession, WithoutAUsableSourceManagerEveryOperationFails)
{
    CSaneTestConfig config;
    // Missing, and a library without the entry point.
    for (const char* path : {"/nonexistent/libvelvix_twain_dsm.so", "libm.so.6"}) {
        SCOPED_TRACE(path);
        qputenv("VELVIX_TWAIN_DSM", path);
        EXPECT_FALSE(Open());
        EXPECT_FALSE(CVelvix_Twain::SelectSource());
        EXPECT_FALSE(CVelvix_Twain::SelectDefaultSource());
        EXPECT_FALSE(CVelvix_Twain::OpenSource());
        EXPECT_FALSE(CVelvix_Twain::Acquire(-1));
        EXPECT_FALSE(CVelvix_Twain::CloseSource());
        EXPECT_FALSE(CVelvix_Twain::CloseTwain());
        EXPECT_TRUE(NothingOpen());
    }
}

TEST_F(TwainSession, OpensOnceClosesOnceAndOpensAgain)
{
    CSaneTestConfig config;
    ASSERT_TRUE(Open());
    EXPECT_EQ(CVelvix_Twain::GetReturnCode(), TWRC_SUCCESS);
    EXPECT_TRUE(CVelvix_Twain::OpenTwain(nullptr));  // no second load
    EXPECT_TRUE(CVelvix_Twain::IsTwainOpen());
    EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    EXPECT_TRUE(NothingOpen());
    EXPECT_FALSE(CVelvix_Twain::CloseTwain());
    EXPECT_TRUE(Open());
}

TEST_F(TwainSession, WithoutScannersAcquireAndSelectFailAndNothingStaysOpen)
{
    CSaneTestConfig config(0);
    ASSERT_TRUE(Open());
    EXPECT_FALSE(CVelvix_Twain::Acquire(-1));
    EXPECT_EQ(CVelvix_Twain::GetReturnCode(), TWRC_FAILURE);
    EXPECT_FALSE(CVelvix_Twain::SelectSource());
    EXPECT_FALSE(CVelvix_Twain::IsSourceSelected());
    EXPECT_FALSE(CVelvix_Twain::IsSourceOpen());
    EXPECT_EQ(SourceDialog(), nullptr);
}

TEST_F(TwainSession, TheChooserListsEveryDeviceAndACancelSelectsNothing)
{
    CSaneTestConfig config(2);
    ASSERT_TRUE(Open());
    struct Case {
        bool accept;
        bool selected;
        std::uint16_t code;
    } cases[] = {{true, true, TWRC_SUCCESS}, {false, false, TWRC_CANCEL}};
    for (const Case& c : cases) {
        QStringList rows;
        AnswerChooser([&](QDialog* dialog) {
            auto* list = dialog->findChild<QListWidget*>();
            for (int i = 0; list && i < list->count(); ++i)
                rows << list->item(i)->text();
            c.accept ? dialog->accept() : dialog->reject();
        });
        EXPECT_EQ(CVelvix_Twain::SelectSource(), c.selected);
        EXPECT_EQ(CVelvix_Twain::IsSourceSelected(), c.selected);
        EXPECT_EQ(CVelvix_Twain::GetReturnCode(), c.code);
        ASSERT_EQ(rows.size(), 2);
        EXPECT_TRUE(rows[0].contains(QLatin1String("(test:0)")) && rows[1].contains(QLatin1String("(test:1)")));
    }
}

TEST_F(TwainSession, AcquireOpensTheDefaultSourceWhoseCancelClosesIt)
{
    CSaneTestConfig config;
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    EXPECT_TRUE(CVelvix_Twain::IsSourceSelected() && CVelvix_Twain::IsSourceOpen() &&
                CVelvix_Twain::IsSourceEnabled());
    QWidget* dialog = SourceDialog();
    ASSERT_NE(dialog, nullptr);
    // A second request keeps the dialog the user is working in.
    EXPECT_TRUE(CVelvix_Twain::Acquire(-1));
    EXPECT_EQ(SourceDialog(), dialog);

    dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    EXPECT_TRUE(WaitFor([] { return !CVelvix_Twain::IsSourceOpen(); }));
    EXPECT_FALSE(CVelvix_Twain::IsSourceEnabled());
    EXPECT_TRUE(CVelvix_Twain::IsTwainOpen() && CVelvix_Twain::IsSourceSelected());
    EXPECT_TRUE(WaitFor([] { return SourceDialog() == nullptr; }));
    EXPECT_TRUE(m_Window.m_Images.empty());

    // And it opens again; closing the session takes the open source along.
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    EXPECT_TRUE(NothingOpen());
    EXPECT_TRUE(WaitFor([] { return SourceDialog() == nullptr; }));
}

// Every page is one image message, equal pixel for pixel to what scanimage
// reads with the same settings; the transfer ends with nothing pending and
// the source enabled for another scan.
TEST_F(TwainSession, ScannedPagesArriveAsImagesEqualToScanimage)
{
    const vxtest::SScanSettings cases[] = {
        {"Gray", 8, 50, 10, 8, "Grid", 3, "Automatic Document Feeder"},
        {"Gray", 1, 26, 33, 5, "Grid", 1, "Flatbed"},  // 33 pixels: 5 bytes a line, 8 in the bitmap
        {"Gray", 16, 30, 9, 7, "Color pattern", 1, "Flatbed"},
        {"Color", 8, 40, 12, 6, "Color pattern", 1, "Flatbed"},
        {"Color", 16, 35, 7, 9, "Color pattern", 2, "Flatbed"},
        // Three frames of one colour each; a height known only at the end.
        {"Color", 8, 40, 12, 6, "Color pattern", 2, "Flatbed", 0, "three-pass true\nthree-pass-order BGR\n"},
        {"Gray", 8, 40, 12, 6, "Grid", 2, "Flatbed", 0, "hand-scanner true\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.depth << " " << c.picture);
        CSaneTestConfig config(1, c.picture, QString::fromLatin1(c.extra));
        CVelvix expected = vxtest::ScanImageOracle(c);
        ASSERT_TRUE(expected.IsValidObject());
        m_Window.m_Images.clear();
        ASSERT_TRUE(Open());
        ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
        ASSERT_NE(SourceDialog(), nullptr);
        vxtest::PressScan(SourceDialog(), c);
        ASSERT_TRUE(WaitFor([&] { return m_Window.m_Images.size() >= std::size_t(c.pages); }));
        auto* scan = SourceDialog()->findChild<QPushButton*>(QStringLiteral("scanButton"));
        EXPECT_TRUE(WaitFor([&] { return scan->isEnabled(); }));
        EXPECT_EQ(m_Window.m_Images.size(), std::size_t(c.pages));
        for (CVelvix& image : m_Window.m_Images)
            EXPECT_EQ(vxtest::FirstDifference(image, expected), -1)
                << image.GetWidth() << "x" << image.GetHeight() << " against " << expected.GetWidth() << "x"
                << expected.GetHeight();
        EXPECT_TRUE(CVelvix_Twain::IsSourceEnabled());
        EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    }
}

TEST_F(TwainSession, AFeederRunsUntilItIsEmpty)
{
    CSaneTestConfig config(1, "Solid black");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    vxtest::PressScan(SourceDialog(), {"Gray", 8, 25, 3, 3, "Solid black", 14, "Automatic Document Feeder"});
    auto* scan = SourceDialog()->findChild<QPushButton*>(QStringLiteral("scanButton"));
    ASSERT_TRUE(WaitFor([&] { return m_Window.m_Images.size() >= 10 && scan->isEnabled(); }));
    EXPECT_EQ(m_Window.m_Images.size(), 10u);  // the test feeder holds ten sheets
    EXPECT_TRUE(SourceDialog()->findChild<QLabel*>(QStringLiteral("status"))->text().isEmpty());
}

// A cancel, a device error, a missing sheet, a picture that ends early or
// one too large to hold: no image, a clear word in the source's dialog, and
// the source still enabled for another try.
TEST_F(TwainSession, AScanThatFailsOrIsCancelledDeliversNothing)
{
    struct Case {
        const char* settings;
        bool cancel;
        const char* source;
        const char* status;
        int resolution = 100;
        double side = 40;
        bool noThread = false;      // the system cannot start the scan's thread: no memory for its stack
        bool tooManyTasks = false;  // or too many tasks are running
        int depth = 8;
    } cases[] = {
        {"read-delay true\nread-delay-duration 200000\n", true, "Flatbed", "The scan was cancelled."},
        {"read-status-code \"SANE_STATUS_IO_ERROR\"\n", false, "Flatbed", "The scan failed: Error during device I/O."},
        {"read-status-code \"SANE_STATUS_JAMMED\"\n", false, "Automatic Document Feeder",
         "The scan failed: Document feeder jammed."},
        {"read-status-code \"SANE_STATUS_NO_DOCS\"\n", false, "Automatic Document Feeder",
         "The scan failed: Document feeder out of documents."},
        {"read-status-code \"SANE_STATUS_EOF\"\n", false, "Flatbed",
         "The scan failed: the scanner ended the picture early."},
        {"hand-scanner true\nread-status-code \"SANE_STATUS_EOF\"\n", false, "Flatbed",
         "The scan failed: the scanner ended the picture early."},
        // 251968 pixels a side, refused before it is read.
        {"resolution_max 32000.0\n", false, "Flatbed",
         "The scan failed: the picture is too large for the memory. Choose a lower resolution or a smaller area.",
         32000, 200},
        {"", false, "Flatbed", "The scan could not be started: there is not enough memory.", 100, 40, true},
        {"", false, "Flatbed", "The scan could not be started: the system refused to start another task.", 100, 40,
         false, true},
        // A hand scan (its length unknown until its end) of 42405 x 65590
        // pixels, refused once it is longer than a picture may be.
        {"hand-scanner true\nresolution_max 10000.0\n", false, "Flatbed",
         "The scan failed: the picture is too large for the memory. Choose a lower resolution or a smaller area.",
         9800, 40, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
#if defined(__SANITIZE_ADDRESS__)
        if (c.noThread)
            continue;  // AddressSanitizer's shadow memory does not fit under a limit of the address space
#endif
        CSaneTestConfig config(1, "Grid", QString::fromLatin1(c.settings));
        m_Window.m_Images.clear();
        ASSERT_TRUE(Open());
        ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
        QWidget* dialog = SourceDialog();
        {
            std::optional<LargeThreadStacks> stacks;
            std::optional<AddressSpaceLimit> limit;
            if (c.noThread) {
                stacks.emplace();
                limit.emplace(16 << 20);
                ASSERT_TRUE(stacks->IsSet() && limit->IsSet());
            }
            g_refuseThreads = c.tooManyTasks;
            vxtest::PressScan(dialog, {"Gray", c.depth, c.resolution, c.side, c.side, "Grid", 1, c.source});
            g_refuseThreads = false;
        }
        if (c.cancel)
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("status"));
        EXPECT_TRUE(WaitFor([&] { return status->text() == QLatin1String(c.status); })) << status->text().toStdString();
        EXPECT_TRUE(WaitFor([&] { return dialog->findChild<QPushButton*>(QStringLiteral("scanButton"))->isEnabled(); }));
        QApplication::processEvents();
        EXPECT_TRUE(m_Window.m_Images.empty());
        EXPECT_TRUE(CVelvix_Twain::IsSourceEnabled());
        EXPECT_EQ(SourceDialog(), dialog);
        EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    }
}

// Pages handed over once the memory has run short: the source gives its own
// blocks, and a page the application cannot hold arrives empty for the
// window to tell of it. None is dropped unseen, and the source stays.
TEST_F(TwainSession, PagesHandedOverShortOfMemoryAllArrive)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a limit of the address space";
#endif
    CSaneTestConfig config(1, "Color pattern");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    m_Window.m_bOffer = false;
    // 1181 x 1181 in colour: 4.2 MB a packed page, 5.6 MB a picture.
    vxtest::PressScan(SourceDialog(), {"Color", 8, 150, 200, 200, "Color pattern", 3, "Flatbed"});
    ASSERT_TRUE(WaitFor([&] { return m_Window.m_nHeld > 0; }, 60000));
    {
        const AddressSpaceLimit limit(1 << 20);
        ASSERT_TRUE(limit.IsSet());
        m_Window.Release();
        WaitFor([&] { return m_Window.m_Images.size() >= 3; });
    }
    ASSERT_EQ(m_Window.m_Images.size(), 3u);
    for (CVelvix& image : m_Window.m_Images)
        EXPECT_FALSE(image.IsValidObject());
    auto* scan = SourceDialog()->findChild<QPushButton*>(QStringLiteral("scanButton"));
    EXPECT_TRUE(WaitFor([&] { return scan->isEnabled(); }));
    EXPECT_TRUE(CVelvix_Twain::IsSourceEnabled());
}

// Backends stop their reader threads by asynchronous cancellation. A scan
// that fails or is cancelled as it starts stops the reader only once it
// holds no lock (see threaded_backend.c): the next scan starts as well.
TEST_F(TwainSession, AScanEndedAsItStartsStopsItsReaderOutsideItsLocks)
{
    CSaneTestConfig config;
    config.Backends("threaded\n");
    qputenv("LD_LIBRARY_PATH", SANE_THREADED_DIR);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    QWidget* dialog = SourceDialog();
    ASSERT_NE(dialog, nullptr);
    auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
    auto* status = dialog->findChild<QLabel*>(QStringLiteral("status"));
    for (bool cancel : {false, true, false, true}) {
        scan->click();
        if (cancel)
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        EXPECT_TRUE(WaitFor([&] { return scan->isEnabled(); }));
        EXPECT_EQ(status->text().toStdString(), cancel ? "The scan was cancelled."
                                                       : "The scan failed: Document feeder out of documents.");
    }
}

// The read that meets a page's end stops the reader (as the test backend
// does): it waits until the reader holds no lock, so every page arrives, of
// a known height or of one known only at its end.
TEST_F(TwainSession, APageEndStopsItsReaderOutsideItsLocks)
{
    for (bool hand : {false, true}) {
        SCOPED_TRACE(hand);
        m_Window.m_Images.clear();
        CSaneTestConfig config;
        config.Backends("threaded\n");
        qputenv("LD_LIBRARY_PATH", SANE_THREADED_DIR);
        qputenv("THREADED_PAGE", "1");
        if (hand)
            qputenv("THREADED_HAND", "1");
        const auto noPage = qScopeGuard([] {
            qunsetenv("THREADED_PAGE");
            qunsetenv("THREADED_HAND");
        });
        ASSERT_TRUE(Open());
        ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
        QWidget* dialog = SourceDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QSpinBox*>(QStringLiteral("pages"))->setValue(3);
        dialog->findChild<QPushButton*>(QStringLiteral("scanButton"))->click();
        auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
        EXPECT_TRUE(WaitFor([&] { return m_Window.m_Images.size() >= 3 && scan->isEnabled(); }));
        EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("status"))->text().toStdString(), "");
        ASSERT_EQ(m_Window.m_Images.size(), 3u);
        CVelvix black = vxtest::FilledImage(8, 8, 0);
        for (CVelvix& image : m_Window.m_Images)
            EXPECT_EQ(vxtest::FirstDifference(image, black), -1);
        EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    }
}

// The program closes the session while scanned pages wait for their
// transfer: they are discarded, the source closes, and it opens again.
TEST_F(TwainSession, ClosingWhilePagesWaitClosesTheSource)
{
    CSaneTestConfig config;
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    m_Window.m_bOffer = false;
    vxtest::PressScan(SourceDialog(), {"Gray", 8, 25, 5, 5, "Grid", 2, "Flatbed"});
    ASSERT_TRUE(WaitFor([&] { return m_Window.m_nHeld > 0; }));
    EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    EXPECT_TRUE(NothingOpen());
    m_Window.m_bOffer = true;
    ASSERT_TRUE(Open());
    EXPECT_TRUE(CVelvix_Twain::Acquire(-1));
    QApplication::processEvents();
    EXPECT_TRUE(m_Window.m_Images.empty());
}

// The open source is addressed by its identity; choosing another one first
// closes it, so that it can still be closed. A cancelled choice leaves it
// open with its dialog.
TEST_F(TwainSession, ChoosingAnotherSourceClosesTheOpenOne)
{
    CSaneTestConfig config(2);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    QWidget* dialog = SourceDialog();
    AnswerChooser([](QDialog* chooser) { chooser->reject(); });
    EXPECT_FALSE(CVelvix_Twain::SelectSource());
    EXPECT_TRUE(CVelvix_Twain::IsSourceOpen() && CVelvix_Twain::IsSourceEnabled());
    QApplication::processEvents();
    EXPECT_EQ(SourceDialog(), dialog);
    AnswerChooser([](QDialog* dialog) {
        if (auto* list = dialog->findChild<QListWidget*>())
            list->setCurrentRow(1);
        dialog->accept();
    });
    ASSERT_TRUE(CVelvix_Twain::SelectSource());
    EXPECT_FALSE(CVelvix_Twain::IsSourceOpen());
    EXPECT_TRUE(WaitFor([] { return SourceDialog() == nullptr; }));
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    EXPECT_NE(SourceDialog(), nullptr);
    EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    EXPECT_TRUE(NothingOpen());
}

// Two names alike in the part a source's identity holds: the one the user
// chose is opened, not the first (held busy here so that a wrong open fails).
TEST_F(TwainSession, TheChosenSourceOpensWhenLongNamesBeginAlike)
{
    CSaneTestConfig config(2);
    const QByteArray name = "Ünïcode scanner [*?] 100% with a long common name ";
    config.Aliases("alias \"" + name + "A\" test:0\nalias \"" + name + "B\" test:1\n");
    const auto noAliases = qScopeGuard([&config] { config.Aliases({}); });
    ASSERT_TRUE(Open());
    SANE_Handle first = nullptr;
    ASSERT_EQ(sane_open((name + "A").constData(), &first), SANE_STATUS_GOOD);
    AnswerChooser([](QDialog* dialog) {
        if (auto* list = dialog->findChild<QListWidget*>())
            list->setCurrentRow(1);
        dialog->accept();
    });
    EXPECT_TRUE(CVelvix_Twain::SelectSource());
    EXPECT_TRUE(CVelvix_Twain::Acquire(-1));
    EXPECT_NE(SourceDialog(), nullptr);
    CVelvix_Twain::CloseSource();
    sane_close(first);
}

// A preview shows the whole glass in the dialog and hands nothing over; the
// area the user set stays as it was.
TEST_F(TwainSession, APreviewStaysInTheDialog)
{
    CSaneTestConfig config(1, "Color pattern");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    QWidget* dialog = SourceDialog();
    auto* right = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("right"));
    right->setValue(7);
    auto* preview = dialog->findChild<QLabel*>(QStringLiteral("previewImage"));
    const QImage blank = preview->pixmap().toImage();
    dialog->findChild<QPushButton*>(QStringLiteral("previewButton"))->click();
    ASSERT_TRUE(WaitFor([&] { return preview->pixmap().toImage() != blank; }));
    EXPECT_TRUE(WaitFor([&] { return dialog->findChild<QPushButton*>(QStringLiteral("scanButton"))->isEnabled(); }));
    QApplication::processEvents();
    EXPECT_TRUE(m_Window.m_Images.empty());
    EXPECT_EQ(right->value(), 7);
    EXPECT_TRUE(CVelvix_Twain::IsSourceEnabled());
}

// The test device's glass is 200 x 200 mm; a drag from the preview's corner
// to its middle chooses the top left quarter.
TEST_F(TwainSession, DraggingOverThePreviewChoosesTheArea)
{
    CSaneTestConfig config;
    ASSERT_TRUE(Open());
    ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
    QWidget* dialog = SourceDialog();
    auto* preview = dialog->findChild<QLabel*>(QStringLiteral("previewImage"));
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, preview->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(preview, &event);
    };
    send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
    send(QEvent::MouseMove, {120, 120}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {120, 120}, Qt::NoButton);
    const char* names[] = {"left", "top", "right", "bottom"};
    const double wanted[] = {0, 0, 100, 100};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(dialog->findChild<QDoubleSpinBox*>(QLatin1String(names[i]))->value(), wanted[i], 0.05) << names[i];
    send(QEvent::MouseMove, {200, 10}, Qt::NoButton);  // no button held: nothing changes
    EXPECT_NEAR(dialog->findChild<QDoubleSpinBox*>(QStringLiteral("right"))->value(), 100, 0.05);
}

// The preview of a black page is black over the whole glass but for the
// area's red outline, also when the user-interface thread can start no
// thread (Qt's painting would wait for one for ever) and when a picture of
// the glass at the preview's resolution would not fit in the memory left.
TEST_F(TwainSession, APreviewIsShownWithoutThreadsOrMemoryToSpare)
{
    struct Case {
        const char* name;
        const char* settings;
        bool refuseThreads;
        rlim_t headroom;  // 0: no limit
    } cases[] = {
        {"threads refused", "", true, 0},
        // 7874 pixels a side: 62 MB scanned and packed, 248 MB as a picture.
        {"little memory", "resolution_min 1000.0\n", false, 200 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#if defined(__SANITIZE_ADDRESS__)
        if (c.headroom)
            continue;  // AddressSanitizer's shadow memory does not fit under a limit of the address space
#endif
        CSaneTestConfig config(1, "Solid black", QString::fromLatin1(c.settings));
        ASSERT_TRUE(Open());
        ASSERT_TRUE(CVelvix_Twain::Acquire(-1));
        QWidget* dialog = SourceDialog();
        auto* preview = dialog->findChild<QLabel*>(QStringLiteral("previewImage"));
        auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
        const QImage blank = preview->pixmap().toImage();
        {
            std::optional<AddressSpaceLimit> limit;
            if (c.headroom) {
                limit.emplace(c.headroom);
                ASSERT_TRUE(limit->IsSet());
            }
            dialog->findChild<QPushButton*>(QStringLiteral("previewButton"))->click();
            g_refuseMainThreadStarts = c.refuseThreads;
            EXPECT_TRUE(WaitFor([&] { return scan->isEnabled(); }, 60000));
            g_refuseMainThreadStarts = false;
        }
        EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("status"))->text().isEmpty());
        const QImage shown = preview->pixmap().toImage();
        ASSERT_EQ(shown.size(), blank.size());
        // The glass is square: the frame is the blank preview's white square.
        int glass = 0, wrong = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb before = blank.pixel(x, y), after = shown.pixel(x, y);
                if (before != qRgb(255, 255, 255)) {
                    wrong += after != before;
                    continue;
                }
                ++glass;
                wrong += after != qRgb(0, 0, 0) && after != qRgb(255, 0, 0);
            }
        EXPECT_GT(glass, 200 * 200);
        EXPECT_EQ(wrong, 0);
        EXPECT_TRUE(CVelvix_Twain::CloseTwain());
    }
}
