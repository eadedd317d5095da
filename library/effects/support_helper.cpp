#include "effects/support_helper.h"

#include <cstring>
#include <new>

bool CVelvix_SupportHelper::COPY_DATA()
{
    DELETE_DATA();
    const std::size_t pixels = std::size_t(GetWidth()) * std::size_t(GetHeight());
    m_pOldData = new (std::nothrow) VxPixel[pixels];
    if (!m_pOldData)
        return false;
    std::memcpy(m_pOldData, GetImageData(), pixels * sizeof(VxPixel));
    return true;
}

void CVelvix_SupportHelper::DELETE_DATA()
{
    delete[] m_pOldData;
    m_pOldData = nullptr;
}
