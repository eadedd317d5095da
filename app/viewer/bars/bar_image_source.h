#pragma once

#include "image/pixel_interface.h"

class CVelvix;

// What the bars read from the document of the image window they follow.
class CBarImageSource {
public:
    virtual ~CBarImageSource() = default;
    // The current picture; null when there is none.
    virtual CVelvix* BarImage() = 0;
    // The visible part in thousandths of the picture; all 0 when it all shows.
    virtual VxRect BarVisiblePart() const = 0;
};
