// The mailing dialog, opened by a compose window's button over that window.
#pragma once

#include "platform.h"

class ComposeContext;

// Shows the mailing dialog modally over `window` (may be null) for the
// composed message of `context`, and returns when the dialog has closed.
// After a completed job the message is closed with saving, or deleted, as
// the options say.
void OpenMainDialog(ComposeContext* context, HWND window);
