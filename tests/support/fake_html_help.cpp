// A stand-in for the system's HTML Help control in the Windows tests: its
// HtmlHelpA (ordinal 14) records every call and shows nothing. Built twice:
// with that entry, and without it (a library the viewer loader must refuse).
#include "recorded_help_call.h"

#include <cstring>

namespace {
RecordedHelpCall RecordedCalls[64];
int RecordedCount = 0;

void CopyText(char (&to)[400], const char* from) {
    std::strncpy(to, from ? from : "", sizeof to - 1);
    to[sizeof to - 1] = '\0';
}
} // namespace

extern "C" HWND WINAPI RecordingHtmlHelpA(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    if (RecordedCount == 64)
        return nullptr;
    RecordedHelpCall& call = RecordedCalls[RecordedCount++];
    call = RecordedHelpCall{};
    call.owner = owner;
    CopyText(call.file, file);
    call.command = command;
    call.data = data;
    if (command == HH_KEYWORD_LOOKUP && data) {
        call.link = *reinterpret_cast<const HH_AKLINK*>(data);
        CopyText(call.keywords, call.link.pszKeywords);
    }
    return GetDesktopWindow(); // some window, as the viewer returns its own
}

extern "C" int RecordedHelpCallCount() {
    return RecordedCount;
}

extern "C" const RecordedHelpCall* RecordedHelpCallAt(int index) {
    return index >= 0 && index < RecordedCount ? &RecordedCalls[index] : nullptr;
}
