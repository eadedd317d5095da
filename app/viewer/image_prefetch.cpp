#include "viewer/image_prefetch.h"

#include <pthread.h>
#include <new>

bool CImagePrefetch::Start(int index, const std::string& path, Reader reader)
{
    Join();
    m_nIndex = index;
    m_strPath = path;
    m_bSucceeded = false;
    try {
        m_Thread = std::thread([this, reader = std::move(reader)] {
            // A work buffer that cannot be had (the slideshow fit) fails
            // the prefetch: the exception would end the program.
            try {
                m_bSucceeded = reader(m_Image, m_strPath, m_nIndex);
            } catch (const std::bad_alloc&) {
                m_bSucceeded = false;
            }
            if (!m_bSucceeded)
                m_Image.DeleteObject();
        });
    } catch (const std::system_error&) {
        m_nIndex = -1;
        return false;
    }
    return true;
}

void CImagePrefetch::Join()
{
    if (m_Thread.joinable())
        m_Thread.join();
}

bool CImagePrefetch::TakeIfReady(int index, const std::string& path, CVelvix& target)
{
    Join();
    if (m_nIndex < 0 || index != m_nIndex || path != m_strPath || !m_bSucceeded || !m_Image.IsValidObject())
        return false;
    target.Swap(m_Image);
    m_Image.DeleteObject();
    m_nIndex = -1;
    return true;
}

void CImagePrefetch::Forget()
{
    Join();
    m_Image.DeleteObject();
    m_nIndex = -1;
    m_strPath.clear();
    m_bSucceeded = false;
}
