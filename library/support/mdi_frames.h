#pragma once

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <span>
#include <vector>

#include "support/command_target.h"
#include "support/command_tool_bar.h"
#include "support/sdocument.h"
#include "velvix_export.h"

class QMdiArea;
class QMdiSubWindow;
class CSMDIFrameWnd;

// What a new frame needs to make its view.
struct CSCreateContext {
    CSDocument* m_pCurrentDoc = nullptr;
    CSRuntimeClass<CSView> m_pNewViewClass;
    SMCMultiDocTemplate* m_pNewDocTemplate = nullptr;
};

// The placement text "show:top,left,bottom,right" of a window's normal
// rectangle (right and bottom exclusive). Show state 1 normal, 2 minimized,
// 3 maximized.
struct VELVIX_EXPORT CSWindowPlacement {
    int showCmd = 1;
    QRect normal;

    QString Format() const;
    // false for a text that does not hold a show state and four numbers,
    // or whose rectangle is empty.
    bool Parse(const QString& text);
};

// The base of every document frame: a QMainWindow (its own tool bars and
// status bar) inside a QMdiSubWindow of the main frame's MDI area.
class VELVIX_EXPORT CSMDIChildWnd : public QMainWindow, public CSCmdTarget {
    Q_OBJECT
public:
    CSMDIChildWnd();
    ~CSMDIChildWnd() override;

    // Makes the view and the tool bars; false when the frame cannot be made.
    virtual bool OnCreate(CSCreateContext& context);
    // Runs the view's initial update and shows the frame when asked.
    virtual void InitialUpdateFrame(CSDocument* document, bool makeVisible);

    // The view of the first pane, and its document.
    CSView* GetActiveView() const { return m_pView; }
    CSDocument* GetActiveDocument() const;
    QMdiSubWindow* GetMDISubWindow() const { return m_pSubWindow; }
    CSMDIFrameWnd* GetMDIFrame() const;

    void MDIActivate();
    void MDIMaximize();
    void MDIRestore();
    bool IsMDIMaximized() const;
    bool IsMDIMinimized() const;
    // Closes the frame as the user would: asks the document, then destroys.
    bool CloseFrame();
    // Queues a close request (the frame closes once control returns).
    void PostCloseFrame();
    void OnUpdateFrameTitle();

    // Commands: the view (then its document) first, then the frame.
    bool OnCmdMsg(int id) override;
    bool OnUpdateCmdMsg(CSCmdUI& ui) override;

    virtual void _SaveSizes();
    virtual void _LoadSizes();
    virtual void _LoadToolBarState() {}
    virtual void _SaveToolBarState() {}
    virtual bool _OnCreateToolBars() { return true; }
    // Adds a tool bar of small buttons at the top for `ids` (0: a separator);
    // they run through this frame and follow their commands' state.
    CSCommandToolBar* AddCommandToolBar(const QString& title, const QString& objectName,
                                        std::span<const int> ids, const std::function<QIcon(int)>& icon,
                                        const std::function<QString(int)>& text);
    virtual QString OnGetRegistrySection() { return QString(); }

protected:
    // Makes the view of the context's class as the central widget.
    virtual bool OnCreateClient(CSCreateContext& context);
    // The frame is being destroyed: placement and tool bars are saved.
    virtual void OnDestroy();
    void SetActiveView(CSView* view) { m_pView = view; }
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CSMDIFrameWnd;
    friend class CSMultiDocTemplateManager;
    bool _CanClose();
    void _Destroy();

    CSView* m_pView = nullptr;
    QPointer<QMdiSubWindow> m_pSubWindow;
    bool m_bDestroyed = false;
};

// The base of the main frame: a QMainWindow with an MDI area, its placement
// kept in the settings and a full-screen mode.
class VELVIX_EXPORT CSMDIFrameWnd : public QMainWindow, public CSCmdTarget {
    Q_OBJECT
public:
    // The frame owns `client`; a plain QMdiArea when null.
    explicit CSMDIFrameWnd(QMdiArea* client = nullptr);
    ~CSMDIFrameWnd() override;

    // The program's main frame (set by the program), or null.
    static CSMDIFrameWnd* GetMainFrame();
    static void SetMainFrame(CSMDIFrameWnd* frame);
    // The application's command target, last on every command route.
    static void SetAppCmdTarget(CSCmdTarget* target);

    // Creation done: restores the placement.
    virtual void OnCreate();

    QMdiArea* GetMDIClient() const { return m_pMDIClient; }
    CSMDIChildWnd* MDIGetActive() const;
    // The children from the topmost (active) one down.
    std::vector<CSMDIChildWnd*> GetMDIChildren() const;
    int GetMDIChildCount() const;
    void AddMDIChild(CSMDIChildWnd* child);

    void SetFullScreen(bool on, bool hideMenu);
    bool IsFullScreen() const { return m_bFullScreen; }

    void SaveSizes();
    void LoadSizes();
    virtual QString OnGetRegistrySection() { return QString(); }

    // Splits at commas; more than `count` pieces fail.
    static bool ParseStringToInt(const QString& text, int* values, int count);

    // Runs a command along the route: active child (view, document, frame),
    // this frame, the application. false when nobody handles it.
    bool RouteCommand(int id);
    // Fills the state of a command along the same route; disabled when
    // nobody handles it.
    void RouteUpdateCommand(CSCmdUI& ui);

signals:
    void ActiveChildChanged(CSMDIChildWnd* child);

protected:
    virtual void OnDestroy();
    void closeEvent(QCloseEvent* event) override;
    // Closes every child frame; false when one refused.
    bool CloseAllChildren();

private:
    void _OnSubWindowActivated(QMdiSubWindow* window);

    QMdiArea* m_pMDIClient;
    bool m_bFullScreen = false;
    QRect m_rcFullScreenSaved;
    Qt::WindowStates m_fullScreenSavedState;
    bool m_bMenuHidden = false;
    bool m_bChildWasMaximized = false;
    bool m_bDestroyed = false;
};
