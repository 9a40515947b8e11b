// The two doors into Quorvel.dll, as the client's version chooses: before
// 14.0 the library loaded from this program's folder and the extension
// installed through the entry point at ordinal 1; from 14.0 on the COM
// add-in registered for the user (or the machine), its class object found
// through the registration as COM's in-process activation finds it.
#include "host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.rfind('\\') + 1);
}

// A value of the class's key: the user's classes first, then the machine's.
std::string ClassKeyValue(const std::string& clsid, const char* subkey, const char* value) {
    for (const char* root : {"Software\\Classes\\CLSID\\", ""}) {
        const HKEY hive = *root ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
        const std::string path =
            std::string(*root ? root : "CLSID\\") + clsid + (*subkey ? "\\" : "") + subkey;
        char data[MAX_PATH] = "";
        DWORD size = sizeof data, type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        const LONG read =
            RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size)
            return std::string(data, strnlen(data, sizeof data));
    }
    return "";
}

// The class factory as a current client reaches it: the class's in-process
// server as the user's registration names it, loaded and asked for the
// factory, as COM's in-process activation does. (Wine's COM reads the
// machine's classes alone, not the user's, so this program does the lookup
// itself, the user's classes first.)
HRESULT STDAPICALLTYPE ClassObjectFromRegistration(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    wchar_t wide[64] = L"";
    if (!StringFromGUID2(clsid, wide, 64))
        return E_INVALIDARG;
    std::string name;
    for (const wchar_t* c = wide; *c; ++c)
        name += static_cast<char>(*c);
    const std::string server = ClassKeyValue(name, "InprocServer32", nullptr);
    if (server.empty())
        return REGDB_E_CLASSNOTREG;
    if (ClassKeyValue(name, "InprocServer32", "ThreadingModel") != "Apartment")
        Problems.push_back("the class's ThreadingModel is not Apartment");
    HMODULE library = LoadLibraryA(server.c_str());
    if (!library)
        return CO_E_DLLNOTFOUND;
    const auto getClassObject =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) {
        FreeLibrary(library);
        return CO_E_ERRORINDLL;
    }
    if (AddInLibrary)
        FreeLibrary(AddInLibrary); // one load kept, as COM keeps one
    AddInLibrary = library;
    AddInLibraryPath = server;
    return getClassObject(clsid, iid, object);
}

// The ProgID the add-in registers (regsvr32 /i:user or /i:machine).
const char kAddInProgId[] = "Quorvel.Connect";

size_t OptionsEntries(sim::MailClient& client) {
    return client.ControlsTagged(client.Explorer().Get(), "QuorvelOptions").size();
}

} // namespace

void OpenDoor(const HostOptions& o) {
    // A client from 14.0 on loads COM add-ins, never client extensions.
    Ribbon = std::atoi(o.version.c_str()) >= 14;
    if ((o.noExplorer || o.connectLater) && !Ribbon)
        Fail("--no-explorer and --connect-later are for the COM add-in (--host-version 14.0 "
             "or later)");
    if (Ribbon) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            Fail("cannot start COM");
    } else {
        // The library, from the program's folder, as the client loads it.
        const std::string libraryPath = ProgramFolder() + "Quorvel.dll";
        ExtensionLibrary = LoadLibraryA(libraryPath.c_str());
        if (!ExtensionLibrary)
            Fail("cannot load " + libraryPath + " (error " + std::to_string(GetLastError()) + ")");
        ExtensionEntry = reinterpret_cast<LPEXCHEXT(CALLBACK*)()>(
            reinterpret_cast<void*>(GetProcAddress(ExtensionLibrary, MAKEINTRESOURCEA(1))));
        if (!ExtensionEntry)
            Fail("Quorvel.dll has no entry point at ordinal 1");
    }
}

void ConnectAddIn(sim::MailClient& client, const HostOptions& o) {
    std::vector<std::string> connected;
    if (o.connectLater) {
        // Registered, and ticked by the user only once the client runs.
        if (client.ConnectComAddIn(&ClassObjectFromRegistration, kAddInProgId))
            connected.push_back(kAddInProgId);
    } else {
        connected = client.LoadComAddIns(&ClassObjectFromRegistration);
    }
    std::string errors;
    for (const std::string& error : client.LoadErrors()) {
        Problems.push_back("add-in load: " + error);
        errors += "\n  " + error;
    }
    if (connected.empty())
        Fail("no COM add-in was connected (is Quorvel.dll registered with regsvr32 /n "
             "/i:user?)" +
             errors);
    std::printf("  COM add-in connected: %s (library %s)%s\n", connected[0].c_str(),
                AddInLibraryPath.c_str(), o.connectLater ? ", after start-up" : "");
    std::string timings;
    for (const sim::AddInTiming& t : client.AddInTimings())
        timings += " " + t.call + " " + std::to_string(t.milliseconds) + " ms";
    std::printf("  add-in start-up:%s\n", timings.c_str());
    // The Tools entry: at once on the explorer there is, else with
    // the explorer the user opens later.
    if (o.noExplorer) {
        if (OptionsEntries(client) != 0)
            Problems.push_back("a Tools entry before there was an explorer");
        client.OpenExplorer();
        std::printf("  explorer opened after the add-in's start-up\n");
    }
    const size_t entries = OptionsEntries(client);
    std::printf("  Tools entries of the add-in on the explorer: %zu\n", entries);
    if (entries != 1)
        Problems.push_back("the explorer's Tools menu has " + std::to_string(entries) +
                           " \"Quorvel &Options...\" entries, not one");
}

void InstallExtension(sim::MailClient& client) {
    LPEXCHEXT extension = ExtensionEntry();
    if (!extension)
        Fail("the entry point gave no extension");
    const std::vector<HRESULT> installed = client.InstallExtension(extension);
    extension->Release();
    std::printf("  extension installed: session %s, explorer %s\n",
                installed.size() > 0 && installed[0] == S_OK ? "S_OK" : "declined",
                installed.size() > 1 && installed[1] == S_OK ? "S_OK" : "declined");
}

void CloseDoor() {
    if (Ribbon) {
        // As the client's COM does it: the library goes once it says it can.
        if (AddInLibrary) {
            const auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(AddInLibrary, "DllCanUnloadNow")));
            if (!canUnload || canUnload() != S_OK)
                Problems.push_back("DllCanUnloadNow does not say S_OK after shutdown");
            else if (!FreeLibrary(AddInLibrary))
                Problems.push_back("FreeLibrary failed");
        }
        CoUninitialize();
    } else if (!FreeLibrary(ExtensionLibrary)) {
        Problems.push_back("FreeLibrary failed");
    }
}
