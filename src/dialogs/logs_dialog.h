// The logs dialog, opened from the options dialog: opens one of the three
// job logs with the application associated with text files.
#pragma once

#include "platform.h"

INT_PTR CALLBACK LogsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the logs dialog modally over `owner`: 1 after OK, 0 after Cancel, -1
// when it could not be shown.
INT_PTR ShowLogsDialog(HWND owner);
