#pragma once

#include <vector>

struct SMenuItem;

// Adds the effect commands to the image window's menus: each row of the
// effect table under its menu path, the hidden-text commands, the auto
// crop and the two bars. Effects come first in their top-level menu.
void AddEffectMenus(std::vector<SMenuItem>& popups);
