#pragma once

#include "support/command_target.h"

class CAmbrelDoc;
class CAmbrelView;

// One concern of the image view: its commands and the state only it keeps.
// The view owns the parts and consults them before its own handlers; a part
// reaches the others through the view.
class CViewPart : public CSCmdTarget {
public:
    explicit CViewPart(CAmbrelView& view) : m_View(view) {}
    CViewPart(const CViewPart&) = delete;
    CViewPart& operator=(const CViewPart&) = delete;

protected:
    CAmbrelDoc* Doc() const;

    CAmbrelView& m_View;
};
