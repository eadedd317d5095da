// The effect commands inside the program, offscreen: the real main frame with
// its menus and bars, image windows opened from files, commands chosen as the
// menus choose them.
#include <QDockWidget>
#include <QPlainTextEdit>
#include <QtTest/QTest>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "address_space_limit.h"
#include "encode_text_dialog.h"
#include "histogram_bar.h"
#include "program_fixture.h"
#include "shell/command_ids.h"
#include "shell/messages.h"
#include "support/message_event.h"
#include "viewer/view/view_edit_commands.h"
#include "view_effect_commands.h"
#include "view_port_bar.h"

#include "new_refused_off_thread.h"
#include "thread_start_refused.h"

namespace {

// Answers every prompt with fixed values and counts the questions.
class AnsweringPrompter : public CEffectPrompter {
public:
    explicit AnsweringPrompter(std::vector<double> values, int* asked) : m_values(std::move(values)), m_asked(asked) {}
    std::optional<std::vector<double>> AskValues(const CEffectCommand&, int, int) override
    {
        ++*m_asked;
        if (m_values.empty())
            return std::nullopt;
        return m_values;
    }

private:
    std::vector<double> m_values;
    int* m_asked;
};

// Runs something while the prompt is open, then answers with fixed values.
class ActingPrompter : public CEffectPrompter {
public:
    ActingPrompter(std::function<void()> act, std::vector<double> values)
        : m_act(std::move(act)), m_values(std::move(values))
    {
    }
    std::optional<std::vector<double>> AskValues(const CEffectCommand&, int, int) override
    {
        m_act();
        return m_values;
    }

private:
    std::function<void()> m_act;
    std::vector<double> m_values;
};

// Answers every prompt with its default.
class DefaultPrompter : public CEffectPrompter {
public:
    std::optional<std::vector<double>> AskValues(const CEffectCommand& command, int width, int height) override
    {
        return Defaults(command, width, height);
    }
    static std::vector<double> Defaults(const CEffectCommand& command, int width, int height)
    {
        if (command.resample)
            return {double(width / 2), double(height / 2), 0.5, 0.5, 0};
        std::vector<double> values;
        for (const CEffectPrompt& prompt : command.prompts)
            values.push_back(prompt.kind == CEffectPrompt::Kind::HalfOfPrevious ? int(values.back()) / 2
                                                                                : prompt.defaultValue);
        return values;
    }
};

void CollectIds(QMenu* menu, std::set<int>& ids)
{
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
        if (action->menu())
            CollectIds(action->menu(), ids);
        else if (action->data().isValid() && action->isEnabled())
            ids.insert(action->data().toInt());
    }
}

using Window = vxtest::ImageWindowParts;
using vxtest::ProcessEvents;
using vxtest::WhenShown;

class EffectCommands : public vxtest::ProgramTest {
protected:
    // Answers for the next prompts of the window (nothing: the prompt is cancelled).
    void Answer(const Window& window, std::vector<double> values)
    {
        window.view->EffectCommands().SetPrompter(std::make_unique<AnsweringPrompter>(std::move(values), &m_asked));
    }

    int m_asked = 0;
};

CVelvix Region(CVelvix& image, const VxRect& rect)
{
    CVelvix part;
    part.CopyFromRect(image, &rect, nullptr, true);
    return part;
}

// An image with everything outside `rect` set to 0, to compare the rest.
CVelvix Outside(const CVelvix& image, const VxRect& rect)
{
    CVelvix copy = image;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            copy.Bytes(x, copy.GetHeight() - 1 - y) = 0;
    return copy;
}

bool Same(const CVelvix& a, const CVelvix& b)
{
    return vxtest::FirstDifference(const_cast<CVelvix&>(a), const_cast<CVelvix&>(b)) == -1;
}

} // namespace

TEST_F(EffectCommands, AnEffectOnASelectionChangesOnlyItAndAddsOneUndoStep)
{
    const CVelvix picture = vxtest::RandomImage(64, 48, 3);
    Window window = Open("a.png", picture);
    ASSERT_NE(window.doc, nullptr);
    const VxRect selection{10, 8, 40, 30};
    window.view->SetViewSelection(selection);
    ASSERT_EQ(window.view->GetImageSelection(), selection);

    ASSERT_TRUE(m_main->ExecuteCommand(144));  // Negative
    CVelvix expected = Region(const_cast<CVelvix&>(picture), selection);
    expected.Negative();
    EXPECT_TRUE(Same(Region(window.Image(), selection), expected));
    EXPECT_TRUE(Same(Outside(window.Image(), selection), Outside(picture, selection)));
    EXPECT_TRUE(window.doc->IsModified());
    EXPECT_EQ(m_main->QueryCommand(cmd::ID_EDIT_UNDO).m_strText, QStringLiteral("&Undo x1\tCtrl+Z"));

    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_UNDO));
    EXPECT_TRUE(Same(window.Image(), picture));
    EXPECT_EQ(m_main->QueryCommand(cmd::ID_EDIT_REDO).m_strText, QStringLiteral("&Redo x1\tCtrl+Y"));
}

TEST_F(EffectCommands, RedEyeNeedsASelectionAndResampleNeedsNone)
{
    Window window = Open("a.png", vxtest::RandomImage(40, 30, 4));
    ASSERT_NE(window.doc, nullptr);
    EXPECT_FALSE(m_main->QueryCommand(264).m_bEnabled);
    EXPECT_TRUE(m_main->QueryCommand(272).m_bEnabled);
    window.view->SetViewSelection(VxRect{2, 2, 20, 20});
    EXPECT_TRUE(m_main->QueryCommand(264).m_bEnabled);
    EXPECT_FALSE(m_main->QueryCommand(272).m_bEnabled);
}

TEST_F(EffectCommands, ACancelledPromptChangesNothing)
{
    const CVelvix picture = vxtest::RandomImage(40, 30, 5);
    Window window = Open("a.png", picture);
    ASSERT_NE(window.doc, nullptr);
    Answer(window, {});
    m_main->ExecuteCommand(166);  // Shift Blur
    EXPECT_EQ(m_asked, 1);
    EXPECT_TRUE(Same(window.Image(), picture));
    EXPECT_FALSE(m_main->QueryCommand(cmd::ID_EDIT_UNDO).m_bEnabled);
    EXPECT_FALSE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);
}

TEST_F(EffectCommands, RepeatUsesTheValueEnteredLastEvenInAnotherWindow)
{
    Window first = Open("a.png", vxtest::RandomImage(50, 20, 6));
    Window second = Open("b.png", vxtest::RandomImage(50, 20, 7));
    ASSERT_NE(first.doc, nullptr);
    ASSERT_NE(second.doc, nullptr);
    EXPECT_FALSE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);

    Activate(first);
    Answer(first, {7});
    ASSERT_TRUE(m_main->ExecuteCommand(166));
    Activate(second);
    Answer(second, {3});
    ASSERT_TRUE(m_main->ExecuteCommand(166));
    EXPECT_EQ(m_asked, 2);

    Activate(first);
    CVelvix expected = first.Image();
    expected.ShiftBlur(3);
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_REPEAT_LAST_EFFECT));
    EXPECT_EQ(m_asked, 2) << "repeating asks again";
    EXPECT_TRUE(Same(first.Image(), expected));
    EXPECT_EQ(first.doc->m_Buffer.GetUndoCount(), 2);
}

TEST_F(EffectCommands, TheLastCommandEntryFollowsTheMenusAndTheContextMenu)
{
    Window window = Open("a.png", vxtest::RandomImage(40, 30, 8));
    ASSERT_NE(window.doc, nullptr);
    const QString entry = QStringLiteral("&Last Command: \"Negative\"\t~");
    QMenu* advanced = Opened(QStringLiteral("&Advanced Tools"));
    ASSERT_NE(advanced, nullptr);
    const int plainCount = int(advanced->actions().size());
    EXPECT_FALSE(advanced->actions().last()->text().contains(QLatin1String("Last Command:")));

    ASSERT_TRUE(m_main->ExecuteCommand(144));
    for (int opening = 0; opening < 2; ++opening) {
        Opened(QStringLiteral("&Advanced Tools"));
        const QList<QAction*> actions = advanced->actions();
        ASSERT_EQ(actions.size(), plainCount + 2) << "one separator and one entry, however often it opens";
        EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
        EXPECT_EQ(actions.last()->text(), entry);
    }
    advanced->actions().last()->trigger();
    EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 2);

    std::unique_ptr<QMenu> context(window.view->BuildContextMenu());
    QStringList titles;
    for (QAction* action : context->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(titles, (QStringList{"&Tools", "&Selection", "&Control", "-", "&Edit", "-", entry}));
}

TEST_F(EffectCommands, EncodingClearsTheLastCommandAndDecodingReadsTheText)
{
    Window window = Open("a.png", vxtest::RandomImage(120, 90, 9));
    ASSERT_NE(window.doc, nullptr);
    ASSERT_TRUE(m_main->ExecuteCommand(144));
    EXPECT_TRUE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);

    WhenShown<CEncodeTextDialog>([](CEncodeTextDialog* dialog) {
        QTest::keyClicks(dialog->Field(), QStringLiteral("meet at noon"));
        dialog->accept();
    });
    ASSERT_TRUE(m_main->ExecuteCommand(252));
    EXPECT_FALSE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);
    EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 2);

    QString shown;
    WhenShown<QMessageBox>([&shown](QMessageBox* box) {
        shown = box->text();
        box->accept();
    });
    ASSERT_TRUE(m_main->ExecuteCommand(253));
    EXPECT_EQ(shown, QStringLiteral("meet at noon"));
}

TEST_F(EffectCommands, AutoCropUsesTheSettingsToleranceResetsTheZoomAndIsNotRepeated)
{
    // A picture in a black frame: 5 rows below, 3 above, 4 columns left, 6 right.
    CVelvix picture = vxtest::FilledImage(60, 40, 0x000000);
    for (int y = 5; y < 37; ++y)
        for (int x = 4; x < 54; ++x)
            picture.Bytes(x, y) = 0xC8B4A0;
    Window window = Open("scan.png", picture);
    ASSERT_NE(window.doc, nullptr);
    ASSERT_TRUE(m_main->ExecuteCommand(144));  // the last command: Negative
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_UNDO));
    GeneralSettings.nAutoCropTolerance = 20;
    window.view->SetViewSelection(VxRect{10, 10, 20, 20});
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_ZOOM_IN));
    ASSERT_NE(window.view->GetZoom(), 1.0);

    ASSERT_TRUE(m_main->ExecuteCommand(269));
    EXPECT_EQ(window.view->GetZoom(), 1.0);
    CVelvix expected = picture;
    ASSERT_TRUE(expected.AutoCropForScannedImage(20));
    EXPECT_TRUE(Same(window.Image(), expected));
    EXPECT_EQ(window.Image().GetWidth(), 50);
    EXPECT_EQ(window.Image().GetHeight(), 32);
    EXPECT_EQ(window.view->EffectCommands().LastEffect().name, QStringLiteral("Negative"));
}

// A scan dark everywhere has nothing to keep, and a crop short of memory or
// of a worker thread cannot be made: the picture, its selection, the undo ring (redo too), the
// modified flag and the last command stay as they were; only the want of
// memory or of the thread is told.
TEST_F(EffectCommands, AutoCropThatKeepsNothingOrLacksMemoryChangesNothing)
{
    CVelvix framed = vxtest::RandomImage(3000, 40, 16);  // 3000 columns' sums: above 64 KB
    for (int x = 0; x < 3000; ++x)
        framed.Bytes(x, 0) = 0;
    struct Case {
        const char* name;
        CVelvix picture;
        std::size_t limit;
        const char* told;
        bool refuseThreads = false;
    };
    for (const Case& c : {Case{"dark scan.png", vxtest::FilledImage(30, 20, 0x050505), 0, nullptr},
                          Case{"framed scan.png", framed, 65536, CViewEffectCommands::kAutoCropShortOfMemory},
                          Case{"busy scan.png", framed, 0, CViewEffectCommands::kAutoCropWithoutThread, true}}) {
        Window window = Open(c.name, c.picture);
        ASSERT_NE(window.doc, nullptr);
        ASSERT_TRUE(m_main->ExecuteCommand(144));
        ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_UNDO));  // a step to redo
        window.doc->SetModifiedFlag(false);
        window.view->SetViewSelection(VxRect{2, 2, 9, 9});
        GeneralSettings.nAutoCropTolerance = 20;
        QStringList shown;
        QTimer accept;  // the busy indicator's loop runs while the crop works
        QObject::connect(&accept, &QTimer::timeout, [&shown] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    shown << box->text();
                    box->accept();
                }
        });
        accept.start(10);
        g_sparedThread = std::this_thread::get_id();
        g_newLimit = c.limit;
        g_refuseThreads = c.refuseThreads;
        ASSERT_TRUE(m_main->ExecuteCommand(269));
        g_refuseThreads = false;
        g_newLimit = 0;
        EXPECT_EQ(shown, c.told ? QStringList{QString::fromLatin1(c.told)} : QStringList{}) << c.name;
        EXPECT_TRUE(Same(window.Image(), c.picture)) << c.name;
        EXPECT_EQ(window.doc->GetPathName(), QString::fromStdString(m_dir.File(c.name))) << c.name;
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 0) << c.name;
        EXPECT_EQ(window.doc->m_Buffer.GetRedoCount(), 1) << c.name;
        EXPECT_FALSE(window.doc->IsModified()) << c.name;
        EXPECT_EQ(window.view->GetViewSelection().right, 9) << c.name;
        EXPECT_EQ(window.view->EffectCommands().LastEffect().name, QStringLiteral("Negative")) << c.name;
    }
    // With the memory back the framed scan loses its dark row.
    ASSERT_TRUE(m_main->ExecuteCommand(269));
    EXPECT_EQ(Active().Image().GetHeight(), 39);
}

// A scan handed to the main frame when memory runs short: one the library
// could not hold arrives empty, and without room for its window's copy no
// window opens; without room to crop it the window shows it whole, with no
// step to undo. Each is told once.
TEST_F(EffectCommands, AScanShortOfMemoryOpensWholeOrNotAtAllAndSaysSo)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a limit of the address space";
#endif
    CVelvix framed = vxtest::RandomImage(3000, 40, 18);  // 3000 columns' sums: above 64 KB
    for (int x = 0; x < 3000; ++x)
        framed.Bytes(x, 0) = 0;
    std::vector<QString> told;
    const auto report = CAmbrelDoc::s_pfnReportError;
    CAmbrelDoc::s_pfnReportError = [&told](const QString& text) { told.push_back(text); };
    struct Case {
        const char* name;
        CVelvix scan;
        bool blocksRefused;  // else the address space is short
        const char* message;
        bool opens;
    };
    for (const Case& c : {Case{"crop", framed, true, CViewEditCommands::kCropFailed, true},
                          Case{"copy", vxtest::RandomImage(2000, 2000, 19), false,
                               CAmbrelDoc::kNewPictureShortOfMemory, false},
                          Case{"empty", CVelvix(), false, CAmbrelDoc::kNewPictureShortOfMemory, false}}) {
        told.clear();
        const int windows = m_main->GetMDIChildCount();
        {
            std::optional<AddressSpaceLimit> limit;
            if (!c.blocksRefused) {
                limit.emplace(8 << 20);
                ASSERT_TRUE(limit->IsSet());
            }
            g_sparedThread = std::thread::id();  // the window's thread too
            g_newLimit = c.blocksRefused ? 65536 : 0;
            VxSendMessage(m_main, msg::WM_IMAGE_ACQUIRED, reinterpret_cast<std::uintptr_t>(&c.scan));
            g_newLimit = 0;
        }
        ProcessEvents();
        EXPECT_EQ(told, std::vector<QString>{QString::fromLatin1(c.message)}) << c.name;
        ASSERT_EQ(m_main->GetMDIChildCount(), windows + (c.opens ? 1 : 0)) << c.name;
        if (!c.opens)
            continue;
        Window window = Active();
        EXPECT_TRUE(Same(window.Image(), c.scan)) << c.name;
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 0) << c.name;
        EXPECT_EQ(window.doc->m_Buffer.GetRedoCount(), 0) << c.name;
    }
    CAmbrelDoc::s_pfnReportError = report;
}

TEST_F(EffectCommands, ResamplingDropsTheSelectionAndRepeatsByTheRatios)
{
    Window window = Open("a.png", vxtest::RandomImage(200, 100, 10));
    ASSERT_NE(window.doc, nullptr);
    Answer(window, {50, 25, 0.25, 0.25, 0});
    ASSERT_TRUE(m_main->ExecuteCommand(272));
    EXPECT_EQ(window.Image().GetWidth(), 50);
    EXPECT_EQ(window.Image().GetHeight(), 25);
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_REPEAT_LAST_EFFECT));
    EXPECT_EQ(window.Image().GetWidth(), 12);
    EXPECT_EQ(window.Image().GetHeight(), 6);
    EXPECT_EQ(m_asked, 1);
}

// Repeating a resample whose ratios leave a side under one pixel on the
// current picture is refused with a message, as the dialog refuses such a
// size: the picture, the undo ring, the zoom and the last command stay.
TEST_F(EffectCommands, ARepeatedResampleToLessThanAPixelIsRefusedWithAMessage)
{
    struct Case {
        const char* file;
        std::vector<double> answer;
        const char* told;
    };
    for (const Case& c : {Case{"wide.png", {50, 1, 0.25, 0.01, 0}, "Bilinear Resample cannot be repeated on this "
                                                                      "picture of 50 x 1 pixels: by the last ratios "
                                                                      "a side would be less than one pixel."},
                          Case{"tall.png", {1, 50, 0.005, 0.5, 1}, "B-Spline Resample cannot be repeated on this "
                                                                     "picture of 1 x 50 pixels: by the last ratios "
                                                                     "a side would be less than one pixel."}}) {
        Window window = Open(c.file, vxtest::RandomImage(200, 100, 17));
        ASSERT_NE(window.doc, nullptr);
        Answer(window, c.answer);
        ASSERT_TRUE(m_main->ExecuteCommand(272));
        const CVelvix resampled = window.Image();
        const QString last = window.view->EffectCommands().LastEffect().name;
        ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_ZOOM_IN));
        const double zoom = window.view->GetZoom();
        QString shown;
        WhenShown<QMessageBox>([&shown](QMessageBox* box) {
            shown = box->text();
            box->accept();
        });
        ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_REPEAT_LAST_EFFECT));
        EXPECT_EQ(shown, QString::fromLatin1(c.told));
        EXPECT_TRUE(Same(window.Image(), resampled)) << c.file;
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 1) << c.file;
        EXPECT_EQ(window.doc->m_Buffer.GetRedoCount(), 0) << c.file;
        EXPECT_EQ(window.view->GetZoom(), zoom) << c.file;
        EXPECT_EQ(window.view->EffectCommands().LastEffect().name, last) << c.file;
    }
    EXPECT_EQ(m_asked, 2);
}

TEST_F(EffectCommands, TheBarsFollowTheActiveWindowAndItsChanges)
{
    ASSERT_TRUE(m_main->GetHistogramDock()->isHidden());
    ASSERT_TRUE(m_main->GetViewPortDock()->isHidden());
    EXPECT_EQ(m_main->GetHistogramDock()->windowTitle(), QStringLiteral("Histogram"));
    EXPECT_EQ(m_main->GetViewPortDock()->windowTitle(), QStringLiteral("View Port"));
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_SHOW_HISTOGRAM));
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_VIEW_PORT_BAR));
    EXPECT_EQ(m_main->QueryCommand(cmd::ID_SHOW_HISTOGRAM).m_nCheck, 1);
    m_main->UpdateBars();
    EXPECT_TRUE(m_main->GetHistogramBar()->IsEmpty()) << "no image window, nothing to show";

    // All pixels of one colour: the largest count is the pixel count.
    Window grey = Open("grey.png", vxtest::FilledImage(30, 20, 0x808080));
    m_main->UpdateBars();
    EXPECT_FALSE(m_main->GetHistogramBar()->IsEmpty());
    EXPECT_EQ(m_main->GetHistogramBar()->LargestCount(), 600u);
    EXPECT_FALSE(m_main->GetViewPortBar()->IsEmpty());
    EXPECT_TRUE(m_main->GetViewPortBar()->Outline().isNull()) << "all of it shows at zoom 1";

    // Half red, half blue: the other window's counts.
    CVelvix halves = vxtest::FilledImage(10, 10, 0xFF0000);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x)
            halves.Bytes(x, y) = 0x0000FF;
    Window other = Open("halves.png", halves);
    m_main->UpdateBars();
    EXPECT_EQ(m_main->GetHistogramBar()->FollowedFrame(), other.frame);
    EXPECT_EQ(m_main->GetHistogramBar()->LargestCount(), 100u) << "green is 0 in every pixel";

    // A change empties the bar until the next idle update recomputes it.
    ASSERT_TRUE(m_main->ExecuteCommand(144));
    EXPECT_TRUE(m_main->GetHistogramBar()->IsEmpty());
    m_main->UpdateBars();
    EXPECT_FALSE(m_main->GetHistogramBar()->IsEmpty());

    Activate(grey);
    m_main->UpdateBars();
    EXPECT_EQ(m_main->GetHistogramBar()->FollowedFrame(), grey.frame);
    EXPECT_EQ(m_main->GetHistogramBar()->LargestCount(), 600u);

    // A hidden bar hears of no change: shown again, it counts anew.
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_SHOW_HISTOGRAM));
    ASSERT_TRUE(m_main->GetHistogramDock()->isHidden());
    grey.view->SetViewSelection(VxRect{0, 0, 10, 10});
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_CROP_SELECTION));
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_SHOW_HISTOGRAM));
    ProcessEvents();
    m_main->UpdateBars();
    EXPECT_EQ(m_main->GetHistogramBar()->LargestCount(), 100u);
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_UNDO));
    ASSERT_EQ(grey.Image().GetWidth(), 30);

    // Stepping to the next file of the folder (halves.png) counts it anew.
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_NEXT_FILE));
    ProcessEvents();
    ASSERT_EQ(grey.Image().GetWidth(), 10);
    m_main->UpdateBars();
    EXPECT_EQ(m_main->GetHistogramBar()->LargestCount(), 100u);

    for (CSMDIChildWnd* child : m_main->GetMDIChildren())
        child->CloseFrame();
    ProcessEvents();
    m_main->UpdateBars();
    EXPECT_TRUE(m_main->GetHistogramBar()->IsEmpty());
    EXPECT_TRUE(m_main->GetViewPortBar()->IsEmpty());
}

TEST_F(EffectCommands, EveryEffectIsInTheMenusAndChangesOnlyTheSelection)
{
    const CVelvix picture = vxtest::RandomImage(48, 40, 11);
    Window window = Open("a.png", picture);
    ASSERT_NE(window.doc, nullptr);
    window.view->EffectCommands().SetPrompter(std::make_unique<DefaultPrompter>());
    const VxRect selection{6, 4, 30, 28};
    window.view->SetViewSelection(selection);

    std::set<int> reachable;
    for (QAction* action : m_main->menuBar()->actions())
        if (action->menu())
            CollectIds(action->menu(), reachable);
    for (int id : {252, 253, 269})
        EXPECT_TRUE(reachable.count(id)) << id;

    int steps = 0;
    for (const CEffectCommand& command : ::EffectCommands()) {
        const std::string name = command.name.toStdString();
        const bool needsWhole = command.needs == CEffectCommand::Needs::NoSelection;
        EXPECT_EQ(reachable.count(command.id), needsWhole ? 0u : 1u) << name << " enabled with a selection";
        if (needsWhole)
            continue;
        CVelvix before = window.Image();
        ASSERT_TRUE(m_main->ExecuteCommand(command.id)) << name;
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), std::min(++steps, 20)) << name;
        EXPECT_TRUE(Same(Outside(window.Image(), selection), Outside(before, selection))) << name;
        if (command.id == 189)  // the melt is random
            continue;
        // Effects that change the size (rotation by an angle) put back the
        // top-left part of their result.
        CVelvix expected = Region(before, selection);
        CVelvix worked = expected;
        command.run(worked, DefaultPrompter::Defaults(command, 0, 0));
        VxRect whole{0, 0, expected.GetWidth(), expected.GetHeight()};
        ASSERT_TRUE(expected.CopyFromRect(worked, nullptr, &whole, true));
        EXPECT_TRUE(Same(Region(window.Image(), selection), expected)) << name;
    }

    // Resampling, enabled without a selection, works on the whole picture.
    window.view->SetViewSelection(VxRect{});
    EXPECT_FALSE(window.view->HasSelection());
    ASSERT_TRUE(m_main->ExecuteCommand(272));
    EXPECT_EQ(window.Image().GetWidth(), 24);
    EXPECT_EQ(window.Image().GetHeight(), 20);
}

TEST_F(EffectCommands, TheFolderIsNotRefreshedUnderARunningEffect)
{
    Window window = Open("only.png", vxtest::RandomImage(40, 30, 12));
    ASSERT_NE(window.doc, nullptr);
    ASSERT_EQ(window.doc->GetFileCount(), 1);
    int filesDuringTheEffect = -1;
    window.view->EffectCommands().SetPrompter(std::make_unique<ActingPrompter>(
        [&] {
            // The folder empties while the effect is under way.
            std::filesystem::remove(m_dir.File("only.png"));
            window.view->RefreshFolder();
            filesDuringTheEffect = window.doc->GetFileCount();
        },
        std::vector<double>{5}));
    QPointer<CPixelFrame> frame = window.frame;
    ASSERT_TRUE(m_main->ExecuteCommand(166));  // Shift Blur
    EXPECT_EQ(filesDuringTheEffect, 1) << "the refresh waits for the effect";
    EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 1);
    // Then the empty folder closes the window.
    for (int i = 0; i < 50 && frame; ++i)
        QTest::qWait(20);
    EXPECT_TRUE(frame.isNull());
}

TEST_F(EffectCommands, RepeatFollowsTheEnableRuleOfTheLastCommand)
{
    const CVelvix picture = vxtest::RandomImage(40, 30, 13);
    Window window = Open("a.png", picture);
    ASSERT_NE(window.doc, nullptr);
    window.view->SetViewSelection(VxRect{2, 2, 20, 20});
    ASSERT_TRUE(m_main->ExecuteCommand(264));  // Red Eye, on the selection
    ASSERT_TRUE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);
    window.view->SetViewSelection(VxRect{});
    const CVelvix before = window.Image();
    EXPECT_FALSE(m_main->QueryCommand(264).m_bEnabled);
    EXPECT_FALSE(m_main->QueryCommand(cmd::ID_REPEAT_LAST_EFFECT).m_bEnabled);
    m_main->RouteCommand(cmd::ID_REPEAT_LAST_EFFECT);  // routed as the menu entry does
    EXPECT_TRUE(Same(window.Image(), before));
    EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 1);
}

// A size the library refuses, a work buffer that cannot be had, or a worker
// thread the system refuses (too many tasks): the resample fails and leaves
// everything as it was, the redo step included, and says why.
TEST_F(EffectCommands, AFailedEffectLeavesNoTraceButAMessage)
{
    const CVelvix picture = vxtest::RandomImage(200, 100, 14);
    Window window = Open("a.png", picture);
    ASSERT_NE(window.doc, nullptr);
    ASSERT_TRUE(m_main->ExecuteCommand(144));
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_UNDO));  // a step to redo
    window.doc->SetModifiedFlag(false);
    g_sparedThread = std::this_thread::get_id();
    const std::size_t kScarce = 65536;  // below the 20000 columns' sample positions
    const struct {
        std::vector<double> size;
        std::size_t limit;
        bool refuseThreads = false;
    } cases[] = {{{40000, 40000, 200, 400, 0}, 0},
                 {{70000, 10, 350, 0.1, 1}, 0},
                 {{20000, 10, 100, 0.1, 0}, kScarce},
                 {{300, 100, 1.5, 1, 0}, 0, true}};
    for (const auto& [size, limit, refuseThreads] : cases) {
        Answer(window, size);
        QString shown;
        // Looks again until the message comes: the busy indicator's loop
        // runs the events while the effect works.
        QTimer accept;
        QObject::connect(&accept, &QTimer::timeout, [&shown] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                    shown = box->text();
                    box->accept();
                }
        });
        accept.start(10);
        g_newLimit = limit;
        g_refuseThreads = refuseThreads;
        m_main->ExecuteCommand(272);
        g_refuseThreads = false;
        g_newLimit = 0;
        EXPECT_EQ(shown, QString::fromLatin1(refuseThreads ? CViewEffectCommands::kEffectWithoutThread
                                                           : CViewEffectCommands::kEffectFailed)
                             .arg("Bilinear Resample"));
        EXPECT_TRUE(Same(window.Image(), picture));
        EXPECT_FALSE(window.doc->IsModified());
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), 0);
        EXPECT_EQ(window.doc->m_Buffer.GetRedoCount(), 1);
        EXPECT_EQ(window.view->EffectCommands().LastEffect().name, QStringLiteral("Negative"));
    }
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_EDIT_REDO));
    CVelvix negative = picture;
    negative.Negative();
    EXPECT_TRUE(Same(window.Image(), negative));
}

// The timing pane times the effect, not the user answering its prompt; a
// cancelled resample leaves the zoom alone.
TEST_F(EffectCommands, PromptsAreNotTimedAndACancelledResampleKeepsTheZoom)
{
    Window window = Open("a.png", vxtest::RandomImage(60, 40, 15));
    ASSERT_NE(window.doc, nullptr);
    std::chrono::steady_clock::time_point answered;
    window.view->EffectCommands().SetPrompter(std::make_unique<ActingPrompter>(
        [&] {
            QTest::qWait(50);
            answered = std::chrono::steady_clock::now();
        },
        std::vector<double>{3}));
    ASSERT_TRUE(m_main->ExecuteCommand(166));
    EXPECT_GE(window.doc->m_nLoadStart, answered);

    window.view->SetViewSelection(VxRect{10, 10, 20, 20});
    ASSERT_TRUE(m_main->ExecuteCommand(viewcmd::ID_ZOOM_IN));
    const double zoom = window.view->GetZoom();
    ASSERT_NE(zoom, 1.0);
    Answer(window, {});
    m_main->ExecuteCommand(272);
    EXPECT_EQ(window.view->GetZoom(), zoom);
    EXPECT_EQ(window.Image().GetWidth(), 60);
    Answer(window, {30, 20, 0.5, 0.5, 0});
    ASSERT_TRUE(m_main->ExecuteCommand(272));
    EXPECT_EQ(window.view->GetZoom(), 1.0);
    EXPECT_EQ(window.Image().GetWidth(), 30);
}

TEST_F(EffectCommands, TheViewPortMiniatureIsRedrawnWhenItsBarIsResized)
{
    ASSERT_TRUE(m_main->ExecuteCommand(cmd::ID_VIEW_PORT_BAR));
    Open("wide.png", vxtest::FilledImage(400, 100, 0x204080));
    m_main->UpdateBars();
    CViewPortDialogBar* bar = m_main->GetViewPortBar();
    ASSERT_FALSE(bar->IsEmpty());
    for (const QSize size : {QSize(300, 200), QSize(220, 160)}) {
        bar->resize(size);
        EXPECT_EQ(bar->Miniature().size(), size);
        EXPECT_EQ(bar->ImageRect(), QRect(0, 0, size.width(), size.width() / 4)) << size.width();
    }
    // A picture thinner than the bar is a line of one pixel, not nothing.
    for (const QSize shape : {QSize(8000, 1), QSize(2, 9000)}) {
        Open("thin" + std::to_string(shape.width()) + ".png", vxtest::FilledImage(shape.width(), shape.height(), 0x204080));
        m_main->UpdateBars();
        const QRect drawn = bar->ImageRect();
        EXPECT_EQ(drawn.size(), shape.width() > 1000 ? QSize(220, 1) : QSize(1, 160)) << shape.width();
        EXPECT_EQ(bar->Miniature().pixel(drawn.bottomRight()) & 0xFFFFFF, 0x204080u) << shape.width();
    }
}

TEST_F(EffectCommands, TheWindowManagersCloseLeavesARunningEffectAndARefusingWindowAsTheyWere)
{
    // The close that the window manager delivers while an effect runs (the
    // busy indicator is not up yet), and one that the save question cancels.
    for (const bool duringEffect : {false, true}) {
        SCOPED_TRACE(duringEffect ? "during an effect" : "save question cancelled");
        Window window = Open(duringEffect ? "large.png" : "small.png",
                             vxtest::RandomImage(duringEffect ? 1500 : 20, duringEffect ? 1000 : 10, 3));
        ASSERT_NE(window.doc, nullptr);
        ASSERT_TRUE(window.view->m_Watcher.IsWatching());
        QPointer<CPixelFrame> frame = window.frame;
        auto closeProgram = [this] {
            QCloseEvent close;
            QApplication::sendEvent(m_main->windowHandle(), &close);
        };
        bool runningAtClose = false;
        if (duringEffect) {
            window.view->EffectCommands().SetPrompter(std::make_unique<ActingPrompter>(
                [&] {
                    QTimer::singleShot(0, [&] {
                        runningAtClose = window.view->EffectCommands().IsRunning();
                        closeProgram();
                    });
                },
                std::vector<double>{5}));
            ASSERT_TRUE(m_main->ExecuteCommand(188));  // Oil Paint
            EXPECT_TRUE(runningAtClose);
        } else {
            window.doc->SetModifiedFlag(true);
            CAmbrelDoc::s_pfnAskSaveChanges = [](const QString&) { return int(QMessageBox::Cancel); };
            closeProgram();
            CAmbrelDoc::s_pfnAskSaveChanges = m_askSaveChanges;
        }
        ProcessEvents();
        ASSERT_FALSE(frame.isNull());
        EXPECT_TRUE(m_main->isVisible());
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), duringEffect ? 1 : 0);
        EXPECT_TRUE(window.view->m_Watcher.IsWatching()) << "the window still follows its folder";
        window.doc->SetModifiedFlag(false);
        frame->CloseFrame();
        ProcessEvents();
    }
}
