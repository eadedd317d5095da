#pragma once

#include "image/pixel_interface.h"

class CVelvixBuffer;
class QWidget;

// What the effect commands need from the image window they run in.
class CEffectHost {
public:
    virtual ~CEffectHost() = default;
    // The document's undo ring; null when the window has no document.
    virtual CVelvixBuffer* EffectRing() = 0;
    // The selection in picture coordinates; empty when there is none.
    virtual VxRect EffectSelection() const = 0;
    // Zoom back to 1.0 (before resampling and auto crop).
    virtual void ResetZoom() = 0;
    virtual void DropSelection() = 0;
    // Starts the clock whose reading the timing pane shows.
    virtual void StartProcessingClock() = 0;
    // After a change: repaint, mark modified, tell the bars, show the time.
    virtual void EffectApplied() = 0;
    // Runs a command as the menu would.
    virtual void SendCommand(int id) = 0;
    virtual QWidget* EffectWidget() = 0;
    virtual int AutoCropTolerance() const = 0;
};
