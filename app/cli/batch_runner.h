#pragma once

#include <functional>
#include <string>

// Runs `count` independent tasks on `jobs` threads. A task returns an empty
// text on success or its one-line failure, which is printed on standard
// error at once; the others go on. With `progress`, a bar on standard error
// shows the files done. Returns the number of failed tasks; tasks not
// started because of an interruption count as failed.
struct CBatchResult {
    long failed = 0;
    bool interrupted = false;
};
CBatchResult RunBatch(long count, int jobs, bool progress, const std::function<std::string(long)>& task);

// Asks a running batch to start no further task (from a signal handler).
void InterruptBatch();
