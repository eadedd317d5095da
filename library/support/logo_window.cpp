#include "support/logo_window.h"

#include <QEvent>
#include <QMdiSubWindow>
#include <QPainter>

#include "support/bitmap_resource.h"

CVxLogoWnd::CVxLogoWnd(QWidget* parent) : QMdiArea(parent)
{
    setBackground(QColor(128, 128, 128));
}

bool CVxLogoWnd::SetLogo(unsigned bitmapId, const QString& text)
{
    const QImage picture = VxResourceImage(bitmapId);
    SetLogo(picture, text);
    return !picture.isNull();
}

void CVxLogoWnd::SetLogo(const QImage& picture, const QString& text)
{
    m_picture = picture;
    m_strText = text;
    viewport()->update();
}

bool CVxLogoWnd::IsLogoShown() const
{
    for (QMdiSubWindow* window : subWindowList())
        if (window->isVisible())
            return false;
    return true;
}

bool CVxLogoWnd::viewportEvent(QEvent* event)
{
    // Windows coming and going change whether the logo shows.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)
        viewport()->update();
    return QMdiArea::viewportEvent(event);
}

void CVxLogoWnd::paintEvent(QPaintEvent* event)
{
    QMdiArea::paintEvent(event);
    if (!IsLogoShown())
        return;
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    const QFontMetrics metrics(painter.font());
    const int textHeight = m_strText.isEmpty() ? 0 : metrics.height() + 8;
    const QSize size = m_picture.size();
    const int top = (area.height() - size.height() - textHeight) / 2;
    if (!m_picture.isNull())
        painter.drawImage(QPoint((area.width() - size.width()) / 2, top), m_picture);
    if (!m_strText.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, top + size.height() + 8, area.width(), metrics.height()), Qt::AlignHCenter,
                         m_strText);
    }
}
