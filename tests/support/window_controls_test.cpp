// The splash (shape and fade) and the logo bitmaps.
#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include "image/velvix.h"
#include "support/bitmap_resource.h"
#include "support/splash_window.h"

namespace {

TEST(Splash, FadesInThirtyStepsOfEight)
{
    EXPECT_EQ(CVxSplashDialog::FadeAlpha(0), 255);
    EXPECT_EQ(CVxSplashDialog::kFadeSteps, 30);
    EXPECT_EQ(CVxSplashDialog::kFadeInterval, 50);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    CVxSplashDialog splash(picture, QRegion(0, 0, 40, 30), "splash", 20);
    std::vector<int> steps, alphas;
    QObject::connect(&splash, &CVxSplashDialog::Faded, [&](int step, int alpha) {
        steps.push_back(step);
        alphas.push_back(alpha);
        EXPECT_NEAR(splash.windowOpacity(), alpha / 255.0, 0.01);
    });
    splash.Run();
    ASSERT_EQ(steps.size(), 30u);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(steps[i], i + 1);
        EXPECT_EQ(alphas[i], 255 - 8 * (i + 1));
    }
    EXPECT_FALSE(splash.isVisible());
}

TEST(Splash, TakesTheShapeOfTheBitmapWithoutTheKeyColour)
{
    CVelvix bitmap;
    ASSERT_TRUE(VxLoadResourceBitmap(234, bitmap));
    const QRegion shape = bitmap.CreateRegion(0x00FF00, true);
    const QRect bounds(0, 0, bitmap.GetWidth(), bitmap.GetHeight());
    EXPECT_FALSE(shape.contains(bounds.topLeft()));
    EXPECT_FALSE(shape.contains(bounds.bottomRight()));
    EXPECT_TRUE(shape.contains(bounds.center()));

    QString title;
    QRegion mask;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* splash = qobject_cast<CVxSplashDialog*>(widget); splash && splash->isVisible()) {
                title = splash->windowTitle();
                mask = splash->mask();
            }
    });
    probe.start(20);
    EXPECT_TRUE(CVxSplashDialog::DoSplash(nullptr, 234, "Ambrel V 1.5.1", 30, 0x0000FF00));
    EXPECT_EQ(title.toStdString(), "Ambrel V 1.5.1");
    EXPECT_EQ(mask, shape);
    EXPECT_FALSE(CVxSplashDialog::DoSplash(nullptr, 999999, "none", 30, 0x0000FF00));
}

TEST(Logo, ResourceBitmapsAreTopDownPictures)
{
    const QImage logo = VxResourceImage(200);
    ASSERT_FALSE(logo.isNull());
    const QImage direct(":/bitmaps/200.bmp");
    ASSERT_EQ(logo.size(), direct.size());
    EXPECT_EQ(logo.pixel(3, 3), direct.pixel(3, 3));
    EXPECT_EQ(logo.pixel(60, 75), direct.pixel(60, 75));
    EXPECT_TRUE(VxResourceImage(999999).isNull());
}

} // namespace
