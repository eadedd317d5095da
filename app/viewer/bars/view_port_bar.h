#pragma once

#include <QImage>
#include <QRect>

#include "update_dialog_bar.h"

#include "image/pixel_interface.h"

class CVelvix;

// The view-port bar's contents: a miniature of the followed image with the
// visible part outlined.
class CViewPortDialogBar : public CUpdateDialogBar {
    Q_OBJECT
public:
    explicit CViewPortDialogBar(QWidget* parent = nullptr);

    // Draws the miniature (cross-hatched behind, the image fitted with its
    // proportions) and outlines the visible part, given in thousandths.
    void SetImage(CVelvix& image, const VxRect& visibleThousandths);
    void SetVisiblePart(const VxRect& visibleThousandths);
    void SetEmpty();

    bool IsEmpty() const { return m_bEmpty; }
    QRect ImageRect() const { return m_ImageRect; }
    QRect Outline() const { return m_Outline; }
    const QImage& Miniature() const { return m_Cache; }

    // The outline in miniature coordinates; empty when all four are 0.
    static QRect OutlineFor(const QRect& imageRect, const VxRect& visibleThousandths);

protected:
    void Recompute(CBarImageSource& source) override;
    void Clear() override { SetEmpty(); }
    void UpdateVisiblePart(CBarImageSource& source) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_Cache;
    QRect m_ImageRect;
    QRect m_Outline;
    bool m_bEmpty = true;
};
