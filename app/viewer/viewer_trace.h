#pragma once

#include <QString>

// With AMBREL_TRACE_LOG naming a file, the moments a benchmark of the real
// program needs are appended to it, one line each:
//   <microseconds since the epoch> <event> [<detail>]
// Events: splash-shown, splash-hidden, frame-painted (the main window's first
// paint), image-painted <path> (a newly loaded picture is on screen),
// prefetched <path> (the neighbour is decoded). Costs nothing when unset.
namespace vxtrace {

bool Enabled();
// Thread-safe.
void Log(const char* event, const QString& detail = QString());

} // namespace vxtrace
