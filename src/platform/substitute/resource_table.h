// The library's resources in their native form: the string table and the
// version resource, built from the same sources as the resource script
// (src/ui/resources). The substitute's LoadStringA and version functions read
// them; only the resources' native form defines them.
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

} // namespace substitute
