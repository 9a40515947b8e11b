// Ids of the library's string table (texts in string_table.inc).
#pragma once

enum StringId : unsigned {
#define QV_STRING(id, name, text) name = (id),
#include "base/string_table.inc"
#undef QV_STRING
};
