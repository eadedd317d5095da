#include "viewer/view/view_zoom.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

#include "shell/messages.h"
#include "support/mdi_frames.h"
#include "support/message_event.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/pixel_frame.h"
#include "viewer/view/view_selection.h"
#include "viewer/view_geometry.h"
#include "viewer/view_status_bar.h"

using namespace viewcmd;

namespace {

constexpr int kScrollStep = 5;

} // namespace

CViewZoom::CViewZoom(CAmbrelView& view) : CViewPart(view)
{
    view.horizontalScrollBar()->setSingleStep(kScrollStep);
    view.verticalScrollBar()->setSingleStep(kScrollStep);
    OnCommand(ID_ZOOM_IN, [this](int) { ZoomIn(); });
    OnUpdateCommand(ID_ZOOM_IN, [this](CSCmdUI& ui) { ui.Enable(!m_bAutoScale); });
    OnCommand(ID_CANCEL_ZOOM, [this](int) { _CancelZoom(); });
    OnUpdateCommand(ID_CANCEL_ZOOM, [this](CSCmdUI& ui) { ui.Enable(m_dZoom != 1.0); });
    OnCommand(ID_AUTO_SCALE, [this](int) { _AutoScale(); });
    OnUpdateCommand(ID_AUTO_SCALE, [this](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(m_bAutoScale ? 1 : 0);
    });
    OnCommand(ID_RESIZE_TO_CONTENTS, [this](int) { ResizeToContents(); });
    OnUpdateCommand(ID_RESIZE_TO_CONTENTS, [this](CSCmdUI& ui) {
        ui.Enable(m_View.Frame() && !m_View.Frame()->IsMDIMaximized());
    });
}

double CViewZoom::Scale() const
{
    if (!m_bAutoScale)
        return m_dZoom;
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->Image().IsValidObject())
        return 1.0;
    CVelvix& image = doc->Image();
    const QSize client = m_View.viewport()->size();
    const int boxWidth = std::max(1, client.width()), boxHeight = std::max(1, client.height());
    int width, height;
    CVelvix::FitIntoBox(image.GetWidth(), image.GetHeight(), boxWidth, boxHeight, true, width, height);
    // The side that fills the box gives the scale; the other one is
    // truncated, to 0 for a picture thinner than the box.
    return width == boxWidth ? double(width) / image.GetWidth() : double(height) / image.GetHeight();
}

QSize CViewZoom::ContentSize() const
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->Image().IsValidObject())
        return QSize(0, 0);
    // A picture scaled below one pixel across still shows as a line.
    const double scale = Scale();
    return QSize(std::max(1, int(doc->Image().GetWidth() * scale)), std::max(1, int(doc->Image().GetHeight() * scale)));
}

QPoint CViewZoom::ScrollPos() const
{
    return QPoint(m_View.horizontalScrollBar()->value(), m_View.verticalScrollBar()->value());
}

void CViewZoom::UpdateScrollSizes()
{
    const QSize content = m_bAutoScale ? QSize(0, 0) : ContentSize();
    const QSize client = m_View.viewport()->size();
    QScrollBar* h = m_View.horizontalScrollBar();
    QScrollBar* v = m_View.verticalScrollBar();
    h->setRange(0, std::max(0, content.width() - client.width()));
    h->setPageStep(std::max(1, client.width()));
    v->setRange(0, std::max(0, content.height() - client.height()));
    v->setPageStep(std::max(1, client.height()));
}

void CViewZoom::UpdateZoomDisplay()
{
    m_View.SetPane(CAmbrelViewStatusBar::kZoom, QString::fromStdString(viewgeom::ZoomText(m_dZoom)));
    UpdateVisiblePart();
}

void CViewZoom::UpdateVisiblePart()
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    const QPoint scroll = ScrollPos();
    const QSize client = m_View.viewport()->size();
    CVelvix& image = doc->Image();
    doc->m_rcVisible = viewgeom::VisiblePart(m_dZoom, scroll.x(), scroll.y(), client.width(), client.height(),
                                             image.IsValidObject() ? image.GetWidth() : 0,
                                             image.IsValidObject() ? image.GetHeight() : 0);
    if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
        VxSendMessageToDescendants(main, msg::WM_VISIBLE_PART, std::uintptr_t(m_View.Frame()));
}

void CViewZoom::SetZoom(double zoom)
{
    m_dZoom = std::min(zoom, viewgeom::kMaxZoom);
    UpdateScrollSizes();
    UpdateZoomDisplay();
}

void CViewZoom::ZoomIn()
{
    if (m_bAutoScale)
        return;
    CViewSelection& selection = m_View.Selection();
    if (!selection.Has()) {
        selection.BeginZoomGesture();
        m_View.viewport()->setCursor(m_ZoomCursor);
        return;
    }
    const QSize client = m_View.viewport()->size();
    const viewgeom::ZoomStep step =
        viewgeom::ZoomToSelection(m_dZoom, client.width(), client.height(), selection.ViewRect());
    selection.Clear();
    m_dZoom = step.zoom;
    UpdateScrollSizes();
    m_View.horizontalScrollBar()->setValue(step.scrollX);
    m_View.verticalScrollBar()->setValue(step.scrollY);
    UpdateZoomDisplay();
    m_View.Repaint();
}

void CViewZoom::_CancelZoom()
{
    m_View.Selection().Clear();
    SetZoom(1.0);
    m_View.Repaint();
}

void CViewZoom::_AutoScale()
{
    m_bAutoScale = !m_bAutoScale;
    if (m_bAutoScale) {
        m_dZoom = 1.0;
        m_View.Selection().EndGesture();
        m_View.viewport()->unsetCursor();
    }
    m_View.Selection().Clear();
    ResizeToContents();
    UpdateScrollSizes();
    UpdateZoomDisplay();
    m_View.Repaint();
}

void CViewZoom::_ResizeToContents(int retries)
{
    CPixelFrame* frame = m_View.Frame();
    CAmbrelDoc* doc = Doc();
    if (!frame || !doc || !doc->Image().IsValidObject() || frame->IsMDIMaximized())
        return;
    QMdiSubWindow* window = frame->GetMDISubWindow();
    if (!window)
        return;
    // The client area is measured in the shown window: a window not yet
    // shown has no layout to measure.
    if (!window->isVisible()) {
        if (retries > 0)
            QTimer::singleShot(0, &m_View, [this, retries, window = QPointer<QMdiSubWindow>(window)] {
                if (window)
                    _ResizeToContents(retries - 1);
            });
        return;
    }
    QWidget* viewport = m_View.viewport();
    const QSize wanted(doc->Image().GetWidth(), doc->Image().GetHeight());
    const QSize limit = window->mdiArea() ? window->mdiArea()->size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // A window just shown may not be laid out yet (the view not even inside
    // it): give it a size first, then correct by what the client area lacks.
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QRect client(viewport->mapTo(window, QPoint(0, 0)), viewport->size());
        const bool laidOut = window->rect().contains(client);
        if (laidOut && client.size() == wanted)
            return;
        const QSize size = laidOut ? window->size() + (wanted - client.size()) : wanted + QSize(16, 100);
        const QSize bounded = size.boundedTo(limit).expandedTo(QSize(160, 120));
        if (bounded == window->size())
            return;
        window->resize(bounded);
    }
}

bool CViewZoom::ScrollByKey(int key)
{
    QScrollBar* h = m_View.horizontalScrollBar();
    QScrollBar* v = m_View.verticalScrollBar();
    switch (key) {
    case Qt::Key_Up:
        if (v->maximum() > 0)
            v->setValue(v->value() - kScrollStep);
        break;
    case Qt::Key_Down:
        if (v->maximum() > 0)
            v->setValue(v->value() + kScrollStep);
        break;
    case Qt::Key_Left:
        if (h->maximum() > 0)
            h->setValue(h->value() - kScrollStep);
        break;
    case Qt::Key_Right:
        if (h->maximum() > 0)
            h->setValue(h->value() + kScrollStep);
        break;
    case Qt::Key_PageUp:
        if (v->maximum() > 0)
            v->setValue(0);
        break;
    case Qt::Key_PageDown:
        if (v->maximum() > 0)
            v->setValue(v->maximum());
        break;
    default:
        return false;
    }
    UpdateVisiblePart();
    return true;
}
