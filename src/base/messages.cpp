#include "base/messages.h"

#include "base/data_paths.h"

void GetFileVersion(int* major, int* minor) {
    *major = 0;
    *minor = 0;
    char path[260];
    DWORD length = GetModuleFileNameA(DataPaths.module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0)
        return;
    void* block = MemAlloc(size);
    if (!block)
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (GetFileVersionInfoA(path, handle, size, block) &&
        VerQueryValueA(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedLength) && fixed &&
        fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
        *major = HIWORD(fixed->dwFileVersionMS);
        *minor = LOWORD(fixed->dwFileVersionMS);
    }
    MemFree(block);
}
