// Quorvel.dll registered and unregistered by the system's own regsvr32 of
// the library's bitness, in a Wine prefix nothing was installed on, with the
// values read back from that prefix's registry.
#include <gtest/gtest.h>

#include "platform.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kExtensionsKey[] = "SOFTWARE\\Microsoft\\Exchange\\Client\\Extensions";
constexpr char kSetupText[] = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";
constexpr bool k32Bit = sizeof(void*) == 4;
// The registry view of a library of this program's bitness, named explicitly
// so that a value in the other view is seen as wrong.
constexpr REGSAM kOwnView = k32Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = k32Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string program(path, n);
    return program.substr(0, program.rfind('\\') + 1);
}

// The regsvr32 of this program's bitness: the 32-bit one lives in the
// WoW64 system folder of a 64-bit system.
std::string Regsvr32() {
    char folder[MAX_PATH] = "";
    if (!k32Bit || GetSystemWow64DirectoryA(folder, sizeof folder) == 0)
        GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\regsvr32.exe";
}

// The machine type in a program file's PE header.
WORD MachineOf(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> head(4096);
    DWORD read = 0;
    ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &read, nullptr);
    CloseHandle(file);
    if (read < 0x40)
        return 0;
    LONG peOffset;
    std::memcpy(&peOffset, head.data() + 0x3C, sizeof peOffset);
    if (peOffset < 0 || static_cast<DWORD>(peOffset) + 6 > read ||
        std::memcmp(head.data() + peOffset, "PE\0\0", 4) != 0)
        return 0;
    WORD machine;
    std::memcpy(&machine, head.data() + peOffset + 4, sizeof machine);
    return machine;
}

// regsvr32's exit status: 0 when the library's export succeeded.
DWORD RunRegsvr32(const std::string& arguments) {
    std::string command = "\"" + Regsvr32() + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD status = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes; // as stored, the terminating NUL included
};

// A value as the registry holds it, in the given view; not present when the
// key or the value is missing.
StoredValue StoredValueAt(HKEY root, const char* path, REGSAM view, const char* name) {
    StoredValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return value;
    char data[1024];
    DWORD size = sizeof data;
    value.present = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data),
                                     &size) == ERROR_SUCCESS;
    if (value.present)
        value.bytes.assign(data, size);
    RegCloseKey(key);
    return value;
}

StoredValue ReadValue(REGSAM view, const char* name) {
    return StoredValueAt(HKEY_LOCAL_MACHINE, kExtensionsKey, view, name);
}

bool KeyExists(REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string CacheFile() {
    char folder[MAX_PATH];
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, CSIDL_LOCAL_APPDATA, FALSE));
    return std::string(folder) + "\\Microsoft\\Outlook\\extend.dat";
}

void CreateCacheFile() {
    const std::string file = CacheFile();
    std::string folder = file.substr(0, file.rfind('\\'));
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The library copied to a folder whose long name has blanks, as an
// installation under Program Files has.
class Regsvr32Test : public ::testing::Test {
protected:
    void SetUp() override {
        char programFiles[MAX_PATH];
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE));
        folder_ = std::string(programFiles) + "\\Quorvel Registration Test";
        library_ = folder_ + "\\Quorvel.dll";
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "Quorvel.dll").c_str(), library_.c_str(), FALSE))
            << library_;
        DeleteExtensionsKey();
    }
    void TearDown() override {
        DeleteExtensionsKey();
        DeleteFileA(library_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // What the mail client's set-up leaves: the key, with its own value.
    static void CreateExtensionsKey() {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, 0, nullptr, 0,
                                  KEY_WRITE | kOwnView, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const char text[] = "4.0;Outxxx.dll;7;0";
        RegSetValueExA(key, "Outlook Setup Extension", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text), sizeof text);
        RegCloseKey(key);
    }
    static void DeleteExtensionsKey() {
        for (REGSAM view : {kOwnView, kOtherView})
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kExtensionsKey, view, 0);
    }

    std::string folder_;
    std::string library_;
};

TEST_F(Regsvr32Test, TheRegsvr32UsedHasTheLibrarysBitness) {
    const WORD expected = k32Bit ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    EXPECT_EQ(MachineOf(library_), expected);
    EXPECT_EQ(MachineOf(Regsvr32()), expected) << Regsvr32();
}

TEST_F(Regsvr32Test, RegistersTheShortPathInTheViewOfItsBitnessAndDeletesTheCache) {
    CreateExtensionsKey();
    CreateCacheFile();

    EXPECT_EQ(RunRegsvr32("/s \"" + library_ + "\""), 0u);

    char shortPath[512] = "";
    ASSERT_NE(GetShortPathNameA(library_.c_str(), shortPath, sizeof shortPath), 0u);
    EXPECT_STRNE(shortPath, library_.c_str()) << "the prefix has no short names";
    const StoredValue value = ReadValue(kOwnView, "Quorvel");
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.bytes,
              "4.0;" + std::string(shortPath) + ";1;11111111111111;1111111" + std::string(1, '\0'));
    const StoredValue setup = ReadValue(kOwnView, "Outlook Setup Extension");
    EXPECT_EQ(setup.bytes, std::string(kSetupText) + std::string(1, '\0'));
    EXPECT_FALSE(Exists(CacheFile()));
    EXPECT_FALSE(ReadValue(kOtherView, "Quorvel").present);

    // Again, with no cache file left: the same values, the same success.
    EXPECT_EQ(RunRegsvr32("/s \"" + library_ + "\""), 0u);
    EXPECT_EQ(ReadValue(kOwnView, "Quorvel").bytes, value.bytes);
}

TEST_F(Regsvr32Test, WithoutTheMailClientsKeyRegsvr32ReportsTheFailure) {
    EXPECT_NE(RunRegsvr32("/s \"" + library_ + "\""), 0u);
    EXPECT_FALSE(KeyExists(kOwnView));
}

TEST_F(Regsvr32Test, UnregisteringRemovesTheValueAndRepeatsQuietly) {
    CreateExtensionsKey();
    ASSERT_EQ(RunRegsvr32("/s \"" + library_ + "\""), 0u);
    CreateCacheFile();

    EXPECT_EQ(RunRegsvr32("/u /s \"" + library_ + "\""), 0u);
    EXPECT_FALSE(ReadValue(kOwnView, "Quorvel").present);
    EXPECT_EQ(ReadValue(kOwnView, "Outlook Setup Extension").bytes,
              std::string(kSetupText) + std::string(1, '\0'));
    EXPECT_FALSE(Exists(CacheFile()));

    CreateCacheFile();
    EXPECT_EQ(RunRegsvr32("/u /s \"" + library_ + "\""), 0u);
    EXPECT_TRUE(Exists(CacheFile()));
    DeleteFileA(CacheFile().c_str());
}

// ---- The COM add-in, per user and for the machine ----

constexpr char kClassKey[] = "Software\\Classes\\CLSID\\{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}";
constexpr char kProgIdKey[] = "Software\\Classes\\Quorvel.Connect";
constexpr char kAddInKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Quorvel.Connect";

// The keys as a client of the library's bitness sees them.
bool KeyAt(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ | kOwnView, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool NoneOfTheAddInsKeys(HKEY root) {
    return !KeyAt(root, kClassKey) && !KeyAt(root, kProgIdKey) && !KeyAt(root, kAddInKey);
}

// Registers with `/n /i:<scope>` (DllInstall alone), checks the keys under
// `root` and none under `other` nor the extension's value, and unregisters.
void RoundTrip(const std::string& library, const char* scope, HKEY root, HKEY other) {
    SCOPED_TRACE(scope);
    const std::string options = std::string("/s /n /i:") + scope + " \"" + library + "\"";
    ASSERT_EQ(RunRegsvr32(options), 0u);
    const StoredValue server =
        StoredValueAt(root, (std::string(kClassKey) + "\\InprocServer32").c_str(), kOwnView, "");
    ASSERT_TRUE(server.present);
    EXPECT_EQ(server.bytes, library + std::string(1, '\0'));
    EXPECT_EQ(
        StoredValueAt(root, (std::string(kProgIdKey) + "\\CLSID").c_str(), kOwnView, "").bytes,
        "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}" + std::string(1, '\0'));
    const StoredValue behavior = StoredValueAt(root, kAddInKey, kOwnView, "LoadBehavior");
    ASSERT_TRUE(behavior.present);
    EXPECT_EQ(behavior.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(behavior.bytes, std::string("\x03\0\0\0", 4));
    EXPECT_EQ(StoredValueAt(root, kAddInKey, kOwnView, "FriendlyName").bytes,
              std::string("Quorvel") + '\0');
    EXPECT_TRUE(NoneOfTheAddInsKeys(other));
    // /n: DllRegisterServer was not called, the extension not registered.
    EXPECT_FALSE(ReadValue(kOwnView, "Quorvel").present);

    EXPECT_EQ(RunRegsvr32("/u " + options), 0u);
    EXPECT_TRUE(NoneOfTheAddInsKeys(root));
    EXPECT_TRUE(KeyAt(root, "Software\\Classes"));
    EXPECT_TRUE(ReadValue(kOwnView, "Outlook Setup Extension").present);
}

TEST_F(Regsvr32Test, TheAddInRoundTripsForTheUserAndForTheMachineEachInItsOwnKeys) {
    CreateExtensionsKey();
    RoundTrip(library_, "user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE);
    RoundTrip(library_, "machine", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER);
    // Another command line is refused, and regsvr32 says so.
    EXPECT_NE(RunRegsvr32("/s /n /i:everyone \"" + library_ + "\""), 0u);
    EXPECT_TRUE(NoneOfTheAddInsKeys(HKEY_CURRENT_USER));
    EXPECT_TRUE(NoneOfTheAddInsKeys(HKEY_LOCAL_MACHINE));
}

} // namespace
