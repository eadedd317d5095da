// The splash (shape and fade), the logo bitmaps, the full-screen window and
// the folder tree.
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

#include "image/velvix.h"
#include "support/bitmap_resource.h"
#include "support/explorer_tree_view.h"
#include "support/full_screen_window.h"
#include "support/splash_window.h"
#include "test_support.h"

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

namespace {

TEST(FullScreenWindow, CoversTheScreenAndReportsKeysAndClicks)
{
    CVxFullScreenWnd window;
    std::vector<int> keys;
    std::vector<Qt::MouseButton> clicks;
    QObject::connect(&window, &CVxFullScreenWnd::KeyPressed, [&](int key, Qt::KeyboardModifiers) { keys.push_back(key); });
    QObject::connect(&window, &CVxFullScreenWnd::MouseClicked, [&](Qt::MouseButton b) { clicks.push_back(b); });
    window.ShowOnScreenOf(nullptr);
    EXPECT_TRUE(window.windowState() & Qt::WindowFullScreen);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Space);
    QTest::mouseClick(&window, Qt::RightButton);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Escape, Qt::Key_Space}));
    EXPECT_EQ(clicks, (std::vector<Qt::MouseButton>{Qt::RightButton}));
}

TEST(ExplorerTree, AsteriskOpensOnlyTheCurrentFolder)
{
    // Expanding everything below would list the whole disk under the root
    // (for ever round a link to a folder above).
    vxtest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "a" / "b");
    CVxExplorerTreeView tree;
    tree.Populate(QString::fromStdString(dir.Path().string()));
    QTreeWidgetItem* current = tree.currentItem();
    ASSERT_EQ(CVxExplorerTreeView::ItemPath(current), QString::fromStdString(dir.Path().string()));
    for (const auto modifiers : {Qt::NoModifier, Qt::ShiftModifier, Qt::KeypadModifier}) {
        current->setExpanded(false);
        QTest::keyClick(&tree, Qt::Key_Asterisk, modifiers);
        EXPECT_TRUE(current->isExpanded());
        ASSERT_EQ(current->childCount(), 1);
        EXPECT_FALSE(current->child(0)->isExpanded()) << "a";
    }
}

} // namespace
