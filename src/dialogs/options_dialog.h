// The options dialog, opened from the mailing dialog and from the Tools menu.
#pragma once

#include "platform.h"

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the options dialog modally over `owner` with initialisation value 0.
// Returns 1 after OK, 0 after Cancel, -1 when the dialog could not be shown.
INT_PTR ShowOptionsDialog(HWND owner);
