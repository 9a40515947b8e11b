// The HTML Help viewer. Its HtmlHelpA lives in the system's HTML Help control
// library, which is loaded on the first call and kept for the life of the
// process; when it cannot be loaded, help stays off and every call returns 0
// without showing anything.
#pragma once

// HtmlHelpA of the loaded viewer: owner window, help file (with ">window"
// for a window type), command (HH_DISPLAY_TOPIC, HH_KEYWORD_LOOKUP, ...) and
// the command's data. Returns the viewer's window, or 0.
HWND HtmlHelpViewer(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// Forgets the loaded viewer and the failed flag, as a fresh process would
// have them. Only tests call it.
void ResetHtmlHelpViewer();
