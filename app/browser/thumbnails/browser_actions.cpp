#include "browser/thumbnails/browser_actions.h"

namespace {

CBrowserActions* g_pActions = nullptr;

} // namespace

CBrowserActions* CBrowserActions::Get()
{
    return g_pActions;
}

void CBrowserActions::Set(CBrowserActions* actions)
{
    g_pActions = actions;
}
