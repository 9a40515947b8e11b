#include "install/addin_registration.h"

#include "base/ascii_names.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

constexpr char kClassName[] = "Quorvel Add-in";
constexpr char kFriendlyName[] = "Quorvel";
constexpr char kDescription[] = "Send individual copies of a message to a list";
constexpr DWORD kLoadAtStartup = 3;

// "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}"
void FormatClsid(char (&text)[39], const CLSID& id) {
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                  id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                  id.Data4[7]);
}

struct Paths {
    char clsid[39];
    char classKey[128];    // Software\Classes\CLSID\{...}
    char serverKey[160];   // ...\InprocServer32
    char classProgId[160]; // ...\ProgID
    char progIdKey[128];   // Software\Classes\Quorvel.Connect
    char progIdClsid[160]; // ...\CLSID
    char addInKey[160];    // Software\Microsoft\Office\Outlook\Addins\Quorvel.Connect
};

Paths MakePaths() {
    Paths p;
    FormatClsid(p.clsid, CLSID_QuorvelAddIn);
    std::snprintf(p.classKey, sizeof p.classKey, "Software\\Classes\\CLSID\\%s", p.clsid);
    std::snprintf(p.serverKey, sizeof p.serverKey, "%s\\InprocServer32", p.classKey);
    std::snprintf(p.classProgId, sizeof p.classProgId, "%s\\ProgID", p.classKey);
    std::snprintf(p.progIdKey, sizeof p.progIdKey, "Software\\Classes\\%s", kAddInProgId);
    std::snprintf(p.progIdClsid, sizeof p.progIdClsid, "%s\\CLSID", p.progIdKey);
    std::snprintf(p.addInKey, sizeof p.addInKey, "%s\\%s", kClientAddInsKey, kAddInProgId);
    return p;
}

LSTATUS SetString(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

// Creates `path` and sets its values: name/text pairs, a null name for the
// default value.
LSTATUS WriteKey(HKEY root, const char* path,
                 std::initializer_list<std::pair<const char*, const char*>> values) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    for (const auto& v : values) {
        status = SetString(key, v.first, v.second);
        if (status != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return status;
}

HRESULT FailureOf(LSTATUS status) {
    return status == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(status);
}

HKEY RootOf(AddInScope scope) {
    return scope == AddInScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

} // namespace

HRESULT RegisterAddIn(AddInScope scope, HMODULE library) {
    const HKEY root = RootOf(scope);
    char libraryPath[260];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(library, libraryPath, sizeof libraryPath);
    // A path cut to the buffer names no library the client could load.
    if (length == 0 || length >= sizeof libraryPath)
        return FailureOf(length ? ERROR_INSUFFICIENT_BUFFER : GetLastError());

    const Paths p = MakePaths();
    LSTATUS status = WriteKey(root, p.classKey, {{nullptr, kClassName}});
    if (status == ERROR_SUCCESS)
        status =
            WriteKey(root, p.serverKey, {{nullptr, libraryPath}, {"ThreadingModel", "Apartment"}});
    if (status == ERROR_SUCCESS)
        status = WriteKey(root, p.classProgId, {{nullptr, kAddInProgId}});
    if (status == ERROR_SUCCESS)
        status = WriteKey(root, p.progIdKey, {{nullptr, kClassName}});
    if (status == ERROR_SUCCESS)
        status = WriteKey(root, p.progIdClsid, {{nullptr, p.clsid}});
    if (status == ERROR_SUCCESS)
        status = WriteKey(root, p.addInKey,
                          {{"FriendlyName", kFriendlyName}, {"Description", kDescription}});
    if (status == ERROR_SUCCESS) {
        HKEY key = nullptr;
        status = RegOpenKeyExA(root, p.addInKey, 0, KEY_WRITE, &key);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExA(key, "LoadBehavior", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&kLoadAtStartup),
                                    sizeof kLoadAtStartup);
            RegCloseKey(key);
        }
    }
    if (status != ERROR_SUCCESS) {
        // Half a registration would have the client try a class it cannot load.
        UnregisterAddIn(scope);
        return FailureOf(status);
    }
    return S_OK;
}

HRESULT UnregisterAddIn(AddInScope scope) {
    const HKEY root = RootOf(scope);
    const Paths p = MakePaths();
    // Innermost first: a key with subkeys is not deleted.
    for (const char* path :
         {p.serverKey, p.classProgId, p.classKey, p.progIdClsid, p.progIdKey, p.addInKey})
        RegDeleteKeyA(root, path);
    return S_OK;
}

HRESULT InstallForCommandLine(BOOL install, LPCWSTR commandLine, HMODULE library) {
    AddInScope scope;
    if (SameAsciiName(commandLine, "user"))
        scope = AddInScope::CurrentUser;
    else if (SameAsciiName(commandLine, "machine"))
        scope = AddInScope::Machine;
    else
        return E_INVALIDARG;
    return install ? RegisterAddIn(scope, library) : UnregisterAddIn(scope);
}
