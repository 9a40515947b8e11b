// Per-user registration of the COM add-in, which needs no administrator:
// what DllInstall does for `regsvr32 /n /i:user Quorvel.dll` and its /u.
#pragma once

#include "platform.h"

// The ProgID under which the client finds the add-in.
constexpr char kAddInProgId[] = "Quorvel.Connect";
// The client's add-in keys of the current user, one subkey per ProgID.
constexpr char kClientAddInsKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins";

// Writes, under HKEY_CURRENT_USER, the add-in's class (Software\Classes\CLSID
// with InprocServer32 naming the file of `library`, apartment-threaded, and
// its ProgID), the ProgID, and the client's add-in key for it (LoadBehavior
// 3: loaded at start-up, FriendlyName, Description). S_OK when all of it
// was written; otherwise a failing result, with what was written removed.
HRESULT RegisterAddInForUser(HMODULE library);

// Deletes exactly those keys (and nothing else under them or beside them).
// Always S_OK: what is not there is not a failure.
HRESULT UnregisterAddInForUser();

// DllInstall's work: "user" (any case) registers or unregisters for the
// current user; any other command line is E_INVALIDARG.
HRESULT InstallForCommandLine(BOOL install, LPCWSTR commandLine, HMODULE library);
