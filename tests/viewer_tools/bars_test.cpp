#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "bar_image_source.h"
#include "histogram_bar.h"
#include "test_support.h"
#include "view_port_bar.h"

// The operator new of these tests (encode_text_test.cpp) fails above this
// many bytes on the given thread.
extern std::atomic<std::size_t> g_newLimit;
extern std::thread::id g_limitedThread;

namespace {

// Every test gets its own settings store.
class BarsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("AmbrelTests"));
        QCoreApplication::setApplicationName(QStringLiteral("Ambrel"));
        QSettings().clear();
    }
    QTemporaryDir m_dir;
};

QImage Render(QWidget& widget)
{
    QImage canvas(widget.size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    widget.render(&canvas, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return canvas;
}

int CountColour(const QImage& image, QRgb colour, int column)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += image.pixel(column, y) == colour;
    return n;
}

} // namespace

TEST_F(BarsTest, HistogramCheckBoxesStartRedOnlyAndArePersisted)
{
    {
        CHistogramDialogBar bar;
        EXPECT_TRUE(bar.ChannelBox(0)->isChecked());
        EXPECT_FALSE(bar.ChannelBox(1)->isChecked());
        EXPECT_FALSE(bar.ChannelBox(2)->isChecked());
        bar.ChannelBox(0)->setChecked(false);
        bar.ChannelBox(2)->setChecked(true);
    }
    QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("HistogramBar/RCHECK")).toInt(), 0);
    EXPECT_EQ(settings.value(QStringLiteral("HistogramBar/BCHECK")).toInt(), 1);
    CHistogramDialogBar again;
    EXPECT_FALSE(again.ChannelBox(0)->isChecked());
    EXPECT_TRUE(again.ChannelBox(2)->isChecked());
}

TEST_F(BarsTest, CurveHeightsAreScaledToTheLargestCount)
{
    EXPECT_EQ(CHistogramDialogBar::CurveHeight(10, 10), 140);
    EXPECT_EQ(CHistogramDialogBar::CurveHeight(1, 3), 46) << "140 / 3 truncated";
    EXPECT_EQ(CHistogramDialogBar::CurveHeight(0, 3), 0);
    EXPECT_EQ(CHistogramDialogBar::CurveHeight(0, 0), 0);
}

TEST_F(BarsTest, HistogramDrawsOnlyTheCheckedCurves)
{
    CHistogramDialogBar bar;
    bar.resize(300, 230);
    CHistogramDialogBar::Counts red{}, green{}, blue{};
    red[0] = 100;   // column 11, full height
    green[1] = 50;  // column 12, half height
    blue[2] = 25;
    bar.SetHistogram(red, green, blue);
    EXPECT_EQ(bar.LargestCount(), 100u);

    bar.ChannelBox(0)->setChecked(false);
    bar.ChannelBox(1)->setChecked(true);
    QImage shown = Render(bar);
    EXPECT_EQ(CountColour(shown, qRgb(0, 255, 0), 12), 70 + 1) << "174 down to 105, and the axis";
    EXPECT_EQ(CountColour(shown, qRgb(255, 0, 0), 11), 0);
    EXPECT_GT(CountColour(shown, qRgb(0, 255, 0), 10), 100) << "the axis";

    bar.ChannelBox(1)->setChecked(false);
    shown = Render(bar);
    EXPECT_EQ(CountColour(shown, qRgb(0, 255, 0), 12), 0) << "no box checked: nothing drawn";

    bar.ChannelBox(0)->setChecked(true);
    bar.SetEmpty();
    shown = Render(bar);
    EXPECT_EQ(CountColour(shown, qRgb(255, 0, 0), 11), 0) << "empty: nothing drawn";
}

// The bar recomputes on the window's thread whenever the picture changes:
// without memory for its counting tables it shows nothing, and the program
// goes on; with memory again it counts.
TEST_F(BarsTest, HistogramShortOfMemoryShowsNothing)
{
    struct Bar : CHistogramDialogBar {
        using CHistogramDialogBar::Recompute;
    } bar;
    struct Source : CBarImageSource {
        CVelvix picture = vxtest::RandomImage(640, 480, 3);
        CVelvix* BarImage() override { return &picture; }
        VxRect BarVisiblePart() const override { return {}; }
    } source;
    CHistogramDialogBar::Counts red{}, green{}, blue{};
    red[0] = 1;
    bar.SetHistogram(red, green, blue);
    g_limitedThread = std::this_thread::get_id();
    g_newLimit = 4096;
    EXPECT_NO_THROW(bar.Recompute(source));
    g_newLimit = 0;
    EXPECT_TRUE(bar.IsEmpty()) << "the old counts are not shown for the new picture";
    bar.Recompute(source);
    EXPECT_FALSE(bar.IsEmpty());
    EXPECT_GT(bar.LargestCount(), 1u);
}

TEST_F(BarsTest, ViewPortOutlineFollowsTheVisibleThousandths)
{
    const QRect image(10, 20, 200, 100);
    EXPECT_TRUE(CViewPortDialogBar::OutlineFor(image, VxRect{0, 0, 0, 0}).isNull());
    const QRect outline = CViewPortDialogBar::OutlineFor(image, VxRect{250, 500, 750, 1000});
    EXPECT_EQ(outline.left(), 10 + 50);
    EXPECT_EQ(outline.top(), 20 + 50);
    EXPECT_EQ(outline.right() + 1, 10 + 150);
    EXPECT_EQ(outline.bottom() + 1, 20 + 100);
}

TEST_F(BarsTest, ViewPortMiniatureKeepsProportionsAndIsHatchedAround)
{
    CViewPortDialogBar bar;
    bar.resize(200, 150);
    CVelvix image = vxtest::FilledImage(400, 100, 0x204080);
    bar.SetImage(image, VxRect{0, 0, 0, 0});
    EXPECT_FALSE(bar.IsEmpty());
    EXPECT_EQ(bar.ImageRect(), QRect(0, 0, 200, 50));
    EXPECT_TRUE(bar.Outline().isNull()) << "zoom 1.0: no outline";
    EXPECT_EQ(bar.Miniature().pixel(100, 25) & 0xFFFFFF, 0x204080u);
    bool hatched = false;
    for (int x = 0; x < 200; ++x)
        hatched |= (bar.Miniature().pixel(x, 120) & 0xFFFFFF) == 0xC0C0C0u;
    EXPECT_TRUE(hatched);

    CVelvix empty;
    bar.SetImage(empty, VxRect{});
    EXPECT_TRUE(bar.IsEmpty());
}
