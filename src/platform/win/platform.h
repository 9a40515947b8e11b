// The one header portable code includes for the system names it uses. This
// is the Windows build's: the real SDK headers of mingw-w64, plus the
// published declarations they lack.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>
#include <mapix.h>
#include <mapiutil.h>
#include <mapitags.h>
#include <mapiguid.h>
#include <mapicode.h>
#include <htmlhelp.h>

#include "exchext.h"
#include "outlook.h"
#include "services.h"
#include "help_viewer.h"
