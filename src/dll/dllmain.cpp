// The library's entry points: process attach runs the start-up (every other
// reason leaves everything as it is); the self-registration exports register
// the library file that was attached.
#include "platform.h"

#include "data/settings.h"
#include "install/registration.h"
#include "ui/services/data_paths.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        return AttachLibrary(module);
    return TRUE;
}

STDAPI DllRegisterServer() {
    return RegisterExtension(DataPaths.module);
}

STDAPI DllUnregisterServer() {
    return UnregisterExtension();
}
