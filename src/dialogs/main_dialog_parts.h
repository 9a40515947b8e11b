// The pieces of the mailing dialog that the rest of the dialogs and the
// tests reach besides OpenMainDialog.
#pragma once

#include "platform.h"

#include <cstddef>

// Set while a mailing dialog is open: only one, and so only one job, at a time.
extern bool MainDialogOpen;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The system's open-file dialog for a mailing list, over `owner`, starting in
// LastToFolder. On a choice `path` (260 bytes) holds it, its folder becomes
// LastToFolder, and the result is non-zero; 0 when the user cancelled.
BOOL BrowseForMailingList(HWND owner, char* path, const char* title);

// The seconds a job has left after `elapsedMs` with `percentDone` sent, or -1
// while under 0.1 per cent is done; beyond the int range it saturates.
int RemainingSeconds(double percentDone, DWORD elapsedMs);
// The status line: the status, and the remaining time behind it when there
// is one to show.
void FormatStatusLine(char* line, size_t size, const char* status, int remainingSeconds);

struct WithdrawalReport;
// What the user is told of a withdrawal of waiting copies: how many were
// taken back, and each thing that could not be done.
void FormatWithdrawal(const WithdrawalReport& report, char* text, size_t size);
