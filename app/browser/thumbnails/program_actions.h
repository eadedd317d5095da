#pragma once

class CBrowserActions;

// The program's answers for the thumbnail window: message boxes, the rename
// and destination dialogs, and the program's file operations.
CBrowserActions* ProgramBrowserActions();
