// The native form of the library's resources: the string table, the dialog
// templates and the version resource, from the same sources as Quorvel.rc.
// The substitute platform's LoadStringA, dialog manager and version functions
// read them.
#include "base/dialog_ids.h"
#include "base/version.h"
#include "resource_table.h"

namespace substitute {

const StringResource kLibraryStrings[] = {
#define QV_STRING(id, name, text) {id, text},
#include "base/string_table.inc"
#undef QV_STRING
};
const size_t kLibraryStringCount = sizeof kLibraryStrings / sizeof kLibraryStrings[0];

namespace {
// The controls of each template, in template order.
#define QV_DIALOG(id, x, y, cx, cy, caption) const DialogControlResource kControls##id[] = {
#define QV_CONTROL(text, id, cls, style, x, y, cx, cy)                                             \
    {text, static_cast<WORD>(id), cls, static_cast<DWORD>(style), x, y, cx, cy},
#define QV_DIALOG_END()                                                                            \
    }                                                                                              \
    ;
#include "base/dialogs.inc"
#undef QV_DIALOG
#undef QV_CONTROL
#undef QV_DIALOG_END
} // namespace

const DialogResource kLibraryDialogs[] = {
#define QV_DIALOG(id, x, y, cx, cy, caption)                                                       \
    {id,                                                                                           \
     x,                                                                                            \
     y,                                                                                            \
     cx,                                                                                           \
     cy,                                                                                           \
     caption,                                                                                      \
     static_cast<DWORD>(QV_DIALOG_STYLE),                                                          \
     QV_DIALOG_FONT,                                                                               \
     QV_DIALOG_FONT_SIZE,                                                                          \
     kControls##id,                                                                                \
     sizeof kControls##id / sizeof kControls##id[0]},
#define QV_CONTROL(text, id, cls, style, x, y, cx, cy)
#define QV_DIALOG_END()
#include "base/dialogs.inc"
#undef QV_DIALOG
#undef QV_CONTROL
#undef QV_DIALOG_END
};
const size_t kLibraryDialogCount = sizeof kLibraryDialogs / sizeof kLibraryDialogs[0];

const WORD kLibraryFileVersion[4] = {QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH,
                                     QV_VERSION_BUILD};
const WORD kLibraryProductVersion[4] = {QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH,
                                        QV_VERSION_BUILD};

} // namespace substitute
