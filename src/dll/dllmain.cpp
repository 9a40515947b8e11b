// The library's entry point: process attach runs the start-up; every other
// reason leaves everything as it is.
#include "platform.h"

#include "data/settings.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        return AttachLibrary(module);
    return TRUE;
}
