#include "viewer/effect_menus.h"

#include "effect_table.h"
#include "shell/command_ids.h"
#include "shell/menus.h"

namespace {

SMenuItem* FindPopup(std::vector<SMenuItem>& items, const QString& text)
{
    for (SMenuItem& item : items)
        if (!item.popup.empty() && item.text == text)
            return &item;
    return nullptr;
}

// The popup at `path` below `items`, made on the way when missing.
std::vector<SMenuItem>& PopupAt(std::vector<SMenuItem>& items, const QStringList& path)
{
    std::vector<SMenuItem>* level = &items;
    for (const QString& text : path) {
        SMenuItem* popup = FindPopup(*level, text);
        if (!popup) {
            level->push_back(SMenuItem{text, 0, false, {}});
            popup = &level->back();
        }
        level = &popup->popup;
    }
    return *level;
}

void Add(std::vector<SMenuItem>& top, const QString& path, const QString& text, int id)
{
    PopupAt(top, path.split(QLatin1Char('/'))).push_back(SMenuItem{text, id, false, {}});
}

} // namespace

void AddEffectMenus(std::vector<SMenuItem>& popups)
{
    // The new entries are gathered under their top-level titles first, then
    // put in front of what those menus already hold.
    std::vector<SMenuItem> effects;
    for (const CEffectCommand& command : EffectCommands())
        Add(effects, command.menu, command.menuText, command.id);
    Add(effects, QStringLiteral("&Tools"), QStringLiteral("Auto Crop &Scanned Image"), kAutoCropId);
    Add(effects, QStringLiteral("&Advanced Tools/&Hidden Text"), QStringLiteral("&Encode Text"), kEncodeTextId);
    Add(effects, QStringLiteral("&Advanced Tools/&Hidden Text"), QStringLiteral("&Decode Text"), kDecodeTextId);

    for (SMenuItem& group : effects) {
        SMenuItem* menu = FindPopup(popups, group.text);
        if (!menu) {
            popups.push_back(group);
            continue;
        }
        std::vector<SMenuItem> items = std::move(group.popup);
        if (!menu->popup.empty())
            items.push_back(SMenuItem::Separator());
        items.insert(items.end(), menu->popup.begin(), menu->popup.end());
        menu->popup = std::move(items);
    }
    if (SMenuItem* view = FindPopup(popups, QStringLiteral("&View"))) {
        auto at = view->popup.begin();
        while (at != view->popup.end() && !at->separator)
            ++at;
        view->popup.insert(at, {SMenuItem::Item("&Histogram Bar", cmd::ID_SHOW_HISTOGRAM),
                                SMenuItem::Item("&View Port Bar", cmd::ID_VIEW_PORT_BAR)});
    }
}
