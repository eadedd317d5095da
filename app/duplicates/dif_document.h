#pragma once

#include "support/sdocument.h"

// The duplicate finder's document: it holds nothing; the form keeps the
// folder list and the results.
class CDIFDocument : public CSDocument {
    Q_OBJECT
public:
    bool OnNewDocument() override;
};

// The frame of the duplicate finder: no behaviour of its own.
#include "support/mdi_frames.h"

class CDIFFrame : public CSMDIChildWnd {
    Q_OBJECT
};
