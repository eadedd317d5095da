#pragma once

#include <optional>
#include <string>
#include <vector>

#include "effect_steps.h"
#include "picture_task.h"

// What `effect` and `convert` are asked to do: the steps, the files and how
// many at a time.
struct CBatchPlan {
    std::vector<CEffectStep> steps;
    std::vector<CPictureTask> tasks;
    int jobs = 1;
    bool help = false;
    bool list = false;
};

// Reads the arguments after the command's name. `withEffects` is true for
// `effect`. On a mistake returns nothing and says what is wrong in `error`.
std::optional<CBatchPlan> ParseBatchCommand(const std::vector<std::string>& args, bool withEffects,
                                            std::string& error);

// Reads the value of --jobs: a whole number from 1 to 256.
std::optional<int> ParseJobs(const std::string& text);

// The cores of the machine, the default number of jobs.
int DefaultJobs();
