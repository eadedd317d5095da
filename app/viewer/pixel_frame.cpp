#include "viewer/pixel_frame.h"

#include <QAction>
#include <QTimer>
#include <QToolBar>

#include "shell/menus.h"
#include "shell/messages.h"
#include "support/message_event.h"
#include "viewer/view_status_bar.h"

const int CPixelFrame::kToolBarCommands[8] = {32772, 32773, 0, 32774, 32777, 259, 267, 144};

namespace {

const char* ToolText(int id)
{
    switch (id) {
    case 32772:
        return "Resize to Contents";
    case 32773:
        return "Auto Scale";
    case 32774:
        return "Zoom In";
    case 32777:
        return "Cancel Zoom";
    case 259:
        return "Crop Selection";
    case 267:
        return "Gray Scale";
    case 144:
        return "Negative";
    }
    return "";
}

} // namespace

CPixelFrame::CPixelFrame() = default;

CPixelFrame::~CPixelFrame() = default;

bool CPixelFrame::_OnCreateToolBars()
{
    m_pToolBar = new QToolBar(QStringLiteral("Image"), this);
    m_pToolBar->setObjectName(QStringLiteral("ImageToolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setFloatable(false);
    for (int id : kToolBarCommands) {
        if (id == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* action = m_pToolBar->addAction(CAmbrelMenus::CommandIcon(id), QString::fromLatin1(ToolText(id)));
        action->setData(id);
        action->setToolTip(QString::fromLatin1(ToolText(id)));
        connect(action, &QAction::triggered, this, [this, id] {
            OnCmdMsg(id);
            _UpdateToolBar();
        });
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    m_pStatusBar = new CAmbrelViewStatusBar(this);
    setStatusBar(m_pStatusBar);

    // Tool bar buttons follow the state of their commands.
    m_pIdleTimer = new QTimer(this);
    m_pIdleTimer->setInterval(250);
    connect(m_pIdleTimer, &QTimer::timeout, this, &CPixelFrame::_UpdateToolBar);
    m_pIdleTimer->start();
    return true;
}

void CPixelFrame::_UpdateToolBar()
{
    if (!m_pToolBar || !m_pToolBar->isVisible())
        return;
    for (QAction* action : m_pToolBar->actions()) {
        if (!action->data().isValid())
            continue;
        CSCmdUI ui(action->data().toInt());
        OnUpdateCmdMsg(ui);
        action->setEnabled(ui.m_bEnabled);
        action->setCheckable(ui.m_bCheckSet);
        if (ui.m_bCheckSet)
            action->setChecked(ui.m_nCheck != 0);
    }
}

void CPixelFrame::OnDestroy()
{
    if (m_pIdleTimer)
        m_pIdleTimer->stop();
    CSMDIChildWnd::OnDestroy();
    // The main frame leaves full-screen mode when no window is left.
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxPostMessage(main, msg::WM_IMAGE_FRAME_DESTROYED);
}
