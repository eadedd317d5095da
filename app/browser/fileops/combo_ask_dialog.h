#pragma once

// "Choose": a text and a drop-down list of given strings, the first
// selected; OK gives the selected index. The viewer's choice dialog is it.
#include "choice_dialog.h"

using CComboAskDialog = CChoiceDialog;
