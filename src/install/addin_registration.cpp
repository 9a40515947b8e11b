#include "install/addin_registration.h"

#include "base/ascii_names.h"
#include "install/reg_key.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kClassName[] = "Quorvel Add-in";
constexpr char kFriendlyName[] = "Quorvel";
constexpr char kDescription[] = "Send individual copies of a message to a list";
constexpr DWORD kLoadAtStartup = 3;

// "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}"
std::string ClsidText(const CLSID& id) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                  id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                  id.Data4[7]);
    return text;
}

// One value of a key: a string (Text) or a DWORD (Number). A null
// name is the key's default value.
struct KeyValue {
    const char* name;
    std::string text;
    DWORD number = 0;
    bool isNumber = false;
};

KeyValue Text(const char* name, std::string text) {
    return {name, std::move(text)};
}

KeyValue Number(const char* name, DWORD number) {
    return {name, std::string(), number, true};
}

struct KeyEntry {
    std::string path;
    std::vector<KeyValue> values;
};

// Everything the add-in's registration writes under a root, each key after
// its parent: the class and its server, the ProgID, and the client's key
// for the add-in.
std::vector<KeyEntry> AddInKeys(const char* libraryPath) {
    const std::string clsid = ClsidText(CLSID_QuorvelAddIn);
    const std::string classKey = "Software\\Classes\\CLSID\\" + clsid;
    const std::string progIdKey = std::string("Software\\Classes\\") + kAddInProgId;
    return {
        {classKey, {Text(nullptr, kClassName)}},
        {classKey + "\\InprocServer32",
         {Text(nullptr, libraryPath), Text("ThreadingModel", "Apartment")}},
        {classKey + "\\ProgID", {Text(nullptr, kAddInProgId)}},
        {progIdKey, {Text(nullptr, kClassName)}},
        {progIdKey + "\\CLSID", {Text(nullptr, clsid)}},
        {std::string(kClientAddInsKey) + "\\" + kAddInProgId,
         {Text("FriendlyName", kFriendlyName), Text("Description", kDescription),
          Number("LoadBehavior", kLoadAtStartup)}},
    };
}

LSTATUS WriteKey(HKEY root, const KeyEntry& entry) {
    RegKey key;
    LSTATUS status = key.Create(root, entry.path.c_str());
    for (const KeyValue& v : entry.values) {
        if (status != ERROR_SUCCESS)
            break;
        status =
            v.isNumber ? key.SetDword(v.name, v.number) : key.SetString(v.name, v.text.c_str());
    }
    return status;
}

HKEY RootOf(AddInScope scope) {
    return scope == AddInScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

} // namespace

HRESULT RegisterAddIn(AddInScope scope, HMODULE library) {
    char libraryPath[260];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(library, libraryPath, sizeof libraryPath);
    // A path cut to the buffer names no library the client could load.
    if (length == 0 || length >= sizeof libraryPath)
        return RegistrationFailure(
            static_cast<LSTATUS>(length ? ERROR_INSUFFICIENT_BUFFER : GetLastError()));

    for (const KeyEntry& entry : AddInKeys(libraryPath)) {
        const LSTATUS status = WriteKey(RootOf(scope), entry);
        if (status != ERROR_SUCCESS) {
            // Half a registration would have the client try a class it
            // cannot load.
            UnregisterAddIn(scope);
            return RegistrationFailure(status);
        }
    }
    return S_OK;
}

HRESULT UnregisterAddIn(AddInScope scope) {
    // Innermost first: a key with subkeys is not deleted.
    const std::vector<KeyEntry> keys = AddInKeys("");
    for (auto entry = keys.rbegin(); entry != keys.rend(); ++entry)
        RegDeleteKeyA(RootOf(scope), entry->path.c_str());
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
