#pragma once

#include <string>
#include <vector>

#include "effect_steps.h"

// One picture to make: read `input`, apply the steps, save as `output` in
// the format its name gives.
struct CPictureTask {
    std::string input, output;
    std::string refusal;  // when set, the task fails with it unread
};

// Does the task; returns an empty text on success, else a one-line message
// that names the file and the reason. A failed save leaves no file behind.
std::string RunPictureTask(const CPictureTask& task, const std::vector<CEffectStep>& steps);
