#include "browser/thumbnails/thumbnail_item.h"

#include <algorithm>

#include "browser/thumbnails/grouping.h"

ThumbnailItem::ThumbnailItem(int index, const std::string& path) : m_nIndex(index)
{
    SetPath(path);
}

void ThumbnailItem::SetPath(const std::string& path)
{
    m_strPath = path;
    m_strName = grouping::BaseName(path);
}

void ThumbnailItem::DiscardPictures()
{
    DeleteObject();
    m_imgScaled.DeleteObject();
    m_Drawable = QImage();
    m_nScaledBox = 0;
}

void ThumbnailItem::UpdateDrawable()
{
    if (!m_imgScaled.IsValidObject()) {
        m_Drawable = QImage();
        return;
    }
    const int w = m_imgScaled.GetWidth(), h = m_imgScaled.GetHeight();
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) { // no memory for it: nothing to draw
        m_Drawable = QImage();
        return;
    }
    for (int y = 0; y < h; ++y)
        std::copy_n(&m_imgScaled.Bytes(0, h - 1 - y), w, reinterpret_cast<VxPixel*>(image.scanLine(y)));
    m_Drawable = std::move(image);
}

namespace thumbs {

void FittedSize(int fullWidth, int fullHeight, int box, int& width, int& height)
{
    CVelvix::FitIntoBox(fullWidth, fullHeight, box, box, true, width, height);
    width = std::max(width, 1);
    height = std::max(height, 1);
}

bool ScaleToCell(CVelvix& picture, int fullWidth, int fullHeight, int box, bool bilinear)
{
    if (!picture.IsValidObject() || box < 1 || fullWidth < 1 || fullHeight < 1)
        return false;
    int width, height;
    FittedSize(fullWidth, fullHeight, box, width, height);
    if (picture.GetWidth() == width && picture.GetHeight() == height)
        return true;
    if (bilinear) {
        picture.Resample_Bilinear(height, width, false);
        return picture.GetWidth() == width && picture.GetHeight() == height;
    }
    return picture.Resize(nullptr, width, height, false);
}

} // namespace thumbs
