// The library's resources in their native form: the string table, the dialog
// templates and the version resource, built from the same sources as the resource script
// (src/resources). The substitute's LoadStringA, dialog manager and version
// functions read them; only the resources' native form defines them.
#pragma once

#include "platform.h"

#include <cstddef>

namespace substitute {

struct StringResource {
    UINT id;
    const char* text;
};
extern const StringResource kLibraryStrings[];
extern const size_t kLibraryStringCount;
extern const WORD kLibraryFileVersion[4];
extern const WORD kLibraryProductVersion[4];

// The library's dialog templates in their native form, from the same source
// as the resource script.
struct DialogControlResource {
    const char* text;
    WORD id;
    const char* className;
    DWORD style;
    short x, y, cx, cy;
};
struct DialogResource {
    WORD id;
    short x, y, cx, cy;
    const char* caption;
    DWORD style;
    const char* font;
    WORD pointSize;
    const DialogControlResource* controls;
    size_t controlCount;
};
extern const DialogResource kLibraryDialogs[];
extern const size_t kLibraryDialogCount;

} // namespace substitute
