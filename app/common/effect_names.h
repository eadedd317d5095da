#pragma once

#include <QString>

#include <vector>

#include "effect_table.h"

// An effect's name as its menu shows it: without the '&' marks and the key
// after the tab ("Rotate &Right\tR" is "Rotate Right").
QString EffectMenuName(const CEffectCommand& command);

// The row whose menu name or "Last Command" name is `name`, ignoring case
// and '&'; null when there is none.
const CEffectCommand* FindEffectByName(const QString& name);

// The value a prompt offers before the user types, given the values asked
// before it.
double EffectPromptDefault(const CEffectPrompt& prompt, const std::vector<double>& earlier);
