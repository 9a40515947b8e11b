#include "dialogs/message_boxes.h"

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
