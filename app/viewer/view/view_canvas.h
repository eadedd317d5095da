#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

class CAmbrelView;
class QPainter;

// Draws the picture at the view's scale and scroll position, and the
// cross-hatch around it (or the load error in its place).
class CViewCanvas {
public:
    explicit CViewCanvas(CAmbrelView& view) : m_View(view) {}

    void Draw(QPainter& painter, const QRect& area, bool printing);

private:
    // Renders the visible part of the picture into m_Canvas.
    void _RenderVisible(const QSize& size, const QPoint& scroll, double scale);

    CAmbrelView& m_View;
    QImage m_Canvas;
};
