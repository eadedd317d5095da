#include "effects/sobel_edge_detector.h"

#include "effects/kernels.h"
#include "effects/row_filter.h"

const int CVelvix_SobelEdgeDetector::m_pMatricesX[3][9] = {
    {-1, 0, 1, -2, 0, 2, -1, 0, 1},
    {1, 0, -1, 1, 0, -1, 1, 0, -1},
    {5, -3, -3, 5, -3, -3, 5, -3, -3},
};
const int CVelvix_SobelEdgeDetector::m_pMatricesY[3][9] = {
    {-1, -2, -1, 0, 0, 0, 1, 2, 1},
    {1, 1, 1, 0, 0, 0, -1, -1, -1},
    {5, 5, 5, -3, -3, -3, -3, -3, -3},
};

CVelvix_SobelEdgeDetector::~CVelvix_SobelEdgeDetector()
{
    delete[] m_pSourceData;
}

void CVelvix_SobelEdgeDetector::_DetectEdges(int method)
{
    if (!IsValidObject() || method < 0 || method > 2)
        return;
    const VxKernelTable& kernels = VxKernels();
    const int width = GetWidth(), threshold = m_nThreshold;
    VxFilterRows<1>(GetImageData(), width, GetHeight(), m_pSourceData,
                    [&](const VxPixel* const* rows, VxPixel* out) {
                        kernels.edges(method, threshold != 0, threshold, rows[0], rows[1], rows[2], out, width);
                    });
}
