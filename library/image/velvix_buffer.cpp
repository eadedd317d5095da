#include "image/velvix_buffer.h"

#include <algorithm>
#include <stdexcept>

CVelvixBuffer::CVelvixBuffer(unsigned int size) : m_Images(int(size))
{
    if (size < 2)
        throw std::invalid_argument("CVelvixBuffer: at least two slots are needed");
    m_nBoundary = int(size) - 1;
}

int CVelvixBuffer::GetUndoCount() const
{
    const int distance = Wrap(m_nBoundary - m_nCurrent);
    return Size() - 1 - distance;
}

bool CVelvixBuffer::Undo()
{
    if (GetUndoCount() <= 0)
        return false;
    m_nCurrent = Wrap(m_nCurrent - 1);
    return true;
}

bool CVelvixBuffer::HasRedo() const
{
    if (GetUndoCount() >= Size() - 1)
        return false;
    return m_Images[(m_nCurrent + 1) % Size()].IsValidObject();
}

bool CVelvixBuffer::Redo()
{
    if (!HasRedo())
        return false;
    m_nCurrent = (m_nCurrent + 1) % Size();
    return true;
}

int CVelvixBuffer::GetRedoCount() const
{
    int empty = 0;
    for (int i = 0; i < Size(); ++i)
        empty += m_Images[i].IsValidObject() ? 0 : 1;
    // An empty ring (nothing loaded) would count -1.
    return std::max(0, Wrap(m_nBoundary - m_nCurrent) - empty);
}

bool CVelvixBuffer::MakeCopy()
{
    if (!m_Images[m_nCurrent].IsValidObject())
        return false;
    // Copied before anything is dropped: a copy that cannot be had leaves
    // the ring as it was, its redo states included.
    CVelvix copy = m_Images[m_nCurrent];
    if (!copy.IsValidObject())
        return false;
    Push(copy);
    return true;
}

void CVelvixBuffer::Push(CVelvix& edited)
{
    if (m_Images[m_nCurrent].IsValidObject())
        Advance();
    m_Images[m_nCurrent].Swap(edited);
    edited.DeleteObject();
}

void CVelvixBuffer::Advance()
{
    // A new edit discards the states that were undone: they can no longer be
    // redone, and their slots are free again.
    for (int i = (m_nCurrent + 1) % Size(); i != (m_nBoundary + 1) % Size(); i = (i + 1) % Size())
        m_Images[i].DeleteObject();
    // With free slots ahead the history grows; with none (the ring is full)
    // it slides and drops its oldest state. Measuring the free slots modulo
    // the ring keeps this right after an undo across the wrap point too.
    const bool full = m_nCurrent == m_nBoundary;
    m_nCurrent = (m_nCurrent + 1) % Size();
    if (full)
        m_nBoundary = m_nCurrent;
}

void CVelvixBuffer::Reset()
{
    m_nCurrent = 0;
    m_nBoundary = Size() - 1;
    for (int i = 0; i < Size(); ++i)
        m_Images[i].DeleteObject();
}
