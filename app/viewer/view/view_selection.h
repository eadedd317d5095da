#pragma once

#include <QPoint>

#include "image/pixel_interface.h"
#include "view_part.h"

class QMouseEvent;
class QPainter;

// The selection rectangle (in view coordinates) and the mouse gestures that
// draw it, move it or zoom to a drawn rectangle; the tracking lines.
class CViewSelection : public CViewPart {
public:
    explicit CViewSelection(CAmbrelView& view);

    // Process-wide: always make the selection square (at most one is set).
    static bool s_bAlwaysSquareLonger;
    static bool s_bAlwaysSquareShorter;

    bool Has() const { return m_rcSelection.top != -1; }
    const VxRect& ViewRect() const { return m_rcSelection; }
    // The selection in image coordinates, clipped; empty when none.
    VxRect ImageRect() const;
    // Sets it (normalised; an empty one is none) and repaints.
    void Set(const VxRect& rect);
    // Forgets it without a repaint.
    void Clear() { m_rcSelection = VxRect{-1, -1, -1, -1}; }
    // Forgets it and empties the selection pane.
    void Drop();

    // The next rectangle drawn is zoomed to.
    void BeginZoomGesture() { m_nMouseMode = kZoomGesture; }
    // Back to drawing selections.
    void EndGesture() { m_nMouseMode = kDraw; }

    // The mouse on the view's viewport; false when the event is not theirs.
    bool MousePress(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    bool MouseRelease(QMouseEvent* event);
    // After the button's release, as a posted message.
    void FinishGesture();
    void SetTrackReady() { m_bTrackReady = true; }
    // The cursor left the viewport.
    void Leave();
    // The outlines and tracking lines over the drawn picture.
    void Paint(QPainter& painter);

private:
    enum { kDraw = -1, kZoomGesture = 0, kMove = 1 };

    void _Square(bool longer);
    void _DropIfOutside();
    void _UpdateTrackLines(const QPoint& viewportPoint);

    VxRect m_rcSelection{-1, -1, -1, -1};
    int m_nMouseMode = kDraw;
    bool m_bDragging = false;
    QPoint m_ptDragStart{-1, -1};
    VxRect m_rcMoving;
    bool m_bTrackLines = false;
    bool m_bTrackReady = false;
    QPoint m_ptLastTrack{-1, -1};
};
