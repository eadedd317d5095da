#pragma once

#include "image/pixel_interface.h"

// Base of the filters that read unchanged pixels while they overwrite the
// image: keeps a saved copy of the buffer for the duration of one operation.
class VELVIX_EXPORT CVelvix_SupportHelper : public virtual CVelvix_PixelInterface {
public:
    CVelvix_SupportHelper() = default;
    CVelvix_SupportHelper(const CVelvix_SupportHelper&) : m_pOldData(nullptr) {}
    CVelvix_SupportHelper& operator=(const CVelvix_SupportHelper&) { return *this; }
    ~CVelvix_SupportHelper() override { DELETE_DATA(); }

    virtual VxPixel& OldBytes(int x, int y) { return m_pOldData[y * GetWidth() + x]; }

protected:
    bool COPY_DATA();
    void DELETE_DATA();
    // Average of the saved copy over the square of side 2n + 1 around (x, y).
    VxPixel GetAverage(int x, int y, int n);
    // Average of the current pixels over the w x h rectangle starting at (x, y).
    VxPixel GetAverage(int x, int y, int w, int h);

    VxPixel* m_pOldData = nullptr;
};
