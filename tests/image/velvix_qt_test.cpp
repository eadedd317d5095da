#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QRegion>

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
    ASSERT_TRUE(pasted.Paste(nullptr, nullptr));
    EXPECT_EQ(vxtest::FirstDifference(pasted, image), -1);
    EXPECT_TRUE(pasted.CanPaste(nullptr)) << "the clipboard keeps its bitmap";
}
