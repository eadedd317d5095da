#pragma once

#include <QString>

// The part of a long text that a message box can show and still fit on the
// screen: at most `characters` characters and `lines` lines, with "..." where
// it was cut. A text within both limits comes back unchanged.
QString MessageExcerpt(const QString& text, int characters, int lines);
