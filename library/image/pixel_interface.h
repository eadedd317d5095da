#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "velvix_export.h"

// One picture point: blue in bits 0-7, green 8-15, red 16-23; bits 24-31 are 0
// in every pixel the library writes (a decoded alpha byte survives there).
using VxPixel = std::uint32_t;

// Rectangle in display coordinates (row 0 at the top), right and bottom exclusive.
struct VELVIX_EXPORT VxRect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const VxRect&) const = default;
};

// The description of a pixel buffer, as a bitmap header would give it.
struct VELVIX_EXPORT VxBitmapInfo {
    int bmType = 0;
    int bmWidth = 0;
    int bmHeight = 0;
    int bmWidthBytes = 0;
    unsigned short bmPlanes = 1;
    unsigned short bmBitsPixel = 32;
    void* bmBits = nullptr;
};

// Owner of a pixel buffer: a plain array, large ones backed by huge pages.
class VELVIX_EXPORT CVelvixBitmap {
public:
    CVelvixBitmap() = default;
    CVelvixBitmap(const CVelvixBitmap&) = delete;
    CVelvixBitmap& operator=(const CVelvixBitmap&) = delete;
    ~CVelvixBitmap() { Free(); }

    // Zero-filled buffer of `pixels` pixels; false (and empty) on failure.
    bool Allocate(std::size_t pixels);
    void Free();
    void Swap(CVelvixBitmap& other) noexcept
    {
        std::swap(m_pData, other.m_pData);
        std::swap(m_nPixels, other.m_nPixels);
        std::swap(m_nMappedBytes, other.m_nMappedBytes);
    }
    VxPixel* Data() const { return m_pData; }
    std::size_t Pixels() const { return m_nPixels; }
    explicit operator bool() const { return m_pData != nullptr; }

private:
    VxPixel* m_pData = nullptr;
    std::size_t m_nPixels = 0;
    std::size_t m_nMappedBytes = 0;  // non-zero when the buffer was mapped
};

// The pixel interface: every algorithm mix-in declares it and CVelvix
// implements it once. The mix-ins inherit it virtually, so one image object
// carries one interface however many mix-ins it has.
class VELVIX_EXPORT CVelvix_PixelInterface {
public:
    virtual ~CVelvix_PixelInterface() = default;

    virtual VxPixel*& GetImageData() = 0;
    virtual void DeleteObject() = 0;
    virtual VxBitmapInfo& GetBitmapInfo() = 0;
    virtual CVelvixBitmap& GetBitmap() = 0;
    virtual bool IsValidObject() = 0;
    virtual VxPixel& Bytes(int x, int y) = 0;
    virtual VxPixel& Bytes(int i) = 0;
    virtual bool ValidPoint(int x, int y) = 0;
    virtual bool ValidX(int x) = 0;
    virtual bool ValidY(int y) = 0;
    virtual unsigned char* Create24BitDWORDAlignedBuffer(int& size) = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual bool RawCreateImage(int height, int width) = 0;
    virtual VxPixel& PolarBytes(float radius, float angle) = 0;
    virtual void CartesianToPolar(int x, int y, float& radius, float& angle) = 0;
    virtual void PolarToCartesian(float radius, float angle, int& x, int& y) = 0;
    virtual void fPolarToCartesian(float radius, float angle, float& x, float& y) = 0;
    virtual int GetHalfWidth() = 0;
    virtual int GetHalfHeight() = 0;
    virtual float GetRadius(int x, int y) = 0;
    virtual float GetAngle(int x, int y) = 0;
    virtual float GetSafeRadius() = 0;
    virtual void GetHSL(int x, int y, float& h, float& s, float& l) = 0;
    virtual void GetHSL(int i, float& h, float& s, float& l) = 0;
    virtual void SetHSL(int x, int y, float h, float s, float l) = 0;
    virtual void SetHSL(int i, float h, float s, float l) = 0;
};

// Largest picture any operation creates: 2^28 pixels (a 1 GiB buffer), and
// no side longer than 65535. Readers refuse larger files before allocating.
#ifdef AMBREL_FUZZING
// Fuzzing runs under ASan with a memory limit: smaller pictures, more inputs.
constexpr long long kVxMaxPixels = 1LL << 22;
#else
constexpr long long kVxMaxPixels = 1LL << 28;
#endif
constexpr int kVxMaxSide = 65535;

// HSL lightness is (largest + smallest channel) times this, the nearest
// single-precision value to 1 / 510.
constexpr float kVxLightnessScale = 1.0f / 510.0f;

inline bool VxSizeAllowed(long long width, long long height)
{
    return width >= 1 && height >= 1 && width <= kVxMaxSide && height <= kVxMaxSide &&
           width * height <= kVxMaxPixels;
}
