#pragma once

#include <QPointer>
#include <QWidget>

#include "support/mdi_frames.h"

class CBarImageSource;

// A bar of the main window that follows the active image window: it
// recomputes when another window becomes active, shows nothing without an
// image window, and forgets its window when told that its image changed so
// that the next update recomputes.
class CUpdateDialogBar : public QWidget {
    Q_OBJECT
public:
    explicit CUpdateDialogBar(QWidget* parent = nullptr);

    // The idle-time update: follows `active` (null when no child is active).
    void FollowActive(CSMDIChildWnd* active);
    CSMDIChildWnd* FollowedFrame() const { return m_pFollowed.data(); }
    bool IsBarEmpty() const { return m_bEmpty; }

    // Stops following; the next update recomputes (a hidden bar hears of
    // no changes).
    void Forget();

    // The view's notifications, forwarded by the main frame.
    void ImageChanged(CSMDIChildWnd* frame);
    void VisiblePartChanged();

protected:
    // Recomputes from the followed window at once (after a resize).
    void RecomputeNow();
    virtual void Recompute(CBarImageSource& source) = 0;
    virtual void Clear() = 0;
    virtual void UpdateVisiblePart(CBarImageSource&) {}

private:
    CBarImageSource* _Source() const;
    void _SetEmpty();

    QPointer<CSMDIChildWnd> m_pFollowed;
    bool m_bEmpty = true;
};
