#include "effect_runner.h"

#include <QMutex>

#include <map>

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
        values[0] = double(int(width * values[2]));
        values[1] = double(int(height * values[3]));
    }
    return values;
}

bool CEffectRunner::Run(const CEffectCommand& command, CVelvixBuffer& ring, const VxRect* selection, bool repeating,
                        CEffectPrompter& prompter, CLastEffect& last, QWidget* busyParent)
{
    if (!ring->IsValidObject())
        return false;
    const auto values = Values(command, ring, repeating, prompter);
    if (!values)
        return false;
    if (command.resample && ((*values)[0] < 1 || (*values)[1] < 1))
        return false;
    last.id = command.id;
    last.name = command.resample && (*values)[4] != 0 ? QStringLiteral("B-Spline Resample") : command.name;
    const std::vector<double> arguments = *values;
    return ApplyFunction(ring, command.needs == CEffectCommand::Needs::NoSelection ? nullptr : selection, busyParent,
                         [&command, arguments](CVelvix& target) { command.run(target, arguments); });
}

bool CEffectRunner::ApplyFunction(CVelvixBuffer& ring, const VxRect* selection, QWidget* busyParent,
                                  const std::function<void(CVelvix&)>& operation)
{
    if (!ring->IsValidObject())
        return false;
    const VxRect area = ClipSelection(selection, ring->GetWidth(), ring->GetHeight());
    // The worker changes a copy, so the window can repaint the unchanged
    // picture meanwhile; the result then takes the place of the copy made for
    // the new undo step.
    CVelvix work;
    if (area.IsEmpty())
        work = *ring;
    else
        work.CopyFromRect(*ring, &area, nullptr, true);
    if (!work.IsValidObject())
        return false;
    RunWithBusyIndicator(busyParent, [&work, &operation] { operation(work); });
    ring.MakeCopy();
    if (area.IsEmpty()) {
        ring->Swap(work);
        return true;
    }
    VxRect target = area;
    if (!ring->CopyFromRect(work, nullptr, &target, true)) {
        ring.Undo();  // no memory for the undo copy: back to the unchanged picture
        return false;
    }
    return true;
}
