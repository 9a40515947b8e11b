// The one header portable code includes for the system names it uses. This
// is the substitute platform's: Win32, COM/Automation and Extended MAPI
// declared with the real names, sizes and values, implemented in this folder.
#pragma once

// Kept in this order: each header builds on the ones before it.
// clang-format off
#include "win32.h"
#include "com.h"
#include "mapi.h"
#include "exchext.h"
#include "outlook.h"
#include "office_addin.h"
#include "services.h"
#include "face_services.h"
#include "help_viewer.h"
#include "xml_pull.h"
// clang-format on
