#pragma once

#include <optional>
#include <string>
#include <vector>

#include "effect_table.h"

class CVelvix;

// One effect to apply with the values given on the command line; values not
// given take the prompts' defaults (for a resample, the picture's size).
struct CEffectStep {
    const CEffectCommand* command = nullptr;
    std::vector<double> values;
};

// How many values the effect takes at most.
std::size_t EffectValueCount(const CEffectCommand& command);

// Reads the value at `index` of the effect from its text; checks the
// prompt's range. On failure returns nothing and says why in `error`.
std::optional<double> ParseEffectValue(const CEffectCommand& command, std::size_t index, const std::string& text,
                                       std::string& error);

// Whether `text` reads as a value at `index` (a number or a choice's name),
// in or out of range: such a word is taken as a value, not a file name.
bool LooksLikeEffectValue(const CEffectCommand& command, std::size_t index, const std::string& text);

// Checks the values taken together (a resample's size); empty when fine.
std::string CheckEffectStep(const CEffectStep& step);

// The values handed to the effect for a picture of width x height.
std::vector<double> EffectValuesFor(const CEffectStep& step, int width, int height);

// Applies the step; false with a reason when the picture could not be made.
bool ApplyEffectStep(const CEffectStep& step, CVelvix& image, std::string& error);

// The usage text of every effect: names, values, ranges and defaults.
std::string EffectListText();
