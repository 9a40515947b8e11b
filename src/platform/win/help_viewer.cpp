// The HTML Help viewer of the Windows build: the system's HTML Help control,
// located through its registered class and loaded on the first help call.
//
// The control is only ever loaded by a full path: the path registered for its
// class when that is one, otherwise the copy in the system directory. A bare
// file name would be searched for in the application's and the current
// directory first, where anyone could have left a library of that name.
#include "platform.h"

#include <cstring>

namespace {

typedef HWND(WINAPI* HtmlHelpProc)(HWND, LPCSTR, UINT, DWORD_PTR);

const char kViewerServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const char kViewerFile[] = "hhctrl.ocx";
constexpr WORD kHtmlHelpOrdinal = 14; // HtmlHelpA

HMODULE ViewerModule = nullptr;
HtmlHelpProc HtmlHelpEntry = nullptr;
bool HelpFailed = false;

// "X:\..." or "\\server\share\...".
bool IsFullPath(const char* path) {
    const char drive = path[0];
    if (((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) && path[1] == ':' &&
        path[2] == '\\')
        return true;
    return path[0] == '\\' && path[1] == '\\' && path[2] != '\0';
}

// A full path found by its own name: the libraries it needs are looked for
// beside it first.
HMODULE LoadByFullPath(const char* path) {
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadRegisteredViewer() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kViewerServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    char path[260];
    DWORD size = sizeof path;
    LSTATUS read =
        RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || size > sizeof path)
        return nullptr;
    // The value may have been stored without its terminating NUL.
    if (!std::memchr(path, '\0', size)) {
        if (size == sizeof path)
            return nullptr;
        path[size] = '\0';
    }
    return IsFullPath(path) ? LoadByFullPath(path) : nullptr;
}

HMODULE LoadSystemViewer() {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length + 1 + sizeof kViewerFile > sizeof path)
        return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, kViewerFile, sizeof kViewerFile);
    return LoadByFullPath(path);
}

} // namespace

HWND HtmlHelpViewer(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    if (HelpFailed)
        return nullptr;
    if (!HtmlHelpEntry) {
        HMODULE viewer = LoadRegisteredViewer();
        if (!viewer)
            viewer = LoadSystemViewer();
        FARPROC entry =
            viewer ? GetProcAddress(viewer, MAKEINTRESOURCEA(kHtmlHelpOrdinal)) : nullptr;
        if (!entry) {
            if (viewer)
                FreeLibrary(viewer);
            HelpFailed = true;
            return nullptr;
        }
        ViewerModule = viewer;
        HtmlHelpEntry = reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void (*)()>(entry));
    }
    return HtmlHelpEntry(owner, file, command, data);
}

void ResetHtmlHelpViewer() {
    if (ViewerModule)
        FreeLibrary(ViewerModule);
    ViewerModule = nullptr;
    HtmlHelpEntry = nullptr;
    HelpFailed = false;
}
