#pragma once

#include <QObject>
#include <QSize>

#include "image/velvix.h"
#include "view_part.h"

// The slideshow: a full-screen window that shows each picture fitted to the
// screen, steps with the keys and ends on any other key, a click or the
// loss of the focus.
class CViewSlideshow : public QObject, public CViewPart {
public:
    explicit CViewSlideshow(CAmbrelView& view);

    bool IsRunning() const { return m_bRunning; }
    void Start();
    void Stop();
    // Fits the picture to the running slideshow's window; false when it
    // stays as it is.
    bool Fit(CVelvix& image) const;
    // The fit to a window of the given size (bilinear resampling); safe on
    // any thread.
    static bool FitInto(CVelvix& image, const QSize& window, bool noEnlarge);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _OnKey(int key, Qt::KeyboardModifiers modifiers);
    void _Paint();

    bool m_bRunning = false;
    // The picture shown when it is not in the list (a fitted copy).
    CVelvix m_Shown;
};
