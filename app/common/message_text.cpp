#include "message_text.h"

#include <algorithm>

QString MessageExcerpt(const QString& text, int characters, int lines)
{
    qsizetype end = std::min(text.size(), qsizetype(std::max(0, characters)));
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < end; ++i)
        if (text[i] == QLatin1Char('\n') && ++breaks == std::max(1, lines)) {
            end = i;
            break;
        }
    if (end == text.size())
        return text;
    // A surrogate pair is never split.
    if (end > 0 && text[end - 1].isHighSurrogate())
        --end;
    return text.left(end) + QStringLiteral("...");
}
