// The library's entry point. Process attach runs under the loader lock,
// where registry, shell and window calls may deadlock or crash the client:
// it only keeps the module handle, and the start-up runs on the first call
// into the library that needs it. Every other reason leaves everything as
// it is.
#include "platform.h"

#include "data/settings.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        KeepLibraryModule(module);
    return TRUE;
}
