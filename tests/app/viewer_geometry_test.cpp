// The image view's arithmetic: zoom limits, selections, visible part, the
// slideshow fit and the texts of panes and menus.
#include <gtest/gtest.h>

#include "viewer/view_geometry.h"

using namespace viewgeom;

TEST(ViewerGeometry, ZoomingInRepeatedlyStopsAt3500Percent)
{
    double zoom = 1.0;
    for (int i = 0; i < 10; ++i)
        zoom = ZoomToSelection(zoom, 800, 600, VxRect{0, 0, 100, 50}).zoom;
    EXPECT_EQ(zoom, 35.0);
    EXPECT_EQ(ZoomText(zoom), "3500%");
    // Wide selection: by the widths; tall: by the heights.
    EXPECT_DOUBLE_EQ(ZoomToSelection(1.0, 800, 600, VxRect{10, 20, 210, 120}).zoom, 4.0);
    EXPECT_DOUBLE_EQ(ZoomToSelection(2.0, 800, 600, VxRect{10, 20, 60, 320}).zoom, 4.0);
    // The selection's corner goes to the top-left.
    const ZoomStep step = ZoomToSelection(1.0, 800, 600, VxRect{210, 120, 10, 20});
    EXPECT_EQ(step.scrollX, 40);
    EXPECT_EQ(step.scrollY, 80);
    // An empty selection changes nothing.
    EXPECT_EQ(ZoomToSelection(3.0, 800, 600, VxRect{5, 5, 5, 9}).zoom, 3.0);
}

TEST(ViewerGeometry, RubberBandNormalisesAndSquaringKeepsTheTopLeftCorner)
{
    EXPECT_EQ(RubberBand(50, 40, 10, 90), (VxRect{10, 40, 50, 90}));
    const VxRect wide{10, 20, 110, 60};
    EXPECT_EQ(SquareUsingLongerAxes(wide), (VxRect{10, 20, 110, 120}));
    EXPECT_EQ(SquareUsingShorterAxes(wide), (VxRect{10, 20, 50, 60}));
    const VxRect tall{0, 0, 30, 70};
    EXPECT_EQ(SquareUsingLongerAxes(tall), (VxRect{0, 0, 70, 70}));
    EXPECT_EQ(SquareUsingShorterAxes(tall), (VxRect{0, 0, 30, 30}));
}

TEST(ViewerGeometry, ViewAndImageCoordinatesTruncateAndClip)
{
    EXPECT_EQ(ViewToImage(VxRect{7, 9, 21, 35}, 2.0), (VxRect{3, 4, 10, 17}));
    EXPECT_EQ(ViewToImage(VxRect{10, 10, 20, 20}, 0.3), (VxRect{33, 33, 66, 66}));
    EXPECT_EQ(ImageToView(VxRect{3, 4, 10, 17}, 2.5), (VxRect{7, 10, 25, 42}));
    EXPECT_EQ(ClipToImage(VxRect{-5, 10, 400, 90}, 320, 80), (VxRect{0, 10, 320, 80}));
}

TEST(ViewerGeometry, VisiblePartInThousandths)
{
    EXPECT_EQ(VisiblePart(1.0, 100, 100, 400, 300, 1000, 1000), VxRect{});
    // At 2x a 400 x 300 client shows 200 x 150 image pixels.
    EXPECT_EQ(VisiblePart(2.0, 200, 100, 400, 300, 1000, 500), (VxRect{100, 100, 300, 400}));
    EXPECT_EQ(VisiblePart(3.0, 1, 1, 10, 10, 7, 7), (VxRect{47, 47, 523, 523}));
}

TEST(ViewerGeometry, SlideshowFitsInsideKeepingProportions)
{
    int w = 0, h = 0;
    EXPECT_TRUE(SlideshowFit(6000, 4000, 1920, 1080, true, w, h));
    EXPECT_EQ(w, 1620);
    EXPECT_EQ(h, 1080);
    EXPECT_FALSE(SlideshowFit(1920, 1080, 1920, 1080, true, w, h));
    // Smaller in both directions: left alone when enlarging is off.
    EXPECT_FALSE(SlideshowFit(640, 480, 1920, 1080, true, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_TRUE(SlideshowFit(640, 480, 1920, 1080, false, w, h));
    EXPECT_EQ(w, 1440);
    EXPECT_EQ(h, 1080);
    // Smaller in one direction only: still fitted.
    EXPECT_TRUE(SlideshowFit(2000, 500, 1920, 1080, true, w, h));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 480);
}

TEST(ViewerGeometry, PaneAndMenuTexts)
{
    EXPECT_EQ(TimingText(0), "00:0 ms");
    EXPECT_EQ(TimingText(999), "00:999 ms");
    EXPECT_EQ(TimingText(1000), "00:1000 ms");
    EXPECT_EQ(TimingText(1001), "01:1 ms");
    EXPECT_EQ(TimingText(12345), "12:345 ms");
    EXPECT_EQ(ZoomText(1.0), "100%");
    EXPECT_EQ(ZoomText(0.999), "99%");
    EXPECT_EQ(CursorText(5, 1234), "  5.1234");
    EXPECT_EQ(SelectionText(VxRect{10, 20, 110, 70}), "10.20 | 100.50");
    EXPECT_EQ(UndoMenuText(3), "&Undo x3\tCtrl+Z");
    EXPECT_EQ(RedoMenuText(0), "&Redo x0\tCtrl+Y");
}
