// The library's entry points. Process attach runs under the loader lock,
// where registry, shell and window calls may deadlock or crash the client:
// it only keeps the module handle, and the start-up runs on the first call
// into the library that needs it (ExchEntryPoint). Every other reason leaves
// everything as it is. The self-registration exports register the library
// file that was attached, which needs the module alone.
#include "platform.h"

#include "base/data_paths.h"
#include "data/settings.h"
#include "install/addin_registration.h"
#include "install/registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        KeepLibraryModule(module);
    return TRUE;
}

STDAPI DllRegisterServer() {
    return RegisterExtension(DataPaths.module);
}

STDAPI DllUnregisterServer() {
    return UnregisterExtension();
}

// regsvr32 /n /i:user (and /u /n /i:user): the COM add-in for the current
// user alone, without an administrator; /i:machine: for every user, which
// the all-users installation adds to DllRegisterServer's extension.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    return InstallForCommandLine(install, commandLine, DataPaths.module);
}
