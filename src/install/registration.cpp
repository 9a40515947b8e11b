#include "install/registration.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kExtensionsKey[] = "SOFTWARE\\Microsoft\\Exchange\\Client\\Extensions";
constexpr char kExtensionValue[] = "Quorvel";
// Version 4.0, the library, its entry point at export ordinal 1, loaded in
// all 14 contexts with all 7 interfaces.
constexpr char kExtensionFormat[] = "4.0;%s;1;11111111111111;1111111";
constexpr char kSetupExtensionValue[] = "Outlook Setup Extension";
constexpr char kSetupExtensionText[] = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";
constexpr char kExtensionCacheFile[] = "\\Microsoft\\Outlook\\extend.dat";

// REG_SZ with its terminating NUL counted, so that a reader that takes the
// stored bytes as they are gets a terminated string.
LSTATUS SetStringValue(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

// The mail client keeps what it learnt of the extensions in a cache file and
// reads the registry again only when the file is gone. A missing file or a
// failed deletion changes nothing for the caller.
void DeleteExtensionCache() {
    char path[260];
    if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE))
        return;
    const size_t folder = std::strlen(path);
    // A path cut to fit the buffer could name some other file: leave it.
    if (folder + sizeof kExtensionCacheFile > sizeof path)
        return;
    std::memcpy(path + folder, kExtensionCacheFile, sizeof kExtensionCacheFile);
    DeleteFileA(path);
}

HRESULT FailureOf(LSTATUS status) {
    return status == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(status);
}

} // namespace

HRESULT RegisterExtension(HMODULE library) {
    char libraryPath[260];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(library, libraryPath, sizeof libraryPath);
    // A path cut to the buffer names no library the client could load.
    if (length == 0 || length >= sizeof libraryPath)
        return FailureOf(length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());

    // The short form keeps blanks (and the value's own ";") out of the path.
    // Where there is none, the full path still lets the client load the
    // library, where an empty one would not.
    char shortPath[512] = "";
    const DWORD shortLength = GetShortPathNameA(libraryPath, shortPath, sizeof shortPath);
    const char* registeredPath =
        shortLength == 0 || shortLength >= sizeof shortPath ? libraryPath : shortPath;

    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, KEY_WRITE, &key);
    if (status != ERROR_SUCCESS)
        return FailureOf(status);

    char value[360];
    const int n = std::snprintf(value, sizeof value, kExtensionFormat, registeredPath);
    if (n < 0 || static_cast<size_t>(n) >= sizeof value) {
        RegCloseKey(key);
        return FailureOf(ERROR_INSUFFICIENT_BUFFER);
    }
    status = SetStringValue(key, kExtensionValue, value);
    if (status != ERROR_SUCCESS) {
        RegCloseKey(key);
        return FailureOf(status);
    }
    // The extension is registered from here on: a failure of the client's
    // own value leaves it registered, and the result says so.
    status = SetStringValue(key, kSetupExtensionValue, kSetupExtensionText);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return S_OK;
    DeleteExtensionCache();
    return S_OK;
}

HRESULT UnregisterExtension() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return S_OK;
    // Nothing of ours is there (never registered, or unregistered already):
    // the client's own value and its cache stay as they are.
    if (RegDeleteValueA(key, kExtensionValue) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return S_OK;
    }
    const LSTATUS status = SetStringValue(key, kSetupExtensionValue, kSetupExtensionText);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        DeleteExtensionCache();
    return S_OK;
}
