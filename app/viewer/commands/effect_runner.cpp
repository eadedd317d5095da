#include "effect_runner.h"

#include <QMutex>

#include <cmath>
#include <map>
#include <new>

#include "busy_indicator.h"
#include "effect_names.h"
#include "choice_dialog.h"
#include "enter_value_dialog.h"
#include "image/velvix_buffer.h"
#include "resample_dialog.h"

namespace {

QMutex g_RememberedLock;
std::map<int, std::vector<double>> g_Remembered;

// The selection cut to the image; empty when there is none.
VxRect ClipSelection(const VxRect* selection, int width, int height)
{
    if (!selection || selection->IsEmpty())
        return VxRect{};
    VxRect clipped{std::max(0, selection->left), std::max(0, selection->top), std::min(width, selection->right),
                   std::min(height, selection->bottom)};
    return clipped.IsEmpty() ? VxRect{} : clipped;
}

} // namespace

QString CLastEffect::MenuText() const
{
    return QStringLiteral("&Last Command: \"%1\"\t~").arg(name);
}

std::optional<std::vector<double>> CDialogPrompter::AskValues(const CEffectCommand& command, int width, int height)
{
    std::vector<double> values;
    if (command.resample) {
        CResampleDialog dialog(width, height, m_pParent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return std::vector<double>{double(dialog.NewWidth()), double(dialog.NewHeight()), dialog.WidthRatio(),
                                   dialog.HeightRatio(), double(dialog.Filter())};
    }
    for (const CEffectPrompt& prompt : command.prompts) {
        switch (prompt.kind) {
        case CEffectPrompt::Kind::Choice: {
            CChoiceDialog dialog(prompt.text, prompt.choices, m_pParent);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            values.push_back(dialog.Choice());
            break;
        }
        case CEffectPrompt::Kind::Double: {
            CEnterValueDialog dialog(prompt.text, prompt.defaultValue, prompt.minimum, prompt.maximum, m_pParent);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            values.push_back(dialog.DoubleValue());
            break;
        }
        case CEffectPrompt::Kind::Integer:
        case CEffectPrompt::Kind::HalfOfPrevious: {
            const int initial = int(EffectPromptDefault(prompt, values));
            CEnterValueDialog dialog(prompt.text, initial, int(prompt.minimum), int(prompt.maximum), m_pParent);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            values.push_back(dialog.IntValue());
            break;
        }
        }
    }
    return values;
}

std::vector<double> CEffectRunner::RememberedValues(int id)
{
    QMutexLocker lock(&g_RememberedLock);
    const auto found = g_Remembered.find(id);
    return found == g_Remembered.end() ? std::vector<double>{} : found->second;
}

void CEffectRunner::ForgetRememberedValues()
{
    QMutexLocker lock(&g_RememberedLock);
    g_Remembered.clear();
}

std::optional<std::vector<double>> CEffectRunner::Values(const CEffectCommand& command, CVelvixBuffer& ring,
                                                         bool repeating, CEffectPrompter& prompter)
{
    if (!command.resample && command.prompts.empty())
        return std::vector<double>{};
    const int width = ring->GetWidth(), height = ring->GetHeight();
    std::vector<double> values = RememberedValues(command.id);
    if (!repeating || values.empty()) {
        auto asked = prompter.AskValues(command, width, height);
        if (!asked)
            return std::nullopt;
        values = *asked;
        QMutexLocker lock(&g_RememberedLock);
        g_Remembered[command.id] = values;
    } else if (command.resample) {
        // Repeating a resample scales the current size by the remembered ratios.
        // (Truncated in double: a large ratio may exceed any int.)
        values[0] = std::trunc(width * values[2]);
        values[1] = std::trunc(height * values[3]);
    }
    return values;
}

bool CEffectRunner::Run(const CEffectCommand& command, CVelvixBuffer& ring, const VxRect* selection, bool repeating,
                        CEffectPrompter& prompter, CLastEffect& last, QWidget* busyParent,
                        const std::function<void()>& starting, EFailure* failure)
{
    if (failure)
        *failure = EFailure::None;
    if (!ring->IsValidObject())
        return false;
    const auto values = Values(command, ring, repeating, prompter);
    if (!values)
        return false;
    if (command.resample && ((*values)[0] < 1 || (*values)[1] < 1)) {
        if (failure)
            *failure = EFailure::TooSmall;
        return false;
    }
    if (starting)
        starting();
    const std::vector<double> arguments = *values;
    // A size the library refuses is not even tried.
    auto side = [](double value) { return value < 1e9 ? (long long)value : (long long)1e9; };
    EFailure why = EFailure::Failed;
    const bool done = (!command.resample || VxSizeAllowed(side(arguments[0]), side(arguments[1]))) &&
                      ApplyFunction(
                          ring, command.needs == CEffectCommand::Needs::NoSelection ? nullptr : selection, busyParent,
                          [&command, &arguments](CVelvix& target) {
                              command.run(target, arguments);
                              return !command.succeeded || command.succeeded(target, arguments);
                          },
                          &why);
    if (!done) {
        if (failure)
            *failure = why;
        return false;
    }
    last.id = command.id;
    last.name = command.resample && arguments[4] != 0 ? QStringLiteral("B-Spline Resample") : command.name;
    return true;
}

bool CEffectRunner::ApplyFunction(CVelvixBuffer& ring, const VxRect* selection, QWidget* busyParent,
                                  const std::function<bool(CVelvix&)>& operation, EFailure* failure)
{
    if (failure)
        *failure = EFailure::Failed;
    if (!ring->IsValidObject())
        return false;
    const VxRect area = ClipSelection(selection, ring->GetWidth(), ring->GetHeight());
    // The worker changes a copy, so the window can repaint the unchanged
    // picture meanwhile; the result then becomes the new step. Nothing
    // touches the ring before the result is known to be good, so a failure
    // leaves its history (redo too) intact.
    CVelvix work;
    if (area.IsEmpty())
        work = *ring;
    else
        work.CopyFromRect(*ring, &area, nullptr, true);
    if (!work.IsValidObject())
        return false;
    bool done = false;
    EThreadRefusal refused = EThreadRefusal::ShortOfMemory;
    const bool ran = RunWithBusyIndicator(
        busyParent,
        [&work, &operation, &done] {
            // An effect's work buffer that cannot be had fails the effect; the
            // exception would end the program, and the unsaved edits with it.
            try {
                done = operation(work);
            } catch (const std::bad_alloc&) {
                done = false;
            }
        },
        &refused);
    if (!ran && refused == EThreadRefusal::TooManyTasks && failure)
        *failure = EFailure::NoThread;
    if (!done || !work.IsValidObject())
        return false;
    if (!area.IsEmpty()) {
        // Inside the picture and from a valid result: only the whole
        // picture's copy can fail.
        CVelvix whole = *ring;
        VxRect target = area;
        if (!whole.IsValidObject() || !whole.CopyFromRect(work, nullptr, &target, true))
            return false;
        work.Swap(whole);
    }
    ring.Push(work);
    return true;
}
