#include "message_text.h"

#include <algorithm>

namespace {

// Every character a label starts a new line at; "\r\n" is one break.
bool BreaksLine(const QString& text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    return c == u'\n' || c == u'\u2028' || c == u'\u2029' ||
           (c == u'\r' && (i + 1 == text.size() || text[i + 1] != QLatin1Char('\n')));
}

} // namespace

QString MessageExcerpt(const QString& text, int characters, int lines)
{
    qsizetype end = std::min(text.size(), qsizetype(std::max(0, characters)));
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < end; ++i)
        if (BreaksLine(text, i) && ++breaks == std::max(1, lines)) {
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
