#pragma once

#include <cstddef>
#include <vector>

class ThumbnailItem;

// Full-size pictures of the cells within a memory budget: when a new one
// does not fit, the least recently painted ones are dropped (their cells
// keep the scaled picture; opening one decodes the file again).
class CFullPictureBudget {
public:
    explicit CFullPictureBudget(std::size_t bytes = DefaultBytes()) : m_nBudget(bytes) {}

    // 1 GB or a quarter of the machine's memory, whichever is less.
    static std::size_t DefaultBytes();

    std::size_t Budget() const { return m_nBudget; }
    void SetBudget(std::size_t bytes);
    // Whether a picture of `bytes` can be kept at all.
    bool Fits(std::size_t bytes) const { return bytes <= m_nBudget; }
    // The item now holds a full picture; drops others (or this one) until
    // the total is within the budget.
    void Admit(ThumbnailItem* item);
    // The item is going away or lost its full picture.
    void Forget(ThumbnailItem* item);
    void Clear() { m_Items.clear(); }
    std::size_t Used() const;

private:
    void Trim();

    std::size_t m_nBudget;
    std::vector<ThumbnailItem*> m_Items;
};
