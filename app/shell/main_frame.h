#pragma once

#include <QPointer>
#include <QUrl>

#include <array>
#include <utility>
#include <vector>

#include "support/command_tool_bar.h"
#include "support/mdi_frames.h"

class CHistogramDialogBar;
class CUpdateCheck;
class CUpdateDialogBar;
class CViewPortDialogBar;
class CVxLogoWnd;
class QDockWidget;
class QLabel;
class QMenu;
class QShortcut;
class QTimer;
struct SMenuItem;

// The program's main window: the MDI area with the logo, the main tool bar
// and status bar, the menus of the active document kind, the global
// commands, full screen and Esc.
class CMainFrame : public CSMDIFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    QString OnGetRegistrySection() override { return QStringLiteral("CMainFrame"); }

    CSCommandToolBar* GetToolBar() const { return m_pToolBar; }
    CHistogramDialogBar* GetHistogramBar() const { return m_pHistogramBar; }
    CViewPortDialogBar* GetViewPortBar() const { return m_pViewPortBar; }
    QDockWidget* GetHistogramDock() const { return m_pHistogramDock; }
    QDockWidget* GetViewPortDock() const { return m_pViewPortDock; }
    // The idle-time update of the visible bars: they follow the active child.
    void UpdateBars();
    CVxLogoWnd* GetLogoWnd() const { return m_pLogo; }
    // The menus of the active document kind (the frame's own without one).
    void RebuildMenus();
    unsigned GetMenuResource() const { return m_nMenuResource; }
    // Runs the update handlers for the tool bar buttons.
    void UpdateToolBar();
    // Runs a command as a key or menu would: only when it is enabled.
    bool ExecuteCommand(int id);
    // The state of a command along the route (enabled, checked, text).
    CSCmdUI QueryCommand(int id);
    // The shortcuts of the keys that are live now.
    std::vector<QShortcut*> LiveShortcuts() const;

    // Opens a file as the framework does (the template that claims it);
    // a folder opens in the image viewer. false when nothing could open it.
    bool OpenPath(const QString& path);
    // A file named in the file system's bytes (the command line, a drop):
    // its name as text in `text`. False, after the message that the file
    // could not be read, for bytes that are not UTF-8, whose text could be
    // another file's name.
    static bool NameAsText(const QByteArray& native, QString& text);
    // Files dropped from the desktop: the first local file opens in a new
    // image window. false when none did.
    bool OnDropFiles(const QList<QUrl>& urls);

    // The image viewer's template name; its frames are the image frames.
    static const char* const kImageFrame;
    static const char* const kThumbnailsFrame;
    static const char* const kDuplicatesFrame;
    static const char* const kRegisteredMessage;
    static const char* const kRegisterFailedMessage;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void _CreateToolBar();
    void _CreateStatusBar();
    QDockWidget* _CreateBar(CUpdateDialogBar* bar, const QString& caption, const QPoint& position);
    void _ToggleBar(QDockWidget* dock);
    std::array<std::pair<QDockWidget*, CUpdateDialogBar*>, 2> _Bars() const;
    void _RegisterCommands();
    void _BuildPopup(QMenu* menu, const std::vector<SMenuItem>& items);
    void _UpdatePopup(QMenu* menu);
    void _FillRecentFiles(QMenu* menu, QAction* placeholder);
    void _FillWindowList(QMenu* menu);
    void _ApplyAccelerators(unsigned childResource);
    void _OnActiveChildChanged(CSMDIChildWnd* child);
    void _UpdateTitle();
    void _UpdateIndicators();

    void OnFullScreen();
    void OnEscape();
    void OnQuickOpen();
    void OnOpenFolderRecursed();
    void OnOpenThumbnails();
    void OnFindDuplicates();
    void OnRegisterFileTypes();
    void OnSettings();
    void OnSelectSource();
    void OnAcquire();
    // The folder chosen with "Choose Folder", with a trailing '/'; empty
    // when the user stopped.
    QString _AskFolder();

    CVxLogoWnd* m_pLogo;
    CSCommandToolBar* m_pToolBar = nullptr;
    std::vector<QShortcut*> m_frameKeys;
    std::vector<QShortcut*> m_childKeys;
    unsigned m_nMenuResource = 0;
    QTimer* m_pIdleTimer = nullptr;
    QLabel* m_pIndicators[3] = {nullptr, nullptr, nullptr};
    CHistogramDialogBar* m_pHistogramBar = nullptr;
    CViewPortDialogBar* m_pViewPortBar = nullptr;
    CUpdateCheck* m_pUpdateCheck = nullptr;
    QDockWidget* m_pHistogramDock = nullptr;
    QDockWidget* m_pViewPortDock = nullptr;

    bool m_bToolBarWasVisible = true;
    bool m_bStatusBarWasVisible = true;
    bool m_bChildToolBarWasVisible = true;
};
