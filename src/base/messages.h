// Message boxes with texts from the library's string table, the online help
// opened at a keyword, and the library's own version number.
#pragma once

#include "base/version.h"
#include "platform.h"

// The caption of every message box of the library.
constexpr const char kProductName[] = QV_PRODUCT_NAME;

int StringMessageBox(HWND owner, UINT stringId, const char* caption, UINT flags);
int ShowHelpTopic(HWND owner, UINT topicStringId);
void GetFileVersion(int* major, int* minor);
