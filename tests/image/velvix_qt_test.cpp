#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPicture>
#include <QPixmap>
#include <QRegion>

#include <functional>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Renders the image with Draw into a canvas and returns the canvas.
QImage DrawnCanvas(CVelvix& image, int boxW, int boxH, bool keepAspect, VxRect& covered)
{
    QImage canvas(boxW, boxH, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    QPainter painter(&canvas);
    covered = image.Draw(&painter, boxW, boxH, keepAspect);
    painter.end();
    return canvas;
}

} // namespace

TEST(Drawing, FitsTheBoxAtTheOriginAndShowsTheTopRowFirst)
{
    CVelvix wide = vxtest::RandomImage(400, 100, 1);
    VxRect covered;
    QImage canvas = DrawnCanvas(wide, 200, 200, true, covered);
    EXPECT_EQ(covered, (VxRect{0, 0, 200, 50}));
    EXPECT_EQ(canvas.pixel(0, 0) & 0xFFFFFF, wide.Bytes(0, 99) & 0xFFFFFF) << "top-left is the last buffer row";
    EXPECT_EQ(canvas.pixel(0, 60), QColor(Qt::magenta).rgb()) << "nothing is drawn below the fitted box";

    CVelvix tall = vxtest::RandomImage(100, 400, 2);
    DrawnCanvas(tall, 200, 200, true, covered);
    EXPECT_EQ(covered, (VxRect{0, 0, 50, 200}));
    DrawnCanvas(tall, 200, 200, false, covered);
    EXPECT_EQ(covered, (VxRect{0, 0, 200, 200}));

    CVelvix empty;
    EXPECT_EQ(DrawnCanvas(empty, 20, 20, true, covered).pixel(0, 0), QColor(Qt::magenta).rgb());
    EXPECT_EQ(covered, VxRect{});
}

TEST(Drawing, UnscaledDrawCopiesEveryPixel)
{
    CVelvix image = vxtest::RandomImage(13, 7, 3);
    QImage canvas(13, 7, QImage::Format_RGB32);
    QPainter painter(&canvas);
    image.Draw(&painter);
    painter.end();
    for (int r = 0; r < 7; ++r)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(canvas.pixel(x, r) & 0xFFFFFF, image.Bytes(x, 6 - r));
}

// The picture is opaque on every surface, transparent ones included; around
// it the surface stays as it was.
TEST(Drawing, IsOpaqueOnEverySurface)
{
    CVelvix image = vxtest::RandomImage(13, 7, 5);
    const auto expected = [&image](int scale, int x, int y) -> QRgb {
        if (x >= 13 * scale || y >= 7 * scale)
            return 0;
        return 0xFF000000u | image.Bytes(x / scale, 6 - y / scale);
    };
    // Draws at 1x and 2x onto a transparent surface and compares every pixel.
    const auto check = [&](const char* what, const std::function<QImage(int scale)>& draw) {
        for (const int scale : {1, 2}) {
            const QImage canvas = draw(scale).convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < canvas.height(); ++y)
                for (int x = 0; x < canvas.width(); ++x)
                    ASSERT_EQ(canvas.pixel(x, y), expected(scale, x, y)) << what << " " << scale << "x at " << x << "," << y;
        }
    };
    for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                        QImage::Format_RGBA8888, QImage::Format_RGBA8888_Premultiplied}) {
        check("image", [&](int scale) {
            QImage canvas(13 * scale + 3, 7 * scale + 2, format);
            canvas.fill(Qt::transparent);
            QPainter painter(&canvas);
            image.Draw(&painter, 13 * scale, 7 * scale, false);
            return canvas;
        });
    }
    check("pixmap", [&](int scale) {
        QPixmap canvas(13 * scale + 3, 7 * scale + 2);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        image.Draw(&painter, 13 * scale, 7 * scale, false);
        painter.end();
        return canvas.toImage();
    });
    check("recording", [&](int scale) { // an engine other than the raster one
        QPicture recording;
        QPainter recorder(&recording);
        image.Draw(&recorder, 13 * scale, 7 * scale, false);
        recorder.end();
        QImage canvas(13 * scale + 3, 7 * scale + 2, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.drawPicture(0, 0, recording);
        return canvas;
    });
    // On an opaque surface the top byte is set too, so that the surface
    // stays opaque when it is drawn in turn onto a transparent one.
    check("through an opaque image", [&](int scale) {
        QImage opaque(13 * scale, 7 * scale, QImage::Format_RGB32);
        {
            QPainter painter(&opaque);
            image.Draw(&painter, 13 * scale, 7 * scale, false);
        }
        QImage canvas(13 * scale + 3, 7 * scale + 2, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter(&canvas).drawImage(0, 0, opaque);
        return canvas;
    });
}

TEST(CreateImage, ConvertsAnyFormatIntoBottomUpPixels)
{
    QImage source(3, 2, QImage::Format_RGB888);
    source.setPixel(0, 0, qRgb(10, 20, 30));
    source.setPixel(2, 1, qRgb(200, 100, 50));
    for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGB16, QImage::Format_RGB32,
                                  QImage::Format_Indexed8, QImage::Format_Grayscale8}) {
        const QImage converted = source.convertToFormat(format);
        CVelvix image;
        ASSERT_TRUE(image.CreateImage(nullptr, converted)) << format;
        ASSERT_EQ(image.GetWidth(), 3);
        ASSERT_EQ(image.GetHeight(), 2);
        EXPECT_EQ(image.Bytes(0, 1), converted.pixel(0, 0) & 0xFFFFFF) << format;
        EXPECT_EQ(image.Bytes(2, 0), converted.pixel(2, 1) & 0xFFFFFF) << format;
        EXPECT_EQ(image.Bytes(1, 0) >> 24, 0u) << "no alpha: the top byte is 0";
    }
    QImage alpha(1, 1, QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(1, 2, 3, 128));
    CVelvix image;
    ASSERT_TRUE(image.CreateImage(nullptr, alpha));
    EXPECT_EQ(image.Bytes(0), 0x80010203u) << "alpha is kept in bits 24 to 31";
    EXPECT_FALSE(image.CreateImage(nullptr, QImage()));
    EXPECT_TRUE(image.IsValidObject()) << "a null source changes nothing";
}

TEST(Region, CoversEverythingButTheKeyColour)
{
    CVelvix image = vxtest::FilledImage(10, 6, 0xFF00FF);
    EXPECT_TRUE(image.CreateRegion(0xFF00FF, true).isEmpty());
    EXPECT_TRUE(image.CreateRegion(0x000000, true).xored(QRegion(0, 0, 10, 6)).isEmpty());
    image.Bytes(2, 0) = 0x123456;  // bottom buffer row
    const QRegion flipped = image.CreateRegion(0xFF00FF, true);
    EXPECT_EQ(flipped, QRegion(2, 5, 1, 1));
    EXPECT_EQ(image.CreateRegion(0xFF00FF, false), QRegion(2, 0, 1, 1));
    CVelvix empty;
    EXPECT_TRUE(empty.CreateRegion(0, true).isEmpty());
}

TEST(Clipboard, CopyThenPasteReproducesThePicture)
{
    QGuiApplication::clipboard()->clear();
    CVelvix image = vxtest::RandomImage(17, 9, 4);
    CVelvix pasted;
    EXPECT_FALSE(pasted.CanPaste(nullptr));
    EXPECT_FALSE(pasted.Paste(nullptr, nullptr));
    EXPECT_FALSE(pasted.IsValidObject());

    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    ASSERT_TRUE(image.Copy(nullptr));
    EXPECT_TRUE(pasted.CanPaste(nullptr));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept")) << "other formats stay";
    // Opaque for whoever draws the copy onto a transparent surface.
    const QImage copied = QGuiApplication::clipboard()->image();
    QImage canvas(copied.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter(&canvas).drawImage(0, 0, copied);
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            ASSERT_EQ(canvas.pixel(x, y), 0xFF000000u | image.Bytes(x, 8 - y)) << x << "," << y;
    ASSERT_TRUE(pasted.Paste(nullptr, nullptr));
    EXPECT_EQ(vxtest::FirstDifference(pasted, image), -1);
    EXPECT_TRUE(pasted.CanPaste(nullptr)) << "the clipboard keeps its bitmap";
}
