#include "browser/thumbnails/full_picture_budget.h"

#include <unistd.h>

#include <algorithm>

#include "browser/thumbnails/thumbnail_item.h"

std::size_t CFullPictureBudget::DefaultBytes()
{
    const std::size_t gigabyte = std::size_t(1) << 30;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return gigabyte;
    return std::min(gigabyte, std::size_t(pages) * std::size_t(pageSize) / 4);
}

void CFullPictureBudget::SetBudget(std::size_t bytes)
{
    m_nBudget = bytes;
    Trim();
}

void CFullPictureBudget::Admit(ThumbnailItem* item)
{
    if (std::find(m_Items.begin(), m_Items.end(), item) == m_Items.end())
        m_Items.push_back(item);
    Trim();
}

void CFullPictureBudget::Forget(ThumbnailItem* item)
{
    m_Items.erase(std::remove(m_Items.begin(), m_Items.end(), item), m_Items.end());
}

std::size_t CFullPictureBudget::Used() const
{
    std::size_t used = 0;
    for (ThumbnailItem* item : m_Items)
        used += item->FullBytes();
    return used;
}

void CFullPictureBudget::Trim()
{
    std::size_t used = Used();
    while (used > m_nBudget && !m_Items.empty()) {
        // Least recently painted first; among equals the one kept longest.
        auto oldest = std::min_element(m_Items.begin(), m_Items.end(), [](ThumbnailItem* a, ThumbnailItem* b) {
            return a->m_nLastPaint < b->m_nLastPaint;
        });
        used -= (*oldest)->FullBytes();
        (*oldest)->DeleteObject();
        m_Items.erase(oldest);
    }
}
