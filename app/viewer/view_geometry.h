#pragma once

#include <string>

#include "image/pixel_interface.h"

// The arithmetic of the image view: zoom, selection, visible part and the
// texts of its status panes and menus, apart from any window.
namespace viewgeom {

constexpr double kMaxZoom = 35.0;

// Left <= right, top <= bottom.
VxRect Normalize(const VxRect& rect);
// The rectangle from the drag start to the cursor, normalised.
VxRect RubberBand(int startX, int startY, int x, int y);
// Grows the shorter side to the longer one, keeping top and left.
VxRect SquareUsingLongerAxes(const VxRect& rect);
// Shrinks the longer side to the shorter one, keeping top and left.
VxRect SquareUsingShorterAxes(const VxRect& rect);
// View coordinates at `zoom` to image coordinates (truncated toward zero).
VxRect ViewToImage(const VxRect& rect, double zoom);
int ViewToImage(int value, double zoom);
VxRect ImageToView(const VxRect& rect, double zoom);
// Clips to 0..width, 0..height.
VxRect ClipToImage(const VxRect& rect, int width, int height);

// The factor after zooming to `selection` (view coordinates) in a client
// area of the given size, and the scroll position that puts the selection's
// top-left corner at the top-left.
struct ZoomStep {
    double zoom = 1.0;
    int scrollX = 0, scrollY = 0;
};
ZoomStep ZoomToSelection(double zoom, int clientWidth, int clientHeight, const VxRect& selection);

// The visible part in thousandths of the image's width and height; all 0 at
// a factor of exactly 1.0.
VxRect VisiblePart(double zoom, int scrollX, int scrollY, int clientWidth, int clientHeight, int imageWidth,
                   int imageHeight);

// The size an image takes in the slideshow window; false when it stays as it is.
bool SlideshowFit(int imageWidth, int imageHeight, int clientWidth, int clientHeight, bool noEnlarge,
                  int& width, int& height);

std::string ZoomText(double zoom);                 // "%i%%"
std::string CursorText(int x, int y);              // "%3i.%3i"
std::string SelectionText(const VxRect& image);    // "%li.%li | %li.%li"
std::string TimingText(long elapsedMilliseconds);  // "%02i:%i ms"
std::string UndoMenuText(int count);               // "&Undo x%i\tCtrl+Z"
std::string RedoMenuText(int count);               // "&Redo x%i\tCtrl+Y"

} // namespace viewgeom
