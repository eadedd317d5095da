#include "viewer/view/view_slideshow.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QTimer>

#include "settings/general_settings.h"
#include "support/full_screen_window.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/view_navigation.h"
#include "viewer/view_geometry.h"

using namespace viewcmd;

CViewSlideshow::CViewSlideshow(CAmbrelView& view) : CViewPart(view)
{
    OnCommand(ID_SLIDESHOW, [this](int) { Start(); });
    OnUpdateCommand(ID_SLIDESHOW, [this](CSCmdUI& ui) { ui.Enable(Doc() && Doc()->GetFileCount() > 0); });
}

bool CViewSlideshow::FitInto(CVelvix& image, const QSize& window, bool noEnlarge)
{
    int width, height;
    if (!viewgeom::SlideshowFit(image.GetWidth(), image.GetHeight(), window.width(), window.height(), noEnlarge,
                                width, height))
        return false;
    image.Resample_Bilinear(height, width, false);
    return true;
}

bool CViewSlideshow::Fit(CVelvix& image) const
{
    if (!m_View.m_FullScreenWnd || !image.IsValidObject())
        return false;
    return FitInto(image, m_View.m_FullScreenWnd->size(), GeneralSettings.bNoEnlargeInSlideshow != 0);
}

void CViewSlideshow::Start()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || m_bRunning || !m_View.Navigation().CanLeaveImage())
        return;
    auto* window = new CVxFullScreenWnd(nullptr);
    window->setAttribute(Qt::WA_OpaquePaintEvent);
    window->installEventFilter(this);
    QObject::connect(window, &CVxFullScreenWnd::KeyPressed, &m_View,
                     [this](int key, Qt::KeyboardModifiers modifiers) { _OnKey(key, modifiers); });
    QObject::connect(window, &CVxFullScreenWnd::MouseClicked, &m_View, [this](Qt::MouseButton) {
        QTimer::singleShot(0, &m_View, [this] { Stop(); });
    });
    m_View.m_FullScreenWnd.reset(window);
    window->ShowOnScreenOf(&m_View);
    window->activateWindow();
    window->setFocus();
    m_bRunning = true;
    m_View.m_Prefetch.Forget();
    if (doc->m_nCurrentFile < 0)
        doc->LocateCurrentFile();
    if (doc->m_nCurrentFile >= 0) {
        m_View.LoadCurrentFile(1, false);
    } else {
        // A picture that is not in the list is shown fitted from a copy: the
        // slideshow never changes the document's picture.
        m_Shown = doc->Image();
        Fit(m_Shown);
        window->update();
    }
}

void CViewSlideshow::Stop()
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_Shown = CVelvix();
    if (std::unique_ptr<QWidget>& window = m_View.m_FullScreenWnd) {
        window->removeEventFilter(this);
        window->hide();
        window.release()->deleteLater();
    }
    m_View.m_Prefetch.Forget();
    CAmbrelDoc* doc = Doc();
    if (doc && doc->m_nCurrentFile >= 0)
        m_View.LoadCurrentFile(1, false);
    if (QWidget* top = m_View.window()) {
        top->activateWindow();
        m_View.setFocus();
    }
}

void CViewSlideshow::_OnKey(int key, Qt::KeyboardModifiers modifiers)
{
    CViewNavigation& navigation = m_View.Navigation();
    const bool shift = modifiers & Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_Backspace:
        navigation.Navigate(shift ? &CFileNavigator::PreviousFolder : &CFileNavigator::PreviousFile, false);
        return;
    case Qt::Key_Space:
        navigation.Navigate(shift ? &CFileNavigator::NextFolder : &CFileNavigator::NextFile, false);
        return;
    case Qt::Key_F:
        navigation.Navigate(&CFileNavigator::FirstFile, false);
        return;
    case Qt::Key_L:
        navigation.Navigate(&CFileNavigator::LastFile, false);
        return;
    case Qt::Key_Shift:
        return;
    default:
        QTimer::singleShot(0, &m_View, [this] { Stop(); });
    }
}

void CViewSlideshow::_Paint()
{
    QWidget* window = m_View.m_FullScreenWnd.get();
    QPainter painter(window);
    painter.fillRect(window->rect(), Qt::black);
    CAmbrelDoc* doc = Doc();
    // Stepping leaves the copy behind: from then on the document shows.
    CVelvix* shown = doc && doc->m_nCurrentFile < 0 && m_Shown.IsValidObject() ? &m_Shown
                     : doc                                                    ? &doc->Image()
                                                                              : nullptr;
    if (shown && shown->IsValidObject()) {
        CVelvix& image = *shown;
        const QSize size = window->size();
        painter.translate((size.width() - image.GetWidth()) / 2, (size.height() - image.GetHeight()) / 2);
        image.Draw(&painter);
    } else if (!m_View.GetLoadError().isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(window->rect(), Qt::AlignCenter, m_View.GetLoadError());
    }
    m_View.TraceLoadSeen();
}

bool CViewSlideshow::eventFilter(QObject* watched, QEvent* event)
{
    if (m_View.m_FullScreenWnd && watched == m_View.m_FullScreenWnd.get()) {
        switch (event->type()) {
        case QEvent::Paint:
            _Paint();
            return true;
        case QEvent::WindowDeactivate:
            if (m_bRunning && !QApplication::activeModalWidget())
                QTimer::singleShot(0, &m_View, [this] { Stop(); });
            break;
        case QEvent::Hide:
            // Closed or hidden by the desktop before it ever had the focus:
            // left running, the window would fit every picture it loads.
            if (m_bRunning)
                QTimer::singleShot(0, &m_View, [this] { Stop(); });
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
