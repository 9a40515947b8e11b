// Per-user registration of the COM add-in on the substitute's in-memory
// registry: exactly the class, the ProgID and the client's add-in key
// under HKEY_CURRENT_USER, removed exactly, never half written.
#include "test_support.h"

#include "control.h"
#include "install/user_registration.h"

#include <string>

namespace {

constexpr char kLibrary[] = "C:\\Users\\Tester\\AppData\\Local\\Quorvel Mail Merge\\Quorvel.dll";
constexpr char kClassKey[] = "Software\\Classes\\CLSID\\{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}";
constexpr char kProgIdKey[] = "Software\\Classes\\Quorvel.Connect";
constexpr char kAddInKey[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Quorvel.Connect";
constexpr char kOtherAddIn[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Other.Connect";

std::string StringAt(const std::string& path, const std::string& name) {
    substitute::RegistryValue value;
    if (!substitute::GetRegistryValue(HKEY_CURRENT_USER, path, name, &value) ||
        value.type != REG_SZ || value.data.empty() || value.data.back() != 0)
        return "<missing or unterminated>";
    return std::string(value.data.begin(), value.data.end() - 1);
}

class UserRegistrationTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        substitute::SetModulePath(kLibrary);
        // Another add-in of the user's, which must survive everything here.
        substitute::SetRegistryString(HKEY_CURRENT_USER, kOtherAddIn, "FriendlyName", "Other");
    }
    bool Exists(const std::string& path) {
        return substitute::RegistryKeyExists(HKEY_CURRENT_USER, path);
    }
};

TEST_F(UserRegistrationTest, RegisteringWritesTheClassTheProgIdAndTheAddInKey) {
    ASSERT_EQ(InstallForCommandLine(TRUE, OLESTR("user"), TestModule()), S_OK);
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
        substitute::GetRegistryValue(HKEY_CURRENT_USER, kAddInKey, "LoadBehavior", &behavior));
    EXPECT_EQ(behavior.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(behavior.data.size(), 4u);
    EXPECT_EQ(behavior.data[0], 3);
    // Nothing machine-wide.
    EXPECT_FALSE(substitute::RegistryKeyExists(HKEY_LOCAL_MACHINE, kClassKey));
    // Registering again changes nothing.
    EXPECT_EQ(InstallForCommandLine(TRUE, OLESTR("USER"), TestModule()), S_OK);
    EXPECT_EQ(StringAt(server, ""), kLibrary);
}

TEST_F(UserRegistrationTest, UnregisteringRemovesExactlyWhatRegisteringWrote) {
    ASSERT_EQ(InstallForCommandLine(TRUE, OLESTR("user"), TestModule()), S_OK);
    ASSERT_EQ(InstallForCommandLine(FALSE, OLESTR("user"), TestModule()), S_OK);
    EXPECT_FALSE(Exists(kClassKey));
    EXPECT_FALSE(Exists(kProgIdKey));
    EXPECT_FALSE(Exists(kAddInKey));
    EXPECT_TRUE(Exists("Software\\Classes\\CLSID"));
    EXPECT_TRUE(Exists("Software\\Microsoft\\Office\\Outlook\\Addins"));
    EXPECT_EQ(StringAt(kOtherAddIn, "FriendlyName"), "Other");
    // Unregistering what is not registered is not a failure.
    EXPECT_EQ(InstallForCommandLine(FALSE, OLESTR("user"), TestModule()), S_OK);
}

TEST_F(UserRegistrationTest, OnlyTheUserCommandLineIsUnderstood) {
    for (LPCWSTR line :
         {static_cast<LPCWSTR>(nullptr), static_cast<LPCWSTR>(OLESTR("")),
          static_cast<LPCWSTR>(OLESTR("machine")), static_cast<LPCWSTR>(OLESTR("users"))}) {
        EXPECT_EQ(InstallForCommandLine(TRUE, line, TestModule()), E_INVALIDARG);
        EXPECT_EQ(InstallForCommandLine(FALSE, line, TestModule()), E_INVALIDARG);
    }
    EXPECT_FALSE(Exists(kClassKey));
    EXPECT_FALSE(Exists(kAddInKey));
}

TEST_F(UserRegistrationTest, AFailedWriteLeavesNoHalfRegistration) {
    substitute::DenyRegistryWrites(HKEY_CURRENT_USER,
                                   "Software\\Microsoft\\Office\\Outlook\\Addins");
    const HRESULT hr = InstallForCommandLine(TRUE, OLESTR("user"), TestModule());
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Exists(kClassKey)) << "a class the client would never be told of";
    EXPECT_FALSE(Exists(kProgIdKey));
    EXPECT_FALSE(Exists(kAddInKey));
}

} // namespace
