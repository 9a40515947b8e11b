// The product's message boxes with texts from the library's string table,
// and its online help opened at a keyword. Only the dialogs and the doors
// above them talk to the user: the layers below report what went wrong and
// leave the words, and the window that owns them, to their callers here.
#pragma once

#include "platform.h"

// Shows string `stringId` of the library's table in a box owned by `owner`,
// with `caption` and the low 16 bits of `flags` (the box takes no more).
// Returns the button the user pressed.
int StringMessageBox(HWND owner, UINT stringId, const char* caption, UINT flags);

// Opens the help file beside the library in its own window type and looks
// the keyword of string `topicStringId` up, falling back to the index. 0
// without a library directory (nothing opens), else 1.
int ShowHelpTopic(HWND owner, UINT topicStringId);
