#pragma once

#include <QImage>

#include "velvix_export.h"

class CVelvix;

// Bitmap resource `id` (":/bitmaps/<id>.bmp") into an image object; the
// library's bitmap reader first, Qt's as the fallback. false when missing.
VELVIX_EXPORT bool VxLoadResourceBitmap(unsigned id, CVelvix& image);
// The same bitmap as a top-down QImage (null when missing).
VELVIX_EXPORT QImage VxResourceImage(unsigned id);
