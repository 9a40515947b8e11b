// What the recording HTML Help viewer of the Windows tests keeps of each
// call. Plain data: the viewer library and the test program each link their
// own C++ runtime, so nothing owned crosses between them.
#pragma once

#include "platform.h"

struct RecordedHelpCall {
    HWND owner;
    char file[400];
    UINT command;
    DWORD_PTR data;
    HH_AKLINK link; // HH_KEYWORD_LOOKUP only; its pointers are not to be followed
    char keywords[400];
};

// The viewer library's exports besides HtmlHelpA (ordinal 14).
typedef int (*RecordedHelpCallCountProc)();
typedef const RecordedHelpCall* (*RecordedHelpCallAtProc)(int index);
