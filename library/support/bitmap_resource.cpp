#include "support/bitmap_resource.h"

#include <QPainter>

#include "image/velvix.h"

bool VxLoadResourceBitmap(unsigned id, CVelvix& image)
{
    if (image.LoadBitmapImage(id) && image.IsValidObject())
        return true;
    const QImage picture(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
    return !picture.isNull() && image.CreateImage(nullptr, picture);
}

QImage VxResourceImage(unsigned id)
{
    CVelvix bitmap;
    if (!VxLoadResourceBitmap(id, bitmap))
        return QImage();
    QImage picture(bitmap.GetWidth(), bitmap.GetHeight(), QImage::Format_RGB32);
    QPainter painter(&picture);
    bitmap.Draw(&painter);
    return picture;
}
