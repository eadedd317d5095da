#pragma once

#include <QIcon>
#include <QKeySequence>
#include <QString>

#include <vector>

class QMainWindow;
class QMenu;
class QMenuBar;

// One entry of a menu resource: a command, a separator or a popup.
struct SMenuItem {
    QString text;
    int id = 0;
    bool separator = false;
    std::vector<SMenuItem> popup;

    static SMenuItem Item(const char* text, int id) { return SMenuItem{QString::fromUtf8(text), id, false, {}}; }
    static SMenuItem Separator() { return SMenuItem{QString(), 0, true, {}}; }
    static SMenuItem Popup(const char* text, std::vector<SMenuItem> items)
    {
        return SMenuItem{QString::fromUtf8(text), 0, false, std::move(items)};
    }
};

// One key of an accelerator table and its command.
struct SAccelerator {
    QKeySequence key;
    int id;
};

// The menus and accelerator tables of the program by resource number. The
// main frame's (128) is built in; each document kind registers its own when
// it registers its template.
class CAmbrelMenus {
public:
    static void RegisterMenu(unsigned resourceId, std::vector<SMenuItem> popups);
    static const std::vector<SMenuItem>* GetMenu(unsigned resourceId);
    static void RegisterAccelerators(unsigned resourceId, std::vector<SAccelerator> keys);
    static const std::vector<SAccelerator>* GetAccelerators(unsigned resourceId);

    // The tool bar picture of a command (":/icons/<id>.png"), or a null icon.
    static QIcon CommandIcon(int id);
    // The short help shown in the status bar for a command, or empty.
    static QString CommandPrompt(int id);
    static void SetCommandPrompt(int id, const QString& prompt);

    // Plain text of a menu entry: no '&', nothing after the tab.
    static QString PlainText(const QString& text);
};

// The flat look of menus and push buttons (installed at start, released at
// exit) and the hook that offers every popup before it opens.
class CFlatMenuDrawing {
public:
    static void Init();
    static void Release();
    static void Install(QMainWindow* window);
    static bool IsInstalled();
};
