#include "viewer/view/view_selection.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>

#include "support/message_event.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/view_zoom.h"
#include "viewer/view_geometry.h"
#include "viewer/view_status_bar.h"

using namespace viewcmd;

bool CViewSelection::s_bAlwaysSquareLonger = false;
bool CViewSelection::s_bAlwaysSquareShorter = false;

CViewSelection::CViewSelection(CAmbrelView& view) : CViewPart(view)
{
    auto withSelection = [this](CSCmdUI& ui) { ui.Enable(Has()); };
    OnCommand(ID_SQUARE_LONGER, [this](int) { _Square(true); });
    OnCommand(ID_SQUARE_SHORTER, [this](int) { _Square(false); });
    OnCommand(ID_MOVE_SELECTION, [this](int) {
        if (Has())
            m_nMouseMode = kMove;
    });
    for (int id : {ID_SQUARE_LONGER, ID_SQUARE_SHORTER, ID_MOVE_SELECTION})
        OnUpdateCommand(id, withSelection);
    OnCommand(ID_ALWAYS_SQUARE_LONGER, [](int) {
        s_bAlwaysSquareLonger = !s_bAlwaysSquareLonger;
        if (s_bAlwaysSquareLonger)
            s_bAlwaysSquareShorter = false;
    });
    OnCommand(ID_ALWAYS_SQUARE_SHORTER, [](int) {
        s_bAlwaysSquareShorter = !s_bAlwaysSquareShorter;
        if (s_bAlwaysSquareShorter)
            s_bAlwaysSquareLonger = false;
    });
    OnUpdateCommand(ID_ALWAYS_SQUARE_LONGER, [](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(s_bAlwaysSquareLonger ? 1 : 0);
    });
    OnUpdateCommand(ID_ALWAYS_SQUARE_SHORTER, [](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(s_bAlwaysSquareShorter ? 1 : 0);
    });
    OnCommand(ID_TRACK_LINES, [this](int) {
        m_bTrackLines = !m_bTrackLines;
        m_ptLastTrack = QPoint(-1, -1);
        m_View.Repaint();
    });
    OnUpdateCommand(ID_TRACK_LINES, [this](CSCmdUI& ui) {
        ui.Enable(true);
        ui.SetCheck(m_bTrackLines ? 1 : 0);
    });
}

VxRect CViewSelection::ImageRect() const
{
    CAmbrelDoc* doc = Doc();
    if (!Has() || !doc || !doc->Image().IsValidObject())
        return VxRect{};
    return viewgeom::ClipToImage(viewgeom::ViewToImage(m_rcSelection, m_View.Zoom().Scale()),
                                 doc->Image().GetWidth(), doc->Image().GetHeight());
}

void CViewSelection::Set(const VxRect& rect)
{
    m_rcSelection = viewgeom::Normalize(rect);
    _DropIfOutside();
    m_View.Repaint();
}

void CViewSelection::Drop()
{
    Clear();
    m_View.SetPane(CAmbrelViewStatusBar::kSelection, QString());
}

void CViewSelection::_Square(bool longer)
{
    if (!Has())
        return;
    m_rcSelection = longer ? viewgeom::SquareUsingLongerAxes(m_rcSelection)
                           : viewgeom::SquareUsingShorterAxes(m_rcSelection);
    m_View.Repaint();
}

bool CViewSelection::MousePress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_View.IsSlideshow())
        return false;
    if (Has())
        m_View.Repaint();
    if (m_nMouseMode != kMove)
        Clear();
    m_ptDragStart = m_View.Zoom().ContentPoint(event->position().toPoint());
    m_rcMoving = m_rcSelection;
    m_bDragging = true;
    return true;
}

void CViewSelection::MouseMove(QMouseEvent* event)
{
    const QPoint point = m_View.Zoom().ContentPoint(event->position().toPoint());
    const double scale = m_View.Zoom().Scale();
    if (m_bDragging && m_ptDragStart.x() != -1) {
        if (m_nMouseMode == kMove) {
            const QPoint offset = point - m_ptDragStart;
            m_rcMoving = VxRect{m_rcSelection.left + offset.x(), m_rcSelection.top + offset.y(),
                                m_rcSelection.right + offset.x(), m_rcSelection.bottom + offset.y()};
        } else {
            m_rcSelection = viewgeom::RubberBand(m_ptDragStart.x(), m_ptDragStart.y(), point.x(), point.y());
            m_View.SetPane(CAmbrelViewStatusBar::kSelection,
                           QString::fromStdString(viewgeom::SelectionText(viewgeom::ViewToImage(m_rcSelection, scale))));
        }
        m_View.Repaint();
    }
    m_View.SetPane(CAmbrelViewStatusBar::kCursor,
                   QString::fromStdString(viewgeom::CursorText(viewgeom::ViewToImage(point.x(), scale),
                                                               viewgeom::ViewToImage(point.y(), scale))));
    if (m_bTrackLines && m_bTrackReady)
        _UpdateTrackLines(event->position().toPoint());
}

bool CViewSelection::MouseRelease(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bDragging)
        return false;
    m_ptDragStart = QPoint(-1, -1);
    m_View.SetPane(CAmbrelViewStatusBar::kSelection, QString());
    m_bDragging = false;
    VxPostMessage(&m_View, viewmsg::WM_FINISH_GESTURE);
    return true;
}

void CViewSelection::FinishGesture()
{
    if (m_nMouseMode == kZoomGesture) {
        m_View.viewport()->unsetCursor();
        m_nMouseMode = kDraw;
        if (Has() && !m_rcSelection.IsEmpty())
            m_View.Zoom().ZoomIn();
    } else if (m_nMouseMode == kMove) {
        m_rcSelection = m_rcMoving;
        m_View.Repaint();
    } else {
        m_View.Repaint();
    }
    if (Has()) {
        if (s_bAlwaysSquareShorter)
            m_rcSelection = viewgeom::SquareUsingShorterAxes(m_rcSelection);
        else if (s_bAlwaysSquareLonger)
            m_rcSelection = viewgeom::SquareUsingLongerAxes(m_rcSelection);
    }
    m_nMouseMode = kDraw;
    _DropIfOutside();
    m_View.Repaint();
}

// An empty rectangle, or one wholly in the hatch, is no selection: nothing
// would be selected, and commands must not take it for the whole picture.
void CViewSelection::_DropIfOutside()
{
    if (Has() && (m_rcSelection.IsEmpty() || ImageRect().IsEmpty()))
        Clear();
}

void CViewSelection::_UpdateTrackLines(const QPoint& viewportPoint)
{
    const QRect area = m_View.viewport()->rect();
    auto lines = [&](const QPoint& p) {
        QRegion region(QRect(0, p.y(), area.width(), 1));
        return region.united(QRect(p.x(), 0, 1, area.height()));
    };
    const QPoint scroll = m_View.Zoom().ScrollPos();
    QRegion dirty = lines(viewportPoint);
    if (m_ptLastTrack.x() != -1)
        dirty = dirty.united(lines(m_ptLastTrack - scroll));
    m_ptLastTrack = viewportPoint + scroll;
    m_View.viewport()->update(dirty);
}

void CViewSelection::Leave()
{
    if (m_bTrackLines && m_ptLastTrack.x() != -1) {
        m_ptLastTrack = QPoint(-1, -1);
        m_View.Repaint();
    }
}

void CViewSelection::Paint(QPainter& painter)
{
    const QPoint scroll = m_View.Zoom().ScrollPos();
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(Qt::white);
    auto outline = [&](const VxRect& rect) {
        painter.drawRect(QRect(rect.left - scroll.x(), rect.top - scroll.y(), rect.Width() - 1, rect.Height() - 1));
    };
    if (Has() && !m_rcSelection.IsEmpty())
        outline(m_rcSelection);
    if (m_nMouseMode == kMove && m_bDragging && !m_rcMoving.IsEmpty())
        outline(m_rcMoving);
    if (m_bTrackLines && m_bTrackReady && m_ptLastTrack.x() != -1) {
        const QSize content = m_View.Zoom().ContentSize();
        const QPoint p = m_ptLastTrack - scroll;
        const int right = std::min(m_View.viewport()->width(), content.width() - scroll.x());
        const int bottom = std::min(m_View.viewport()->height(), content.height() - scroll.y());
        if (p.y() < bottom)
            painter.drawLine(0, p.y(), right - 1, p.y());
        if (p.x() < right)
            painter.drawLine(p.x(), 0, p.x(), bottom - 1);
    }
}
