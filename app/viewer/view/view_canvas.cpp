#include "viewer/view/view_canvas.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstring>
#include <vector>

#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/view_zoom.h"

namespace {

const QColor kHatchColor(192, 192, 192);

// Fills the area with the light grey diagonal cross-hatch.
void FillHatch(QPainter& painter, const QRect& area)
{
    if (area.isEmpty())
        return;
    painter.fillRect(area, Qt::white);
    painter.fillRect(area, QBrush(kHatchColor, Qt::DiagCrossPattern));
}

} // namespace

void CViewCanvas::_RenderVisible(const QSize& size, const QPoint& scroll, double scale)
{
    CVelvix& image = m_View.GetDocument()->Image();
    const int width = image.GetWidth(), height = image.GetHeight();
    if (m_Canvas.size() != size)
        m_Canvas = QImage(size, QImage::Format_RGB32);
    std::vector<int> columns(std::size_t(size.width()));
    for (int x = 0; x < size.width(); ++x)
        columns[std::size_t(x)] = std::min(width - 1, int((scroll.x() + x) / scale));
    for (int y = 0; y < size.height(); ++y) {
        const int row = std::min(height - 1, int((scroll.y() + y) / scale));
        // Buffer rows run bottom-up.
        const VxPixel* source = &image.Bytes(0, height - 1 - row);
        auto* target = reinterpret_cast<VxPixel*>(m_Canvas.scanLine(y));
        if (scale == 1.0) {
            std::memcpy(target, source + scroll.x(), std::size_t(size.width()) * 4);
        } else {
            for (int x = 0; x < size.width(); ++x)
                target[x] = source[columns[std::size_t(x)]];
        }
    }
}

void CViewCanvas::Draw(QPainter& painter, const QRect& area, bool printing)
{
    CAmbrelDoc* doc = m_View.GetDocument();
    if (!doc)
        return;
    CVelvix& image = doc->Image();
    if (!image.IsValidObject()) {
        FillHatch(painter, area);
        if (!m_View.GetLoadError().isEmpty()) {
            painter.setPen(Qt::black);
            painter.drawText(area, Qt::AlignCenter, m_View.GetLoadError());
        }
        return;
    }
    const CViewZoom& zoom = m_View.Zoom();
    const double scale = zoom.Scale();
    const QPoint scroll = printing ? QPoint(0, 0) : zoom.ScrollPos();
    const QSize content = zoom.ContentSize();
    const QRect visible = QRect(QPoint(0, 0), content).translated(-scroll).intersected(area);
    if (!visible.isEmpty()) {
        _RenderVisible(visible.size(), scroll + visible.topLeft(), scale);
        painter.drawImage(visible.topLeft(), m_Canvas);
    }
    // The hatch around the picture.
    QRegion outside(area);
    outside -= visible;
    for (const QRect& rect : outside)
        FillHatch(painter, rect);
}
