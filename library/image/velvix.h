#pragma once

#include "effects/analysis.h"
#include "effects/encode_text.h"
#include "effects/fine_arts.h"
#include "effects/image_diff.h"
#include "effects/matrix_filter.h"
#include "effects/noise_reduction.h"
#include "effects/red_eye.h"
#include "effects/resample.h"
#include "effects/rotation.h"
#include "effects/simple_effects.h"
#include "effects/sobel_edge_detector.h"
#include "image/bitmap_reader.h"
#include "image/bitmap_writer.h"
#include "image/codec_support.h"
#include "image/pixel_interface.h"
#include "twain/twain.h"

class QImage;
class QPainter;
class QRegion;
class QWidget;

// The image object: one raster picture as W x H 32-bit pixels, rows bottom-up,
// and every algorithm of the library through its mix-ins. The members taking
// Qt types live in velvix_qt.cpp, so the core builds without Qt.
class VELVIX_EXPORT CVelvix : public CVelvix_CBitmapReader,
                              public CVelvix_SimpleEffects,
                              public CVelvix_SobelEdgeDetector,
                              public CVelvix_BitmapWriter,
                              public CVelvix_MatrixFilter,
                              public CVelvix_Analysis,
                              public CVelvix_JPEGAndOthersSupport,
                              public CVelvix_FineArts,
                              public CVelvix_NoiseReduction,
                              public CVelvix_EncodeText,
                              public CVelvix_Rotation,
                              public CVelvix_RedEye,
                              public CVelvix_Twain,
                              public CVelvix_Resample,
                              public CVelvix_ImageDiff {
public:
    CVelvix();
    CVelvix(const CVelvix& source);
    CVelvix& operator=(const CVelvix& source);
    ~CVelvix() override;
    // Exchanges the pictures of two images without copying pixels.
    void Swap(CVelvix& other) noexcept;

    void DeleteObject() override;
    bool IsValidObject() override { return m_pData != nullptr; }
    VxPixel& Bytes(int x, int y) override { return m_pData[y * m_Info.bmWidth + x]; }
    VxPixel& Bytes(int i) override { return m_pData[i]; }
    bool ValidPoint(int x, int y) override { return ValidX(x) && ValidY(y); }
    bool ValidX(int x) override { return x >= 0 && x < m_Info.bmWidth; }
    bool ValidY(int y) override { return y >= 0 && y < m_Info.bmHeight; }
    int GetWidth() override { return m_Info.bmWidth; }
    int GetHeight() override { return m_Info.bmHeight; }
    VxPixel& PolarBytes(float radius, float angle) override;
    void CartesianToPolar(int x, int y, float& radius, float& angle) override;
    void PolarToCartesian(float radius, float angle, int& x, int& y) override;
    void fPolarToCartesian(float radius, float angle, float& x, float& y) override;
    void GetHSL(int x, int y, float& h, float& s, float& l) override;
    void GetHSL(int i, float& h, float& s, float& l) override;
    void SetHSL(int x, int y, float h, float s, float l) override;
    void SetHSL(int i, float h, float s, float l) override;

    static void _GetHSL(VxPixel pixel, float& h, float& s, float& l);
    static VxPixel _SetHSL(float h, float s, float l);

    // Makes this image a 32-bit copy of a picture of any format.
    bool CreateImage(QPainter* dc, const QImage& bitmap);
    // Everything whose value is not exactly `color`; display rows when flip.
    QRegion CreateRegion(unsigned long color, bool flip);

    int ReadImage(QPainter* dc, const char* path);
    int ReadImage(const char* path) { return ReadImage(nullptr, path); }
    int SaveImage(const char* path);

    // Engines other than the raster one (printing) get an opaque copy; without
    // memory for it, std::bad_alloc.
    void Draw(QPainter* dc);
    VxRect Draw(QPainter* dc, int width, int height, bool keepAspect);
    bool Resize(QPainter* dc, int width, int height, bool keepAspect);
    bool CopyFromRect(CVelvix& source, const VxRect* sourceRect, VxRect* targetRect, bool flip);
    bool Crop(const VxRect& rect);
    bool Copy(QWidget* window);
    bool Paste(QWidget* window, QPainter* dc);
    bool CanPaste(QWidget* window);

    // The size drawn into a box of width x height (the fitting rule of Draw).
    static void FitIntoBox(int imageWidth, int imageHeight, int width, int height,
                           bool keepAspect, int& drawnWidth, int& drawnHeight);

private:
    VxPixel*& GetImageData() override { return m_pData; }
    VxBitmapInfo& GetBitmapInfo() override { return m_Info; }
    CVelvixBitmap& GetBitmap() override { return m_Bitmap; }
    unsigned char* Create24BitDWORDAlignedBuffer(int& size) override;
    bool RawCreateImage(int height, int width) override;
    int GetHalfWidth() override { return int(m_Info.bmWidth * 0.5); }
    int GetHalfHeight() override { return int(m_Info.bmHeight * 0.5); }
    float GetRadius(int x, int y) override;
    float GetAngle(int x, int y) override;
    float GetSafeRadius() override;

    CVelvixBitmap m_Bitmap;
    VxBitmapInfo m_Info;
    VxPixel* m_pData = nullptr;
};
