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
    // Ends a print that found no memory to end, so that its printer can
    // print again; false while there is still too little.
    static bool FinishUnended();
    // The same before anything else touches the printer (a dialog on a
    // printer still painted would change it under the engine); false, and
    // the want of memory told, while it cannot.
    static bool FinishUnendedOrTell();

private:
    enum class Painted { Printed, NotStarted, OutOfMemory, Unended };
    Painted _Paint(QPaintDevice* device, CPrintFile* output);
    void _Print(bool preview);
};
