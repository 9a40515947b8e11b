// The library's entry point for process attach and detach.
#include "platform.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
