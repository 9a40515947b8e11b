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
// Kept in this order: windows.h first, and the MAPI headers in the order they build on each other.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>
#include <shellapi.h>
#include <commctrl.h>
#include <commdlg.h>
#include <mapix.h>
#include <mapiutil.h>
#include <mapitags.h>
#include <mapiguid.h>
#include <mapicode.h>
#include <htmlhelp.h>
// clang-format on

// Published MAPI names the mingw-w64 headers lack.
#ifndef PR_MSG_EDITOR_FORMAT
#define PR_MSG_EDITOR_FORMAT PROP_TAG(PT_LONG, 0x5909)
#define EDITOR_FORMAT_DONTKNOW ((ULONG)0)
#define EDITOR_FORMAT_PLAINTEXT ((ULONG)1)
#define EDITOR_FORMAT_HTML ((ULONG)2)
#define EDITOR_FORMAT_RTF ((ULONG)3)
#endif
#ifndef PR_INTERNET_CPID
#define PR_INTERNET_CPID PROP_TAG(PT_LONG, 0x3FDE)
#endif
#ifndef PR_HTML
#define PR_BODY_HTML PROP_TAG(PT_TSTRING, 0x1013)
#define PR_HTML PROP_TAG(PT_BINARY, 0x1013)
#endif

// Kept in this order: the shared declarations build on each other.
// clang-format off
#include "exchext.h"
#include "outlook.h"
#include "office_addin.h"
#include "services.h"
#include "face_services.h"
#include "help_viewer.h"
#include "xml_pull.h"
// clang-format on
