#include "shell/menus.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>

#include <map>

#include "shell/command_ids.h"

namespace {

std::map<unsigned, std::vector<SMenuItem>>& Menus()
{
    static std::map<unsigned, std::vector<SMenuItem>> menus;
    return menus;
}

std::map<unsigned, std::vector<SAccelerator>>& Accelerators()
{
    static std::map<unsigned, std::vector<SAccelerator>> tables;
    return tables;
}

std::map<int, QString>& Prompts()
{
    static std::map<int, QString> prompts;
    return prompts;
}

bool g_bFlatInstalled = false;
QString g_previousStyleSheet;

const char kFlatStyle[] = R"(
QMenuBar { border: none; }
QMenuBar::item { padding: 3px 8px; background: transparent; }
QMenuBar::item:selected { background: #c7d7ef; border: 1px solid #4a6ea9; }
QMenu { background: #fafafa; border: 1px solid #8a8a8a; padding: 2px; }
QMenu::item { padding: 4px 28px 4px 24px; border: 1px solid transparent; }
QMenu::item:selected { background: #c7d7ef; border: 1px solid #4a6ea9; color: black; }
QMenu::item:disabled { color: #9a9a9a; }
QMenu::separator { height: 1px; background: #c8c8c8; margin: 3px 6px; }
QPushButton { border: 1px solid #7a7a7a; border-radius: 2px; background: #f0f0f0; padding: 4px 14px; min-width: 60px; }
QPushButton:hover { background: #e3ecf8; border-color: #4a6ea9; }
QPushButton:pressed { background: #c7d7ef; }
QPushButton:default { border: 2px solid #4a6ea9; }
QPushButton:disabled { color: #9a9a9a; border-color: #b8b8b8; }
)";

} // namespace

void CAmbrelMenus::RegisterMenu(unsigned resourceId, std::vector<SMenuItem> popups)
{
    Menus()[resourceId] = std::move(popups);
}

const std::vector<SMenuItem>* CAmbrelMenus::GetMenu(unsigned resourceId)
{
    auto it = Menus().find(resourceId);
    return it == Menus().end() ? nullptr : &it->second;
}

void CAmbrelMenus::RegisterAccelerators(unsigned resourceId, std::vector<SAccelerator> keys)
{
    Accelerators()[resourceId] = std::move(keys);
}

const std::vector<SAccelerator>* CAmbrelMenus::GetAccelerators(unsigned resourceId)
{
    auto it = Accelerators().find(resourceId);
    return it == Accelerators().end() ? nullptr : &it->second;
}

QIcon CAmbrelMenus::CommandIcon(int id)
{
    const QString path = QStringLiteral(":/icons/%1.png").arg(id);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QString CAmbrelMenus::CommandPrompt(int id)
{
    auto it = Prompts().find(id);
    return it == Prompts().end() ? QString() : it->second;
}

void CAmbrelMenus::SetCommandPrompt(int id, const QString& prompt)
{
    Prompts()[id] = prompt;
}

QString CAmbrelMenus::PlainText(const QString& text)
{
    QString plain = text.section(QLatin1Char('\t'), 0, 0);
    plain.replace(QLatin1String("&&"), QString(QChar(0x1)));
    plain.remove(QLatin1Char('&'));
    plain.replace(QChar(0x1), QLatin1Char('&'));
    return plain;
}

void CFlatMenuDrawing::Init()
{
    if (g_bFlatInstalled || !qApp)
        return;
    g_previousStyleSheet = qApp->styleSheet();
    qApp->setStyleSheet(g_previousStyleSheet + QLatin1String(kFlatStyle));
    g_bFlatInstalled = true;
}

void CFlatMenuDrawing::Release()
{
    if (!g_bFlatInstalled || !qApp)
        return;
    qApp->setStyleSheet(g_previousStyleSheet);
    g_bFlatInstalled = false;
}

void CFlatMenuDrawing::Install(QMainWindow* window)
{
    if (window && window->menuBar())
        window->menuBar()->setNativeMenuBar(false);
}

bool CFlatMenuDrawing::IsInstalled()
{
    return g_bFlatInstalled;
}
