// What the three dialogs share: opening a file with its application,
// centring a dialog, hyperlink captions, the mailing dialog's tooltips, and
// running dialogs and common controls with the library's own manifest.
#pragma once

#include "platform.h"

// Opens `path` with the shell's "open" verb, maximised, in "c:\". A failure
// is told in a message box owned by `owner`: 1 on success, else 0.
int ShellOpenFile(HWND owner, const char* path);

// Opens the product's web address with the shell, owned by `owner`.
void OpenProductWebAddress(HWND owner);

// Moves the window to the middle of the desktop (lowered by `verticalOffset`)
// and keeps it on the screen.
void CenterWindow(HWND window, int verticalOffset);

// Turns the static control `id` of `dialog` into a hyperlink: dark blue,
// underlined under the pointer, a hand cursor, and a click reaching the
// dialog as WM_COMMAND. Returns 1.
int MakeHyperlink(HWND dialog, int id);

// The mailing dialog's tooltips (nothing when the tooltip window cannot be
// made), and the Send/Pause button's tip for starting or for pausing.
void AddMainDialogTooltips(HWND dialog);
void SetSendTooltip(HWND dialog, bool start);
// The tooltip window of the most recent mailing dialog; null when it could
// not be made.
extern HWND MainDialogTooltip;

// DialogBoxParamA on the library's template `templateId`, with the library's
// manifest active around it; -1 when the dialog could not be shown.
INT_PTR ShowLibraryDialog(int templateId, HWND owner, DLGPROC procedure, LPARAM initParam);

// A UTF-8 text in a control, through the wide call, so that a name beyond
// the ANSI code page reads as the list wrote it.
void SetUtf8DialogText(HWND dialog, int id, const char* text);
// Appends a UTF-8 item to a combo box's list; its index, or CB_ERR.
int AddUtf8ComboItem(HWND dialog, int id, const char* text);
// A UTF-8 text in the product's message box, through the wide call.
int ShowUtf8Message(HWND owner, const char* text, UINT flags);
// GetOpenFileNameA with the library's manifest active; FALSE when the user
// cancelled or the dialog could not be shown.
BOOL ShowOpenFileDialog(OPENFILENAMEA* openFile);

// Forgets the activation context, as at load time (for tests).
void ForgetActivationContext();
