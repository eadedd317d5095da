#include "effect_steps.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "effect_names.h"
#include "image/velvix.h"

namespace {

using Kind = CEffectPrompt::Kind;

const char* const kFilters[] = {"Bilinear", "B-Spline"};

// A resample takes the new width, the new height and the filter.
CEffectPrompt ResamplePrompt(std::size_t index)
{
    if (index < 2)
        return {Kind::Integer, QString::fromLatin1(index == 0 ? "new width" : "new height"), 0, 1, 65535};
    return {Kind::Choice, QStringLiteral("filter"), 0, 0, 1, {kFilters[0], kFilters[1]}};
}

CEffectPrompt PromptAt(const CEffectCommand& command, std::size_t index)
{
    return command.resample ? ResamplePrompt(index) : command.prompts[index];
}

std::optional<double> ParseNumber(const std::string& text)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> ChoiceIndex(const CEffectPrompt& prompt, const std::string& text)
{
    const QString word = QString::fromLocal8Bit(text.c_str());
    for (int i = 0; i < prompt.choices.size(); ++i)
        if (word.compare(prompt.choices[i], Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

std::string Number(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string RangeText(const CEffectPrompt& prompt)
{
    if (prompt.kind == Kind::Choice)
        return prompt.choices.join(QStringLiteral(" or ")).toStdString() + " (or 0.." +
               std::to_string(prompt.choices.size() - 1) + ")";
    return Number(prompt.minimum) + ".." + Number(prompt.maximum);
}

// The prompt's first line, which names the value.
std::string PromptLabel(const CEffectPrompt& prompt)
{
    QString label = prompt.text.section(QLatin1Char('\n'), 0, 0);
    for (const char* lead : {"Enter the value of the ", "Enter the value of ", "Enter the "})
        if (label.startsWith(QLatin1String(lead))) {
            label.remove(0, qsizetype(std::strlen(lead)));
            break;
        }
    return label.toStdString();
}

} // namespace

std::size_t EffectValueCount(const CEffectCommand& command)
{
    return command.resample ? 3 : command.prompts.size();
}

bool LooksLikeEffectValue(const CEffectCommand& command, std::size_t index, const std::string& text)
{
    if (index >= EffectValueCount(command))
        return false;
    return ParseNumber(text) || ChoiceIndex(PromptAt(command, index), text);
}

std::optional<double> ParseEffectValue(const CEffectCommand& command, std::size_t index, const std::string& text,
                                       std::string& error)
{
    const std::string name = EffectMenuName(command).toStdString();
    if (index >= EffectValueCount(command)) {
        error = name + " takes " + std::to_string(EffectValueCount(command)) + " value(s); '" + text + "' is one too many";
        return std::nullopt;
    }
    const CEffectPrompt prompt = PromptAt(command, index);
    if (prompt.kind == Kind::Choice)
        if (const auto choice = ChoiceIndex(prompt, text))
            return double(*choice);
    const auto value = ParseNumber(text);
    const bool whole = value && *value == std::trunc(*value);
    if (!value || (prompt.kind != Kind::Double && !whole)) {
        const std::string expected = prompt.kind == Kind::Choice   ? RangeText(prompt)
                                     : prompt.kind == Kind::Double ? "a number"
                                                                   : "an integer";
        error = name + ": '" + text + "' is not " + expected + " (" + PromptLabel(prompt) + ")";
        return std::nullopt;
    }
    if (prompt.minimum != prompt.maximum && (*value < prompt.minimum || *value > prompt.maximum)) {
        error = name + ": " + text + " is outside " + RangeText(prompt) + " (" + PromptLabel(prompt) + ")";
        return std::nullopt;
    }
    return value;
}

std::string CheckEffectStep(const CEffectStep& step)
{
    if (step.command->resample && step.values.size() >= 2 && !VxSizeAllowed(step.values[0], step.values[1]))
        return "Resample: " + Number(step.values[0]) + " x " + Number(step.values[1]) +
               " is more pixels than a picture may have";
    return {};
}

std::vector<double> EffectValuesFor(const CEffectStep& step, int width, int height)
{
    std::vector<double> values = step.values;
    if (!step.command->resample) {
        for (std::size_t i = values.size(); i < step.command->prompts.size(); ++i)
            values.push_back(EffectPromptDefault(step.command->prompts[i], values));
        return values;
    }
    // Like the resample dialog, whose aspect lock is on: a width alone keeps
    // the picture's proportions.
    const double newWidth = values.empty() ? width : values[0];
    const double heightRatio = values.size() >= 2 ? values[1] / height : newWidth / width;
    const double newHeight = values.size() >= 2 ? values[1] : std::trunc(height * heightRatio);
    const double filter = values.size() >= 3 ? values[2] : 0;
    return {newWidth, newHeight, newWidth / width, heightRatio, filter};
}

bool ApplyEffectStep(const CEffectStep& step, CVelvix& image, std::string& error)
{
    const std::vector<double> values = EffectValuesFor(step, image.GetWidth(), image.GetHeight());
    if (step.command->resample && (values[0] < 1 || values[1] < 1 || !VxSizeAllowed(values[0], values[1]))) {
        error = "Resample: the new size " + Number(values[0]) + " x " + Number(values[1]) + " is not possible";
        return false;
    }
    step.command->run(image, values);
    if (!image.IsValidObject() ||
        (step.command->resample && (image.GetWidth() != int(values[0]) || image.GetHeight() != int(values[1])))) {
        error = EffectMenuName(*step.command).toStdString() + ": not enough memory for the new picture";
        return false;
    }
    return true;
}

std::string EffectListText()
{
    std::ostringstream out;
    for (const CEffectCommand& command : EffectCommands()) {
        out << "  " << EffectMenuName(command).toStdString();
        const std::string other = QString(command.name).remove(QLatin1Char('&')).toStdString();
        if (other != EffectMenuName(command).toStdString())
            out << "  (or \"" << other << "\")";
        out << '\n';
        for (std::size_t i = 0; i < EffectValueCount(command); ++i) {
            const CEffectPrompt prompt = PromptAt(command, i);
            out << "      value " << i + 1 << ": " << PromptLabel(prompt) << ", " << RangeText(prompt) << ", default ";
            if (command.resample)
                out << (i < 2 ? "the picture's" : "Bilinear");
            else if (prompt.kind == Kind::HalfOfPrevious)
                out << "half of value " << i;
            else if (prompt.kind == Kind::Choice)
                out << prompt.choices.value(int(prompt.defaultValue)).toStdString();
            else
                out << Number(prompt.defaultValue);
            out << '\n';
        }
    }
    return out.str();
}
