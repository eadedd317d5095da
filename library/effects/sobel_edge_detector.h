#pragma once

#include "image/pixel_interface.h"

// Sobel, Prewitt and Kirsh edge images. With the threshold at 0 the interior
// becomes grey: the mean of the three channels' gradient magnitudes; with any
// other threshold it becomes black where a channel's magnitude exceeds the
// threshold and white elsewhere. The one-pixel border keeps its pixels.
class VELVIX_EXPORT CVelvix_SobelEdgeDetector : public virtual CVelvix_PixelInterface {
public:
    CVelvix_SobelEdgeDetector() = default;
    CVelvix_SobelEdgeDetector(const CVelvix_SobelEdgeDetector& other) : m_nThreshold(other.m_nThreshold) {}
    CVelvix_SobelEdgeDetector& operator=(const CVelvix_SobelEdgeDetector& other)
    {
        m_nThreshold = other.m_nThreshold;
        return *this;
    }
    ~CVelvix_SobelEdgeDetector() override;

    void DetectEdges_Sobel() { _DetectEdges(0); }
    void DetectEdges_Prewitt() { _DetectEdges(1); }
    void DetectEdges_Kirsh() { _DetectEdges(2); }
    void SetDetectEdges_SobelThreshold(int threshold) { m_nThreshold = threshold; }

    // Gradient kernels by method (0 Sobel, 1 Prewitt, 2 Kirsh), row by row,
    // row 0 applying to the row below the pixel in the buffer.
    static const int m_pMatricesX[3][9];
    static const int m_pMatricesY[3][9];

private:
    void _DetectEdges(int method);

    int m_nThreshold = 0;
    // Working copies of the source rows, present only during one detection.
    VxPixel* m_pSourceData = nullptr;
};
