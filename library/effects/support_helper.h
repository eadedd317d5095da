#pragma once

#include <cstdint>
#include <vector>

#include "image/pixel_interface.h"

// Block sums of a pixel buffer: a summed-area table per channel, so that the
// sum over any rectangle costs four reads. Entries are kept modulo 2^32; a
// rectangle's sum is exact while it is below 2^32 (every rectangle of fewer
// than 16843009 pixels), and Sum() says when it is not.
class VELVIX_EXPORT CVelvixBlockSums {
public:
    // Channels 1: the low byte of each value; 3: red, green and blue.
    bool Build(const VxPixel* pixels, int width, int height, int channels);
    bool Build(const std::uint8_t* values, int width, int height);
    void Clear();
    bool IsBuilt() const { return !m_Table.empty(); }

    // Sums over columns [x0, x1) and rows [y0, y1), already clipped to the
    // buffer; false when the rectangle is too large for exact sums.
    bool Sum(int x0, int y0, int x1, int y1, std::uint32_t* sums) const
    {
        if ((long long)(x1 - x0) * (y1 - y0) >= kExactArea)
            return false;
        const std::size_t stride = std::size_t(m_nWidth + 1) * m_nChannels;
        const std::uint32_t* top = &m_Table[std::size_t(y1) * stride];
        const std::uint32_t* bottom = &m_Table[std::size_t(y0) * stride];
        for (int c = 0; c < m_nChannels; ++c)
            sums[c] = top[std::size_t(x1) * m_nChannels + c] - top[std::size_t(x0) * m_nChannels + c] -
                      bottom[std::size_t(x1) * m_nChannels + c] + bottom[std::size_t(x0) * m_nChannels + c];
        return true;
    }

    static constexpr long long kExactArea = 16843009;  // 255 * area < 2^32

private:
    template <typename Value>
    bool BuildFrom(const Value* values, int width, int height, int channels);

    std::vector<std::uint32_t> m_Table;  // (height + 1) x (width + 1) x channels
    int m_nWidth = 0, m_nChannels = 0;
};

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
    // The first call after COPY_DATA builds block sums of the saved copy, so
    // the saved copy must not change while averages are taken from it.
    VxPixel GetAverage(int x, int y, int n);
    // Average of the current pixels over the w x h rectangle starting at (x, y).
    VxPixel GetAverage(int x, int y, int w, int h);
    // Builds the block sums of the saved copy ahead of GetAverage(x, y, n)
    // calls made from several threads.
    void PrepareAverages();

    VxPixel* m_pOldData = nullptr;

private:
    CVelvixBitmap m_OldBitmap;
    CVelvixBlockSums m_OldSums;
    bool m_bOldSumsTried = false;
};

// The channel averages trunc(sum / count) of a block, packed as a pixel.
inline VxPixel VxAveragePixel(double r, double g, double b, double count)
{
    return VxPixel(int(r / count)) << 16 | VxPixel(int(g / count)) << 8 | VxPixel(int(b / count));
}
