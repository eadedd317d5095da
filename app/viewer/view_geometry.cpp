#include "viewer/view_geometry.h"

#include <algorithm>
#include <cstdio>

namespace viewgeom {

namespace {

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

} // namespace

VxRect Normalize(const VxRect& rect)
{
    return VxRect{std::min(rect.left, rect.right), std::min(rect.top, rect.bottom), std::max(rect.left, rect.right),
                  std::max(rect.top, rect.bottom)};
}

VxRect RubberBand(int startX, int startY, int x, int y)
{
    return Normalize(VxRect{startX, startY, x, y});
}

VxRect SquareUsingLongerAxes(const VxRect& rect)
{
    const int side = std::max(rect.Width(), rect.Height());
    return VxRect{rect.left, rect.top, rect.left + side, rect.top + side};
}

VxRect SquareUsingShorterAxes(const VxRect& rect)
{
    const int side = std::min(rect.Width(), rect.Height());
    return VxRect{rect.left, rect.top, rect.left + side, rect.top + side};
}

int ViewToImage(int value, double zoom)
{
    return int(value / zoom);
}

VxRect ViewToImage(const VxRect& rect, double zoom)
{
    return VxRect{ViewToImage(rect.left, zoom), ViewToImage(rect.top, zoom), ViewToImage(rect.right, zoom),
                  ViewToImage(rect.bottom, zoom)};
}

VxRect ImageToView(const VxRect& rect, double zoom)
{
    return VxRect{int(rect.left * zoom), int(rect.top * zoom), int(rect.right * zoom), int(rect.bottom * zoom)};
}

VxRect ClipToImage(const VxRect& rect, int width, int height)
{
    VxRect clipped{std::clamp(rect.left, 0, width), std::clamp(rect.top, 0, height), std::clamp(rect.right, 0, width),
                   std::clamp(rect.bottom, 0, height)};
    return clipped;
}

ZoomStep ZoomToSelection(double zoom, int clientWidth, int clientHeight, const VxRect& selection)
{
    ZoomStep step;
    step.zoom = zoom;
    const VxRect rect = Normalize(selection);
    if (rect.Width() <= 0 || rect.Height() <= 0)
        return step;
    const double ratio = rect.Height() > rect.Width() ? double(clientHeight) / rect.Height()
                                                      : double(clientWidth) / rect.Width();
    step.zoom = zoom * ratio;
    if (step.zoom > kMaxZoom)
        step.zoom = kMaxZoom;
    const double applied = step.zoom / zoom;
    step.scrollX = int(rect.left * applied);
    step.scrollY = int(rect.top * applied);
    return step;
}

VxRect VisiblePart(double zoom, int scrollX, int scrollY, int clientWidth, int clientHeight, int imageWidth,
                   int imageHeight)
{
    if (zoom == 1.0 || imageWidth <= 0 || imageHeight <= 0)
        return VxRect{};
    const double x = scrollX / zoom, y = scrollY / zoom;
    const double w = clientWidth / zoom, h = clientHeight / zoom;
    return VxRect{int(x / imageWidth * 1000), int(y / imageHeight * 1000), int((x + w) / imageWidth * 1000),
                  int((y + h) / imageHeight * 1000)};
}

bool SlideshowFit(int imageWidth, int imageHeight, int clientWidth, int clientHeight, bool noEnlarge,
                  int& width, int& height)
{
    width = imageWidth;
    height = imageHeight;
    if (imageWidth <= 0 || imageHeight <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return false;
    if (imageWidth == clientWidth && imageHeight == clientHeight)
        return false;
    if (noEnlarge && imageWidth < clientWidth && imageHeight < clientHeight)
        return false;
    const double ratio = std::min(double(clientWidth) / imageWidth, double(clientHeight) / imageHeight);
    width = std::max(1, int(imageWidth * ratio));
    height = std::max(1, int(imageHeight * ratio));
    return true;
}

std::string ZoomText(double zoom)
{
    return Format("%i%%", int(zoom * 100));
}

std::string CursorText(int x, int y)
{
    return Format("%3i.%3i", x, y);
}

std::string SelectionText(const VxRect& image)
{
    return Format("%li.%li | %li.%li", long(image.left), long(image.top), long(image.Width()), long(image.Height()));
}

std::string TimingText(long elapsed)
{
    if (elapsed > 1000)
        return Format("%02i:%i ms", int(elapsed / 1000), int(elapsed % 1000));
    return Format("%02i:%i ms", 0, int(elapsed));
}

std::string UndoMenuText(int count)
{
    return Format("&Undo x%i\tCtrl+Z", count);
}

std::string RedoMenuText(int count)
{
    return Format("&Redo x%i\tCtrl+Y", count);
}

} // namespace viewgeom
