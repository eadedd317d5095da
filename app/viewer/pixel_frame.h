#pragma once

#include "support/mdi_frames.h"

class CAmbrelViewStatusBar;

// The frame of an image window: the viewer's tool bar and status bar. It
// keeps no placement of its own.
class CPixelFrame : public CSMDIChildWnd {
    Q_OBJECT
public:
    CPixelFrame();
    ~CPixelFrame() override;

    CAmbrelViewStatusBar* GetViewStatusBar() const { return m_pStatusBar; }
    CSCommandToolBar* GetToolBar() const { return m_pToolBar; }

    bool _OnCreateToolBars() override;
    QString OnGetRegistrySection() override { return QString(); }

    // Tool bar 133: its commands, 0 for a separator.
    static const int kToolBarCommands[8];

protected:
    void OnDestroy() override;

private:
    CSCommandToolBar* m_pToolBar = nullptr;
    CAmbrelViewStatusBar* m_pStatusBar = nullptr;
};
