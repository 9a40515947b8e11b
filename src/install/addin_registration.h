// Registration of the COM add-in: what DllInstall does for
// `regsvr32 /n /i:user Quorvel.dll` (the current user, no administrator
// needed) and `regsvr32 /n /i:machine Quorvel.dll` (every user of the
// machine, for an administrator), and their /u.
#pragma once

#include "platform.h"

// The ProgID under which the client finds the add-in.
constexpr char kAddInProgId[] = "Quorvel.Connect";
// The client's add-in keys, one subkey per ProgID, under HKEY_CURRENT_USER
// for one user and under HKEY_LOCAL_MACHINE for all of them.
constexpr char kClientAddInsKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins";

enum class AddInScope {
    CurrentUser, // HKEY_CURRENT_USER
    Machine,     // HKEY_LOCAL_MACHINE
};

// Writes, under the scope's root, the add-in's class (Software\Classes\CLSID
// with InprocServer32 naming the file of `library`, apartment-threaded, and
// its ProgID), the ProgID, and the client's add-in key for it (LoadBehavior
// 3: loaded at start-up, FriendlyName, Description). S_OK when all of it
// was written; otherwise a failing result, with what was written removed.
HRESULT RegisterAddIn(AddInScope scope, HMODULE library);

// Deletes exactly those keys under the scope's root (and nothing else under
// them or beside them, nor the other scope's). Always S_OK: what is not
// there is not a failure.
HRESULT UnregisterAddIn(AddInScope scope);

// DllInstall's work: "user" or "machine" (any case) registers or
// unregisters in that scope; any other command line is E_INVALIDARG.
HRESULT InstallForCommandLine(BOOL install, LPCWSTR commandLine, HMODULE library);
