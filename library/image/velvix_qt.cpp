// The members of CVelvix that meet Qt: conversion from any QImage, the window
// region, drawing, the clipboard and the bitmaps of the program's resources.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <cstring>
#include <new>
#include <vector>

#include "image/velvix.h"

namespace {

// The buffer seen as a QImage without a copy; its rows are bottom-up.
QImage WrapBuffer(CVelvix& image, VxPixel* data)
{
    return QImage(reinterpret_cast<const uchar*>(data), image.GetWidth(), image.GetHeight(),
                  image.GetWidth() * 4, QImage::Format_RGB32);
}

// Our pixels keep 0 in the top byte where Qt's RGB32 means 0xFF. Qt copies
// that byte as it is into surfaces with alpha (a transparent pixmap, a
// premultiplied image), which would make the picture invisible there. A copy
// with the top byte set serves the engines we cannot repair afterwards and
// the clipboard; its rows are bottom-up unless asked top-down.
QImage OpaqueCopy(CVelvix& image, const VxPixel* pixels, bool topDown)
{
    QImage copy(image.GetWidth(), image.GetHeight(), QImage::Format_RGB32);
    if (copy.isNull())
        return copy;
    const std::size_t width = std::size_t(image.GetWidth());
    for (int y = 0; y < copy.height(); ++y) {
        auto* out = reinterpret_cast<VxPixel*>(copy.scanLine(topDown ? copy.height() - 1 - y : y));
        const VxPixel* row = pixels + std::size_t(y) * width;
        for (std::size_t x = 0; x < width; ++x)
            out[x] = row[x] | 0xFF000000u;
    }
    return copy;
}

} // namespace

bool CVelvix::CreateImage(QPainter* /*dc*/, const QImage& bitmap)
{
    if (bitmap.isNull())
        return false;
    DeleteObject();
    const bool alpha = bitmap.hasAlphaChannel();
    const QImage source = bitmap.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (source.isNull() || !RawCreateImage(source.height(), source.width()))
        return false;
    const int width = source.width(), height = source.height();
    // Without alpha the top byte is 0 in our pixels, not Qt's 0xFF.
    const VxPixel mask = alpha ? 0xFFFFFFFFu : 0x00FFFFFFu;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const VxPixel*>(source.constScanLine(height - 1 - y));
        VxPixel* out = &Bytes(0, y);
        for (int x = 0; x < width; ++x)
            out[x] = row[x] & mask;
    }
    return true;
}

QRegion CVelvix::CreateRegion(unsigned long color, bool flip)
{
    if (!IsValidObject())
        return QRegion();
    const int width = GetWidth(), height = GetHeight();
    const VxPixel key = VxPixel(color);
    // Runs of kept pixels, row by row from the top, as QRegion wants them.
    std::vector<QRect> runs;
    for (int row = 0; row < height; ++row) {
        const int y = flip ? height - 1 - row : row;
        const VxPixel* line = &Bytes(0, y);
        int x = 0;
        while (x < width) {
            while (x < width && line[x] == key)
                ++x;
            const int start = x;
            while (x < width && line[x] != key)
                ++x;
            if (x > start)
                runs.emplace_back(start, row, x - start, 1);
        }
    }
    QRegion region;
    region.setRects(runs.data(), int(runs.size()));
    return region;
}

void CVelvix::Draw(QPainter* dc)
{
    if (!dc || !IsValidObject())
        return;
    Draw(dc, GetWidth(), GetHeight(), false);
}

VxRect CVelvix::Draw(QPainter* dc, int width, int height, bool keepAspect)
{
    if (!IsValidObject())
        return VxRect{};
    int drawnWidth, drawnHeight;
    FitIntoBox(GetWidth(), GetHeight(), width, height, keepAspect, drawnWidth, drawnHeight);
    if (dc) {
        const bool raster = dc->paintEngine() && dc->paintEngine()->type() == QPaintEngine::Raster;
        const QImage picture =
            raster ? WrapBuffer(*this, GetImageData()) : OpaqueCopy(*this, GetImageData(), false);
        // Without memory for the copy the page would come out blank.
        if (picture.isNull())
            throw std::bad_alloc();
        dc->save();
        dc->setRenderHint(QPainter::SmoothPixmapTransform, false);
        // The buffer is bottom-up: draw it mirrored about the box's middle.
        dc->translate(0, drawnHeight);
        dc->scale(1, -1);
        const QRect box(0, 0, drawnWidth, drawnHeight);
        dc->drawImage(box, picture);
        if (raster) {
            // The raster engine writes the picture without a copy; then every
            // pixel of it is made opaque, keeping its colour (d + black * (1 - da)).
            dc->setCompositionMode(QPainter::CompositionMode_DestinationOver);
            dc->fillRect(box, Qt::black);
        }
        dc->restore();
    }
    return VxRect{0, 0, drawnWidth, drawnHeight};
}

bool CVelvix::Copy(QWidget* /*window*/)
{
    if (!IsValidObject() || !QGuiApplication::instance())
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    // Made first: without memory for it the clipboard keeps what it holds.
    QImage image = OpaqueCopy(*this, GetImageData(), true);
    if (image.isNull())
        return false;
    auto* data = new QMimeData;
    // Keep what other formats the clipboard holds; only the image is ours.
    if (const QMimeData* old = clipboard->mimeData()) {
        for (const QString& format : old->formats())
            if (!format.startsWith(QLatin1String("image/")) && format != QLatin1String("application/x-qt-image"))
                data->setData(format, old->data(format));
    }
    data->setImageData(image);
    clipboard->setMimeData(data);
    return true;
}

bool CVelvix::Paste(QWidget* /*window*/, QPainter* dc)
{
    if (!QGuiApplication::instance())
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasImage())
        return false;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return false;
    return CreateImage(dc, image);
}

bool CVelvix::CanPaste(QWidget* /*window*/)
{
    if (!QGuiApplication::instance())
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    return data && data->hasImage();
}

int CVelvix_CBitmapReader::LoadBitmapImage(unsigned int resourceId)
{
    QFile file(QStringLiteral(":/bitmaps/%1.bmp").arg(resourceId));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    return ReadBitmapMemory(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size()));
}
