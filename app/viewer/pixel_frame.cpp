#include "viewer/pixel_frame.h"

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
    m_pToolBar = AddCommandToolBar(QStringLiteral("Image"), QStringLiteral("ImageToolBar"), kToolBarCommands,
                                   CAmbrelMenus::CommandIcon,
                                   [](int id) { return QString::fromLatin1(ToolText(id)); });

    m_pStatusBar = new CAmbrelViewStatusBar(this);
    setStatusBar(m_pStatusBar);
    return true;
}

void CPixelFrame::OnDestroy()
{
    if (m_pToolBar)
        m_pToolBar->SetUpdateInterval(0);
    CSMDIChildWnd::OnDestroy();
    // The main frame leaves full-screen mode when no window is left.
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxPostMessage(main, msg::WM_IMAGE_FRAME_DESTROYED);
}
