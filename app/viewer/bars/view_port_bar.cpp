#include "view_port_bar.h"

#include <QPainter>

#include <algorithm>

#include "bar_image_source.h"
#include "image/velvix.h"

CViewPortDialogBar::CViewPortDialogBar(QWidget* parent) : CUpdateDialogBar(parent)
{
    setMinimumSize(200, 150);
}

QRect CViewPortDialogBar::OutlineFor(const QRect& imageRect, const VxRect& v)
{
    const int left = v.left, top = v.top, right = v.right, bottom = v.bottom;
    if (left == 0 && top == 0 && right == 0 && bottom == 0)
        return QRect();
    const int x0 = imageRect.left(), y0 = imageRect.top();
    const int w = imageRect.width(), h = imageRect.height();
    return QRect(QPoint(x0 + w * left / 1000, y0 + h * top / 1000),
                 QPoint(x0 + w * right / 1000 - 1, y0 + h * bottom / 1000 - 1));
}

void CViewPortDialogBar::SetImage(CVelvix& image, const VxRect& visibleThousandths)
{
    if (!image.IsValidObject()) {
        SetEmpty();
        return;
    }
    m_Cache = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_Cache.fill(Qt::white);
    QPainter painter(&m_Cache);
    painter.fillRect(m_Cache.rect(), QBrush(QColor(192, 192, 192), Qt::DiagCrossPattern));
    // A picture thinner than the bar still shows as a line of one pixel.
    int width, height;
    CVelvix::FitIntoBox(image.GetWidth(), image.GetHeight(), m_Cache.width(), m_Cache.height(), true, width, height);
    const VxRect drawn = image.Draw(&painter, std::max(1, width), std::max(1, height), false);
    painter.end();
    m_ImageRect = QRect(drawn.left, drawn.top, drawn.Width(), drawn.Height());
    m_bEmpty = false;
    SetVisiblePart(visibleThousandths);
}

void CViewPortDialogBar::Recompute(CBarImageSource& source)
{
    SetImage(*source.BarImage(), source.BarVisiblePart());
}

void CViewPortDialogBar::UpdateVisiblePart(CBarImageSource& source)
{
    SetVisiblePart(source.BarVisiblePart());
}

void CViewPortDialogBar::SetVisiblePart(const VxRect& visibleThousandths)
{
    m_Outline = OutlineFor(m_ImageRect, visibleThousandths);
    update();
}

void CViewPortDialogBar::SetEmpty()
{
    m_bEmpty = true;
    m_Cache = QImage();
    m_Outline = QRect();
    update();
}

void CViewPortDialogBar::paintEvent(QPaintEvent*)
{
    if (m_bEmpty)
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_Cache);
    if (!m_Outline.isNull()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(m_Outline);
    }
}

void CViewPortDialogBar::resizeEvent(QResizeEvent* event)
{
    CUpdateDialogBar::resizeEvent(event);
    // The miniature is drawn to the bar's size.
    RecomputeNow();
}
