#include "effect_names.h"

namespace {

QString WithoutMarks(QString text)
{
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        text.truncate(tab);
    return text.remove(QLatin1Char('&')).trimmed();
}

} // namespace

QString EffectMenuName(const CEffectCommand& command)
{
    return WithoutMarks(command.menuText);
}

const CEffectCommand* FindEffectByName(const QString& name)
{
    const QString wanted = WithoutMarks(name);
    if (wanted.isEmpty())
        return nullptr;
    for (const CEffectCommand& command : EffectCommands())
        if (wanted.compare(EffectMenuName(command), Qt::CaseInsensitive) == 0 ||
            wanted.compare(WithoutMarks(command.name), Qt::CaseInsensitive) == 0)
            return &command;
    return nullptr;
}

double EffectPromptDefault(const CEffectPrompt& prompt, const std::vector<double>& earlier)
{
    if (prompt.kind == CEffectPrompt::Kind::HalfOfPrevious && !earlier.empty())
        return double(int(earlier.back()) / 2);
    return prompt.defaultValue;
}
