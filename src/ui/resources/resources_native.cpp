// The native form of the library's resources: the string table and the
// version resource, from the same sources as Quorvel.rc. The substitute
// platform's LoadStringA and version functions read them.
#include "resource_table.h"
#include "ui/services/version.h"

namespace substitute {

const StringResource kLibraryStrings[] = {
#define QV_STRING(id, name, text) {id, text},
#include "ui/services/string_table.inc"
#undef QV_STRING
};
const size_t kLibraryStringCount = sizeof kLibraryStrings / sizeof kLibraryStrings[0];

const WORD kLibraryFileVersion[4] = {QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH,
                                     QV_VERSION_BUILD};
const WORD kLibraryProductVersion[4] = {QV_VERSION_MAJOR, QV_VERSION_MINOR, QV_VERSION_PATCH,
                                        QV_VERSION_BUILD};

} // namespace substitute
