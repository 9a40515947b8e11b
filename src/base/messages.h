// The product's name, the caption of every message box it shows, and the
// library's own version number. The boxes themselves and the help belong to
// the dialogs layer: no layer below it talks to the user.
#pragma once

#include "base/version.h"
#include "platform.h"

// The caption of every message box of the library.
constexpr const char kProductName[] = QV_PRODUCT_NAME;

// The major and minor numbers of the library's file version (its version
// resource); 0.0 when it has none.
void GetFileVersion(int* major, int* minor);
