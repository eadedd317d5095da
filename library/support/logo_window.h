#pragma once

#include <QImage>
#include <QMdiArea>
#include <QString>

#include "velvix_export.h"

// The MDI client area that shows a logo picture and a line of text while
// no document window is open.
class VELVIX_EXPORT CVxLogoWnd : public QMdiArea {
    Q_OBJECT
public:
    explicit CVxLogoWnd(QWidget* parent = nullptr);

    // The picture of bitmap resource `bitmapId` (":/bitmaps/<id>.bmp").
    bool SetLogo(unsigned bitmapId, const QString& text);
    void SetLogo(const QImage& picture, const QString& text);
    const QString& GetText() const { return m_strText; }
    const QImage& GetPicture() const { return m_picture; }
    // true while no document window is open and the logo is drawn.
    bool IsLogoShown() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QImage m_picture;
    QString m_strText;
};
