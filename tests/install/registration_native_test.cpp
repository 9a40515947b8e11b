// Registration on the substitute platform's in-memory registry, where a
// machine-wide key can refuse writes, a key can be missing and the short
// form of a path can differ from it, be missing or fail.
#include "test_support.h"

#include "control.h"
#include "install/registration.h"

#include <filesystem>
#include <string>

namespace {

constexpr char kExtensionsKey[] = "SOFTWARE\\Microsoft\\Exchange\\Client\\Extensions";
constexpr char kLibrary[] = "C:\\Program Files\\Quorvel Mail Merge\\Quorvel.dll";
constexpr char kShortLibrary[] = "C:\\PROGRA~1\\QUORVE~1\\Quorvel.dll";
constexpr char kCacheFile[] = "C:\\Users\\Tester\\AppData\\Local\\Microsoft\\Outlook\\extend.dat";
constexpr char kSetupText[] = "4.0;Outxxx.dll;7;000000000000000;0000000000;OutXXX";

// A REG_SZ as it should be stored: the text and its terminating NUL.
substitute::RegistryValue StringValue(const std::string& text) {
    substitute::RegistryValue value;
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    return value;
}

std::string ExtensionFor(const std::string& path) {
    return "4.0;" + path + ";1;11111111111111;1111111";
}

bool operator==(const substitute::RegistryValue& a, const substitute::RegistryValue& b) {
    return a.type == b.type && a.data == b.data;
}

void CreateFile(const std::string& windowsPath) {
    const std::filesystem::path host = substitute::HostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    WriteFileBytes(windowsPath, "cache");
}

bool FileExists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A machine on which the mail client is installed: the extensions key holds
// the client's own value (with the text its set-up leaves) and another
// extension, and the client has cached what it knows of its extensions.
class RegistrationTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        substitute::SetModulePath(kLibrary);
        substitute::SetShortPathName(kLibrary, kShortLibrary);
        substitute::SetRegistryString(HKEY_LOCAL_MACHINE, kExtensionsKey, "Outlook Setup Extension",
                                      "4.0;Outxxx.dll;7;0");
        substitute::SetRegistryString(HKEY_LOCAL_MACHINE, kExtensionsKey, "Other Extension",
                                      "4.0;C:\\Other\\other.dll;1");
        CreateFile(kCacheFile);
    }

    static bool Value(const char* name, substitute::RegistryValue* value = nullptr) {
        return substitute::GetRegistryValue(HKEY_LOCAL_MACHINE, kExtensionsKey, name, value);
    }
    static substitute::RegistryValue ValueOf(const char* name) {
        substitute::RegistryValue value;
        EXPECT_TRUE(Value(name, &value)) << name;
        return value;
    }
    static HMODULE Library() { return substitute::LibraryModule(); }
};

TEST_F(RegistrationTest, RegistersTheShortPathRewritesTheSetupValueAndDeletesTheCache) {
    EXPECT_EQ(RegisterExtension(Library()), S_OK);

    // Both values are REG_SZ with their NUL counted: the path in its short
    // form, without the blanks of the long one.
    EXPECT_TRUE(ValueOf("Quorvel") == StringValue(ExtensionFor(kShortLibrary)));
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue(kSetupText));
    EXPECT_FALSE(FileExists(kCacheFile));
    EXPECT_TRUE(ValueOf("Other Extension") == StringValue("4.0;C:\\Other\\other.dll;1"));
}

TEST_F(RegistrationTest, RegisteringAgainWritesTheSameValuesAndNeedsNoCacheFile) {
    ASSERT_EQ(RegisterExtension(Library()), S_OK);
    ASSERT_FALSE(FileExists(kCacheFile));
    substitute::SetRegistryString(HKEY_LOCAL_MACHINE, kExtensionsKey, "Outlook Setup Extension",
                                  "changed by the client");

    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_TRUE(ValueOf("Quorvel") == StringValue(ExtensionFor(kShortLibrary)));
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue(kSetupText));

    CreateFile(kCacheFile);
    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_FALSE(FileExists(kCacheFile));
}

TEST_F(RegistrationTest, WithoutWriteAccessNothingChangesAndRegistrationFails) {
    substitute::DenyRegistryWrites(HKEY_LOCAL_MACHINE, "SOFTWARE");

    EXPECT_EQ(RegisterExtension(Library()), E_ACCESSDENIED);
    EXPECT_FALSE(Value("Quorvel"));
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue("4.0;Outxxx.dll;7;0"));
    EXPECT_TRUE(FileExists(kCacheFile));
}

TEST_F(RegistrationTest, WithoutTheExtensionsKeyNothingIsCreatedAndRegistrationFails) {
    substitute::Reset();
    substitute::SetModulePath(kLibrary);
    substitute::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Exchange\\Client",
                                  "Unrelated", "x");
    CreateFile(kCacheFile);

    EXPECT_EQ(RegisterExtension(Library()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(substitute::RegistryKeyExists(HKEY_LOCAL_MACHINE, kExtensionsKey));
    EXPECT_TRUE(FileExists(kCacheFile));
}

TEST_F(RegistrationTest, WithoutAShortFormTheFullPathIsRegistered) {
    // GetShortPathNameA fails.
    substitute::SetShortPathName(kLibrary, "");
    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_TRUE(ValueOf("Quorvel") == StringValue(ExtensionFor(kLibrary)));

    // A volume without 8.3 names gives the long path back as its short form.
    substitute::SetModulePath("D:\\NoShortNames\\Quorvel.dll");
    substitute::MapDrive('D', substitute::HostPath("C:\\Drive D"));
    std::filesystem::create_directories(substitute::HostPath("D:\\NoShortNames"));
    WriteFileBytes("D:\\NoShortNames\\Quorvel.dll", "MZ");
    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_TRUE(ValueOf("Quorvel") == StringValue(ExtensionFor("D:\\NoShortNames\\Quorvel.dll")));
}

TEST_F(RegistrationTest, WithoutTheLibraryPathNothingIsWrittenAndRegistrationFails) {
    substitute::SetModulePath("");
    EXPECT_TRUE(FAILED(RegisterExtension(Library())));
    EXPECT_FALSE(Value("Quorvel"));

    // A path longer than the 260-byte buffer comes back cut: registering the
    // cut path would name a file that does not exist.
    substitute::SetModulePath("C:\\" + std::string(270, 'q') + ".dll");
    EXPECT_EQ(RegisterExtension(Library()), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(Value("Quorvel"));
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue("4.0;Outxxx.dll;7;0"));
    EXPECT_TRUE(FileExists(kCacheFile));
}

TEST_F(RegistrationTest, ACacheFilePathBeyondThePathBufferIsLeftAlone) {
    const std::string tail = "\\Microsoft\\Outlook\\extend.dat";
    // 259 characters with the tail: fits the 260-byte buffer and is deleted.
    const std::string fits = "C:\\" + std::string(259 - 3 - tail.size(), 'f');
    substitute::SetSpecialFolder(CSIDL_LOCAL_APPDATA, fits);
    CreateFile(fits + tail);
    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_FALSE(FileExists(fits + tail));

    // One character more: the path would be cut to a file of another name,
    // which is kept; registration itself still succeeds.
    const std::string longer = fits + "g";
    const std::string cut = (longer + tail).substr(0, 259);
    substitute::SetSpecialFolder(CSIDL_LOCAL_APPDATA, longer);
    CreateFile(cut);
    EXPECT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_TRUE(FileExists(cut));
    EXPECT_TRUE(ValueOf("Quorvel") == StringValue(ExtensionFor(kShortLibrary)));
}

TEST_F(RegistrationTest, UnregisteringRemovesTheValueRewritesTheSetupValueAndDeletesTheCache) {
    ASSERT_EQ(RegisterExtension(Library()), S_OK);
    substitute::SetRegistryString(HKEY_LOCAL_MACHINE, kExtensionsKey, "Outlook Setup Extension",
                                  "changed by the client");
    CreateFile(kCacheFile);

    EXPECT_EQ(UnregisterExtension(), S_OK);
    EXPECT_FALSE(Value("Quorvel"));
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue(kSetupText));
    EXPECT_FALSE(FileExists(kCacheFile));
    EXPECT_TRUE(Value("Other Extension"));
}

TEST_F(RegistrationTest, UnregisteringWhatIsNotRegisteredTouchesNothingAndSucceeds) {
    // Never registered, or a second time: the client's value and cache stay.
    EXPECT_EQ(UnregisterExtension(), S_OK);
    EXPECT_TRUE(ValueOf("Outlook Setup Extension") == StringValue("4.0;Outxxx.dll;7;0"));
    EXPECT_TRUE(FileExists(kCacheFile));

    ASSERT_EQ(RegisterExtension(Library()), S_OK);
    EXPECT_EQ(UnregisterExtension(), S_OK);
    CreateFile(kCacheFile);
    EXPECT_EQ(UnregisterExtension(), S_OK);
    EXPECT_TRUE(FileExists(kCacheFile));

    // Without write access the value stays registered; without the key
    // nothing is created. Neither is reported.
    ASSERT_EQ(RegisterExtension(Library()), S_OK);
    substitute::DenyRegistryWrites(HKEY_LOCAL_MACHINE, kExtensionsKey);
    EXPECT_EQ(UnregisterExtension(), S_OK);
    EXPECT_TRUE(Value("Quorvel"));

    substitute::Reset();
    EXPECT_EQ(UnregisterExtension(), S_OK);
    EXPECT_FALSE(substitute::RegistryKeyExists(HKEY_LOCAL_MACHINE, kExtensionsKey));
}

} // namespace
