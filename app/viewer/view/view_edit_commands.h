#pragma once

#include "view_part.h"

// Undo and redo, the clipboard (Copy, Paste into the picture or the
// selection) and Crop.
class CViewEditCommands : public CViewPart {
public:
    explicit CViewEditCommands(CAmbrelView& view);

    static const char* const kCopyFailed;
    static const char* const kPasteFailed;
    static const char* const kCropFailed;

private:
    void _Undo();
    void _Redo();
    void _Copy();
    void _Paste();
    void _Crop();
};
