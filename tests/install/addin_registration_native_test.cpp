// Registration of the COM add-in on the substitute's in-memory registry, for
// the current user and for the machine: exactly the class, the ProgID and
// the client's add-in key under that scope's root, removed exactly, never
// half written, and neither scope touching the other's.
#include "test_support.h"

#include "control.h"
#include "install/addin_registration.h"

#include <string>

namespace {

constexpr char kLibrary[] = "C:\\Users\\Tester\\AppData\\Local\\Quorvel Mail Merge\\Quorvel.dll";
constexpr char kClassKey[] = "Software\\Classes\\CLSID\\{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}";
constexpr char kProgIdKey[] = "Software\\Classes\\Quorvel.Connect";
constexpr char kAddInKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Quorvel.Connect";
constexpr char kOtherAddIn[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Other.Connect";

struct Scope {
    const char* commandLine;
    HKEY root, otherRoot;
};
void PrintTo(const Scope& scope, std::ostream* out) {
    *out << scope.commandLine;
}
const Scope kUser{"user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
const Scope kMachine{"machine", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

std::basic_string<WCHAR> Wide(const char* text) {
    return std::basic_string<WCHAR>(text, text + std::char_traits<char>::length(text));
}

class AddInRegistrationTest : public PlatformTest, public ::testing::WithParamInterface<Scope> {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        substitute::SetModulePath(kLibrary);
        // Another add-in in each root, which must survive everything here.
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            substitute::SetRegistryString(root, kOtherAddIn, "FriendlyName", "Other");
    }
    HRESULT Install(BOOL install) {
        return InstallForCommandLine(install, Wide(GetParam().commandLine).c_str(), TestModule());
    }
    static std::string StringAt(HKEY root, const std::string& path, const std::string& name) {
        substitute::RegistryValue value;
        if (!substitute::GetRegistryValue(root, path, name, &value) || value.type != REG_SZ ||
            value.data.empty() || value.data.back() != 0)
            return "<missing or unterminated>";
        return std::string(value.data.begin(), value.data.end() - 1);
    }
    std::string StringAt(const std::string& path, const std::string& name) {
        return StringAt(GetParam().root, path, name);
    }
    bool Exists(HKEY root, const std::string& path) {
        return substitute::RegistryKeyExists(root, path);
    }
    bool NoneOfItsKeysIn(HKEY root) {
        return !Exists(root, kClassKey) && !Exists(root, kProgIdKey) && !Exists(root, kAddInKey);
    }
};

TEST_P(AddInRegistrationTest, RegisteringWritesTheClassTheProgIdAndTheAddInKeyInItsRootAlone) {
    ASSERT_EQ(Install(TRUE), S_OK);
    const std::string server = std::string(kClassKey) + "\\InprocServer32";
    EXPECT_EQ(StringAt(server, ""), kLibrary) << "the full path, blanks and all";
    EXPECT_EQ(StringAt(server, "ThreadingModel"), "Apartment");
    EXPECT_EQ(StringAt(std::string(kClassKey) + "\\ProgID", ""), "Quorvel.Connect");
    EXPECT_EQ(StringAt(std::string(kProgIdKey) + "\\CLSID", ""),
              "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}");
    EXPECT_EQ(StringAt(kAddInKey, "FriendlyName"), "Quorvel");
    EXPECT_EQ(StringAt(kAddInKey, "Description"), "Send individual copies of a message to a list");
    substitute::RegistryValue behavior;
    ASSERT_TRUE(
        substitute::GetRegistryValue(GetParam().root, kAddInKey, "LoadBehavior", &behavior));
    EXPECT_EQ(behavior.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(behavior.data.size(), 4u);
    EXPECT_EQ(behavior.data[0], 3);
    EXPECT_TRUE(NoneOfItsKeysIn(GetParam().otherRoot));
    // Registering again, in any case of the command line, changes nothing.
    std::basic_string<WCHAR> upper = Wide(GetParam().commandLine);
    for (WCHAR& c : upper)
        c = static_cast<WCHAR>(c - 'a' + 'A');
    EXPECT_EQ(InstallForCommandLine(TRUE, upper.c_str(), TestModule()), S_OK);
    EXPECT_EQ(StringAt(server, ""), kLibrary);
}

TEST_P(AddInRegistrationTest, UnregisteringRemovesExactlyWhatRegisteringWroteAndNotTheOtherScopes) {
    // The other scope registered too, as when one user installed for
    // themselves on a machine installed for all.
    const std::basic_string<WCHAR> other =
        Wide(GetParam().root == HKEY_CURRENT_USER ? "machine" : "user");
    ASSERT_EQ(InstallForCommandLine(TRUE, other.c_str(), TestModule()), S_OK);
    ASSERT_EQ(Install(TRUE), S_OK);
    ASSERT_EQ(Install(FALSE), S_OK);
    const HKEY root = GetParam().root;
    EXPECT_TRUE(NoneOfItsKeysIn(root));
    EXPECT_TRUE(Exists(root, "Software\\Classes\\CLSID"));
    EXPECT_TRUE(Exists(root, "Software\\Microsoft\\Office\\Outlook\\Addins"));
    EXPECT_EQ(StringAt(kOtherAddIn, "FriendlyName"), "Other");
    EXPECT_EQ(StringAt(GetParam().otherRoot, std::string(kClassKey) + "\\InprocServer32", ""),
              kLibrary);
    EXPECT_TRUE(Exists(GetParam().otherRoot, kAddInKey));
    // Unregistering what is not registered is not a failure.
    EXPECT_EQ(Install(FALSE), S_OK);
}

TEST_P(AddInRegistrationTest, AFailedWriteLeavesNoHalfRegistration) {
    // For the machine: a user without administrator rights.
    substitute::DenyRegistryWrites(GetParam().root, "Software\\Microsoft\\Office\\Outlook\\Addins");
    EXPECT_EQ(Install(TRUE), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(NoneOfItsKeysIn(GetParam().root)) << "a class the client would never be told of";
}

INSTANTIATE_TEST_SUITE_P(Scopes, AddInRegistrationTest, ::testing::Values(kUser, kMachine),
                         [](const ::testing::TestParamInfo<Scope>& info) {
                             return std::string(info.param.commandLine);
                         });

class AddInCommandLineTest : public PlatformTest {};

TEST_F(AddInCommandLineTest, OnlyUserAndMachineAreUnderstood) {
    for (LPCWSTR line :
         {static_cast<LPCWSTR>(nullptr), static_cast<LPCWSTR>(OLESTR("")),
          static_cast<LPCWSTR>(OLESTR("users")), static_cast<LPCWSTR>(OLESTR("machines")),
          static_cast<LPCWSTR>(OLESTR("user machine"))}) {
        EXPECT_EQ(InstallForCommandLine(TRUE, line, TestModule()), E_INVALIDARG);
        EXPECT_EQ(InstallForCommandLine(FALSE, line, TestModule()), E_INVALIDARG);
    }
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_FALSE(substitute::RegistryKeyExists(root, kClassKey));
        EXPECT_FALSE(substitute::RegistryKeyExists(root, kAddInKey));
    }
}

} // namespace
