#pragma once

#include <QCursor>
#include <QPoint>
#include <QSize>

#include "view_part.h"

// The zoom factor, the scaling to the window ("Auto Scale"), the scroll
// bars and the visible part the view-port bar shows; fitting the window to
// the picture.
class CViewZoom : public CViewPart {
public:
    explicit CViewZoom(CAmbrelView& view);

    double GetZoom() const { return m_dZoom; }
    bool IsAutoScale() const { return m_bAutoScale; }
    // The factor the picture is drawn at (the zoom, or the fit when scaling
    // to the window).
    double Scale() const;
    // The picture's size at that factor; empty without a picture.
    QSize ContentSize() const;
    QPoint ScrollPos() const;
    QPoint ContentPoint(const QPoint& viewportPoint) const { return viewportPoint + ScrollPos(); }

    void UpdateScrollSizes();
    // Sets the factor (at most the limit) and updates the scroll bars and panes.
    void SetZoom(double zoom);
    // Sets the factor alone; the caller updates the rest.
    void SetZoomValue(double zoom) { m_dZoom = zoom; }
    void UpdateZoomDisplay();
    void UpdateVisiblePart();
    // Zooms to the selection, or lets the next drawn rectangle choose.
    void ZoomIn();
    void ResizeToContents() { _ResizeToContents(8); }
    // The arrow and page keys; false for other keys.
    bool ScrollByKey(int key);

private:
    void _CancelZoom();
    void _AutoScale();
    void _ResizeToContents(int retries);

    double m_dZoom = 1.0;
    bool m_bAutoScale = false;
    QCursor m_ZoomCursor{Qt::CrossCursor};
};
