#pragma once

#include "view_part.h"

class CPrintFile;
class QPaintDevice;

// Print and Print Preview: the picture at its size on the screen.
class CViewPrinting : public CViewPart {
public:
    explicit CViewPrinting(CAmbrelView& view);

    // One printed page, converted to the device's resolution.
    void PrintPage(QPaintDevice* device);

private:
    enum class Painted { Printed, NotStarted, OutOfMemory };
    Painted _Paint(QPaintDevice* device, CPrintFile* output);
    void _Print(bool preview);
};
