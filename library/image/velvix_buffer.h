#pragma once

#include "image/smart_ptr.h"
#include "image/velvix.h"

// The undo/redo ring of image copies. The image shown is the one in the
// current slot; MakeCopy duplicates it into the next slot before an edit.
class VELVIX_EXPORT CVelvixBuffer {
public:
    explicit CVelvixBuffer(unsigned int size);
    CVelvixBuffer(const CVelvixBuffer& other) = default;
    CVelvixBuffer& operator=(const CVelvixBuffer& other) = default;

    CVelvix* operator->() { return &m_Images[m_nCurrent]; }
    CVelvix& operator*() { return m_Images[m_nCurrent]; }

    // False, and the ring unchanged, when there is no picture or no memory
    // for its copy.
    bool MakeCopy();
    // Makes an edited picture the current one, taken over without a copy;
    // the picture before becomes its undo step (none in an empty ring).
    // `edited` is left empty.
    void Push(CVelvix& edited);
    bool Undo();
    bool Redo();
    bool HasUndo() const { return GetUndoCount() > 0; }
    bool HasRedo() const;
    int GetUndoCount() const;
    int GetRedoCount() const;
    void Reset();
    int Size() const { return int(m_Images.GetArraySize()); }

private:
    void Advance();
    int GetNormalizedCurrentImageIndex() const { return GetUndoCount(); }
    int Wrap(int v) const { return v < 0 ? v + Size() : v; }

    CSmartPtrToNonClass<CVelvix> m_Images;
    int m_nCurrent = 0;
    int m_nBoundary = 0;
};
