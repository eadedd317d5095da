#include "update_dialog_bar.h"

#include "bar_image_source.h"
#include "image/velvix.h"
#include "support/sdocument.h"
#include "support/wait_cursor.h"

CUpdateDialogBar::CUpdateDialogBar(QWidget* parent) : QWidget(parent) {}

CBarImageSource* CUpdateDialogBar::_Source() const
{
    if (!m_pFollowed)
        return nullptr;
    auto* source = dynamic_cast<CBarImageSource*>(m_pFollowed->GetActiveDocument());
    if (!source || !source->BarImage() || !source->BarImage()->IsValidObject())
        return nullptr;
    return source;
}

void CUpdateDialogBar::_SetEmpty()
{
    m_bEmpty = true;
    Clear();
}

void CUpdateDialogBar::FollowActive(CSMDIChildWnd* active)
{
    if (!active) {
        if (m_pFollowed || !m_bEmpty) {
            m_pFollowed = nullptr;
            _SetEmpty();
        }
        return;
    }
    if (active == m_pFollowed)
        return;
    m_pFollowed = active;
    CBarImageSource* source = _Source();
    if (!source) {
        _SetEmpty();
        return;
    }
    m_bEmpty = false;
    CVxWaitCursor wait;
    Recompute(*source);
}

void CUpdateDialogBar::Forget()
{
    m_pFollowed = nullptr;
    _SetEmpty();
}

void CUpdateDialogBar::ImageChanged(CSMDIChildWnd* frame)
{
    if (frame && frame == m_pFollowed)
        Forget();
}

void CUpdateDialogBar::VisiblePartChanged()
{
    if (m_bEmpty)
        return;
    if (CBarImageSource* source = _Source())
        UpdateVisiblePart(*source);
}

void CUpdateDialogBar::RecomputeNow()
{
    if (m_bEmpty)
        return;
    if (CBarImageSource* source = _Source())
        Recompute(*source);
}
