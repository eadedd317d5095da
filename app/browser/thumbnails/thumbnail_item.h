#pragma once

#include <QImage>

#include <atomic>
#include <string>

#include "image/velvix.h"

// One cell of the thumbnail view. The base is the decoded picture at full
// size, kept only within the memory budget; m_imgScaled is the picture
// fitted to the cell, which every decoded cell keeps.
//
// A loader owns the pictures while its load is queued or running; the user
// interface thread reads and changes them only after the load reported.
class ThumbnailItem : public CVelvix {
public:
    enum class LoadState { None, Started, Done };

    ThumbnailItem(int index, const std::string& path);

    void SetPath(const std::string& path);
    bool HasScaled() { return m_imgScaled.IsValidObject(); }
    // Drops both pictures; the cell then shows the hatch only.
    void DiscardPictures();
    // The scaled picture for drawing (top row first).
    const QImage& Drawable() const { return m_Drawable; }
    void UpdateDrawable();
    std::size_t FullBytes() { return IsValidObject() ? std::size_t(GetWidth()) * std::size_t(GetHeight()) * 4 : 0; }

    CVelvix m_imgScaled;
    std::string m_strPath;
    std::string m_strName;
    // Written by the loader when the file cannot be decoded.
    std::atomic<bool> m_bLoadable{true};
    // The file was moved or deleted through the view. A file that only
    // failed to decode is still there for the file commands.
    bool m_bFileGone = false;
    int m_nIndex;
    LoadState m_nLoadState = LoadState::None;
    // The box m_imgScaled was fitted into, and the picture's size at full
    // scale (known even when the file was decoded at a reduced scale).
    int m_nScaledBox = 0;
    int m_nFullWidth = 0;
    int m_nFullHeight = 0;
    // The file left the view while its load ran: the pictures are dropped
    // when the load reports.
    bool m_bDiscardOnLoad = false;
    // Last paint, for the memory budget (most recently painted kept).
    unsigned long long m_nLastPaint = 0;

private:
    QImage m_Drawable;
};

namespace thumbs {

// Fits a picture of fullWidth x fullHeight into a box of side `box` with
// the picture rule of the image object, never below one pixel.
void FittedSize(int fullWidth, int fullHeight, int box, int& width, int& height);

// Scales `picture` (the file decoded at full or reduced scale) to the size
// the full picture gets in the box: nearest pixel (the image object's
// Resize) or bilinear resampling.
bool ScaleToCell(CVelvix& picture, int fullWidth, int fullHeight, int box, bool bilinear);

// The side of the picture area of a cell whose icon is size x size: four
// pixels of frame and two of edges on each side.
inline int PictureBox(int size)
{
    return size > 12 ? size - 12 : 1;
}

} // namespace thumbs
