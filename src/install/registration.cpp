#include "install/registration.h"

#include "install/reg_key.h"

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

} // namespace

HRESULT RegisterExtension(HMODULE library) {
    char libraryPath[260];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(library, libraryPath, sizeof libraryPath);
    // A path cut to the buffer names no library the client could load.
    if (length == 0 || length >= sizeof libraryPath)
        return RegistrationFailure(
            static_cast<LSTATUS>(length ? ERROR_INSUFFICIENT_BUFFER : GetLastError()));

    // The short form keeps blanks (and the value's own ";") out of the path.
    // Where there is none, the full path still lets the client load the
    // library, where an empty one would not.
    char shortPath[512] = "";
    const DWORD shortLength = GetShortPathNameA(libraryPath, shortPath, sizeof shortPath);
    const char* registeredPath =
        shortLength == 0 || shortLength >= sizeof shortPath ? libraryPath : shortPath;

    RegKey key;
    LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kExtensionsKey, KEY_WRITE);
    if (status != ERROR_SUCCESS)
        return RegistrationFailure(status);

    char value[360];
    const int n = std::snprintf(value, sizeof value, kExtensionFormat, registeredPath);
    if (n < 0 || static_cast<size_t>(n) >= sizeof value)
        return RegistrationFailure(ERROR_INSUFFICIENT_BUFFER);
    status = key.SetString(kExtensionValue, value);
    if (status != ERROR_SUCCESS)
        return RegistrationFailure(status);
    // The extension is registered from here on: a failure of the client's
    // own value leaves it registered, and the result says so.
    if (key.SetString(kSetupExtensionValue, kSetupExtensionText) == ERROR_SUCCESS)
        DeleteExtensionCache();
    return S_OK;
}

HRESULT UnregisterExtension() {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kExtensionsKey, KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return S_OK;
    // Nothing of ours is there (never registered, or unregistered already):
    // the client's own value and its cache stay as they are.
    if (key.DeleteValue(kExtensionValue) != ERROR_SUCCESS)
        return S_OK;
    if (key.SetString(kSetupExtensionValue, kSetupExtensionText) == ERROR_SUCCESS)
        DeleteExtensionCache();
    return S_OK;
}
