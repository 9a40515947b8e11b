#include "base/messages.h"

#include "base/data_paths.h"

#include <cstdio>

namespace {
constexpr char kHelpFile[] = "Quorvel.chm";
} // namespace

int StringMessageBox(HWND owner, UINT stringId, const char* caption, UINT flags) {
    char text[256] = "";
    LoadStringA(DataPaths.module, stringId, text, sizeof text);
    return MessageBoxA(owner, text, caption, static_cast<WORD>(flags));
}

int ShowHelpTopic(HWND owner, UINT topicStringId) {
    if (DataPaths.libraryDirectory[0] == '\0')
        return 0;
    char keyword[256] = "";
    LoadStringA(DataPaths.module, topicStringId, keyword, sizeof keyword);

    // The help file opens in its own window type, then the viewer looks the
    // keyword up and falls back to its index when the keyword is unknown.
    char path[MAX_PATH + 32];
    std::snprintf(path, sizeof path, "%s%s>mywin", DataPaths.libraryDirectory, kHelpFile);
    HtmlHelpViewer(owner, path, HH_DISPLAY_TOPIC, 0);

    static_assert(sizeof(void*) != 4 || sizeof(HH_AKLINK) == 32,
                  "the 32-bit viewer expects the 32-byte link structure");
    HH_AKLINK link = {};
    link.cbStruct = sizeof link;
    link.fReserved = FALSE;
    link.pszKeywords = keyword;
    link.fIndexOnFail = TRUE;
    std::snprintf(path, sizeof path, "%s%s", DataPaths.libraryDirectory, kHelpFile);
    HtmlHelpViewer(owner, path, HH_KEYWORD_LOOKUP, reinterpret_cast<DWORD_PTR>(&link));
    return 1;
}

void GetFileVersion(int* major, int* minor) {
    *major = 0;
    *minor = 0;
    char path[260];
    DWORD length = GetModuleFileNameA(DataPaths.module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return;
    void* block = MemAlloc(size);
    if (!block)
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (GetFileVersionInfoA(path, handle, size, block) &&
        VerQueryValueA(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedLength) && fixed &&
        fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
        *major = HIWORD(fixed->dwFileVersionMS);
        *minor = LOWORD(fixed->dwFileVersionMS);
    }
    MemFree(block);
}
