#include <QThreadPool>

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "address_space_limit.h"
#include "thread_start_refused.h"

#include "effect_runner.h"
#include "image/velvix_buffer.h"
#include "test_support.h"

namespace {

// Answers every prompt with its default (or the scripted values) and counts
// how often it was asked.
class ScriptedPrompter : public CEffectPrompter {
public:
    std::optional<std::vector<double>> AskValues(const CEffectCommand& command, int width, int height) override
    {
        ++asked;
        if (cancel)
            return std::nullopt;
        if (!script.empty())
            return script;
        if (command.resample)
            return std::vector<double>{double(width / 2), double(height / 2), 0.5, 0.5, 0};
        std::vector<double> values;
        for (const CEffectPrompt& prompt : command.prompts)
            values.push_back(prompt.kind == CEffectPrompt::Kind::HalfOfPrevious ? int(values.back()) / 2
                                                                                : prompt.defaultValue);
        return values;
    }
    int asked = 0;
    bool cancel = false;
    std::vector<double> script;
};

CVelvixBuffer LoadedRing(int w, int h, std::uint32_t seed = 1)
{
    CVelvixBuffer ring(21);
    *ring = vxtest::RandomImage(w, h, seed);
    return ring;
}

class EffectRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { CEffectRunner::ForgetRememberedValues(); }
    ScriptedPrompter prompter;
    CLastEffect last;
};

} // namespace

TEST_F(EffectRunnerTest, EveryRowRunsAsOneUndoStep)
{
    std::set<int> ids;
    for (const CEffectCommand& command : EffectCommands()) {
        EXPECT_TRUE(ids.insert(command.id).second) << "duplicate id " << command.id;
        EXPECT_FALSE(command.menuText.isEmpty());
        EXPECT_FALSE(command.name.isEmpty());
        CVelvixBuffer ring = LoadedRing(40, 30, command.id);
        CVelvix before = *ring;
        const VxRect selection{5, 5, 25, 20};
        const bool withSelection = command.needs == CEffectCommand::Needs::Selection;
        ASSERT_TRUE(CEffectRunner::Run(command, ring, withSelection ? &selection : nullptr, false, prompter, last))
            << command.name.toStdString();
        EXPECT_EQ(ring.GetUndoCount(), 1) << command.name.toStdString();
        EXPECT_EQ(last.id, command.id);
        ring.Undo();
        EXPECT_EQ(vxtest::FirstDifference(*ring, before), -1) << command.name.toStdString();
    }
    EXPECT_GE(ids.size(), 50u);
}

TEST_F(EffectRunnerTest, ASelectionIsTheOnlyPartThatChanges)
{
    CVelvixBuffer ring = LoadedRing(50, 40);
    CVelvix before = *ring;
    const VxRect selection{10, 5, 30, 25};
    ASSERT_TRUE(CEffectRunner::Run(*FindEffectCommand(144), ring, &selection, false, prompter, last));
    for (int r = 0; r < 40; ++r)
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 10 && x < 30 && r >= 5 && r < 25;
            const VxPixel was = before.Bytes(x, 39 - r), now = ring->Bytes(x, 39 - r);
            ASSERT_EQ(now, inside ? (~was & 0xFFFFFF) : was) << x << "," << r;
        }
    EXPECT_EQ(ring.GetUndoCount(), 1);
}

TEST_F(EffectRunnerTest, ASelectionReachingOutsideIsClipped)
{
    CVelvixBuffer ring = LoadedRing(20, 20);
    CVelvix before = *ring;
    const VxRect selection{15, -5, 40, 5};
    ASSERT_TRUE(CEffectRunner::Run(*FindEffectCommand(144), ring, &selection, false, prompter, last));
    EXPECT_EQ(ring->Bytes(19, 19), ~before.Bytes(19, 19) & 0xFFFFFF);
    EXPECT_EQ(ring->Bytes(14, 19), before.Bytes(14, 19));
    EXPECT_EQ(ring->Bytes(19, 14), before.Bytes(19, 14));
}

// A cancelled prompt, or a thread the system cannot start for the work (no
// memory left for its stack, or too many tasks running; a thread pool's task
// would wait for ever): the picture and its steps stay, redo included, and
// only the latter two are failures to tell, each with its own cause.
TEST_F(EffectRunnerTest, ACancelledPromptOrAThreadRefusedChangesNothing)
{
    enum class Trouble { Cancelled, NoMemoryForThread, TooManyTasks };
    const std::pair<Trouble, CEffectRunner::EFailure> cases[] = {
        {Trouble::Cancelled, CEffectRunner::EFailure::None},
        {Trouble::NoMemoryForThread, CEffectRunner::EFailure::Failed},
        {Trouble::TooManyTasks, CEffectRunner::EFailure::NoThread},
    };
    for (const auto& [trouble, expected] : cases) {
        SCOPED_TRACE(int(trouble));
#if defined(__SANITIZE_ADDRESS__)
        if (trouble == Trouble::NoMemoryForThread)
            continue;  // AddressSanitizer's shadow memory does not fit under a limit of the address space
#endif
        CVelvixBuffer ring = LoadedRing(20, 20);
        CVelvix before = *ring;
        ASSERT_TRUE(CEffectRunner::Run(*FindEffectCommand(144), ring, nullptr, false, prompter, last));
        ring.Undo();  // a step to redo
        last.Clear();
        prompter.cancel = trouble == Trouble::Cancelled;
        prompter.script = {3};
        CEffectRunner::EFailure failure = CEffectRunner::EFailure::None;
        {
            QThreadPool::globalInstance()->waitForDone();  // as when its idle threads have ended
            std::optional<LargeThreadStacks> stacks;
            std::optional<AddressSpaceLimit> limit;
            if (trouble == Trouble::NoMemoryForThread) {
                stacks.emplace();
                limit.emplace(16 << 20);
                ASSERT_TRUE(stacks->IsSet() && limit->IsSet());
            }
            g_refuseThreads = trouble == Trouble::TooManyTasks;
            EXPECT_FALSE(CEffectRunner::Run(*FindEffectCommand(166), ring, nullptr, false, prompter, last, nullptr, {},
                                            &failure));
            g_refuseThreads = false;
        }
        EXPECT_EQ(failure, expected);
        EXPECT_EQ(ring.GetUndoCount(), 0);
        EXPECT_EQ(ring.GetRedoCount(), 1);
        EXPECT_FALSE(last.Exists());
        EXPECT_EQ(vxtest::FirstDifference(*ring, before), -1);
    }
}

TEST_F(EffectRunnerTest, RepeatingUsesTheRememberedValuesInAnyWindow)
{
    const CEffectCommand& shiftBlur = *FindEffectCommand(166);
    CVelvixBuffer first = LoadedRing(30, 10, 1);
    prompter.script = {3};
    ASSERT_TRUE(CEffectRunner::Run(shiftBlur, first, nullptr, false, prompter, last));
    EXPECT_EQ(prompter.asked, 1);

    CVelvixBuffer second = LoadedRing(30, 10, 2);
    CVelvix expected = *second;
    expected.ShiftBlur(3);
    CLastEffect otherWindow;
    ASSERT_TRUE(CEffectRunner::Run(shiftBlur, second, nullptr, true, prompter, otherWindow));
    EXPECT_EQ(prompter.asked, 1) << "repeating does not ask again";
    EXPECT_EQ(vxtest::FirstDifference(*second, expected), -1);
}

TEST_F(EffectRunnerTest, RepeatedResampleScalesTheCurrentSize)
{
    const CEffectCommand& resample = *FindEffectCommand(kResampleId);
    CVelvixBuffer ring = LoadedRing(200, 100);
    prompter.script = {50, 25, 0.25, 0.25, 1};
    ASSERT_TRUE(CEffectRunner::Run(resample, ring, nullptr, false, prompter, last));
    EXPECT_EQ(ring->GetWidth(), 50);
    EXPECT_EQ(ring->GetHeight(), 25);
    EXPECT_EQ(last.name, QStringLiteral("B-Spline Resample"));
    ASSERT_TRUE(CEffectRunner::Run(resample, ring, nullptr, true, prompter, last));
    EXPECT_EQ(ring->GetWidth(), 12);
    EXPECT_EQ(ring->GetHeight(), 6);
    EXPECT_EQ(ring.GetUndoCount(), 2);
}

TEST_F(EffectRunnerTest, ResampleIgnoresTheSelection)
{
    const CEffectCommand& resample = *FindEffectCommand(kResampleId);
    EXPECT_EQ(resample.needs, CEffectCommand::Needs::NoSelection);
    EXPECT_EQ(FindEffectCommand(264)->needs, CEffectCommand::Needs::Selection);
}

TEST_F(EffectRunnerTest, LastCommandMenuText)
{
    last.id = 166;
    last.name = QStringLiteral("Shift Blur");
    EXPECT_EQ(last.MenuText(), QStringLiteral("&Last Command: \"Shift Blur\"\t~"));
    last.Clear();
    EXPECT_FALSE(last.Exists());
}

TEST_F(EffectRunnerTest, NoImageNoEffect)
{
    CVelvixBuffer ring(21);
    EXPECT_FALSE(CEffectRunner::Run(*FindEffectCommand(144), ring, nullptr, false, prompter, last));
    EXPECT_EQ(prompter.asked, 0);
}
