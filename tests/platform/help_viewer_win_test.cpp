// Which library the HTML Help loader loads: only ever one named by a full
// path, never one found by its bare name in the program's folder or the
// current directory.
#include "test_support.h"

namespace {

const char kServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr UINT kCloseAll = 0x12; // HH_CLOSE_ALL: harmless for any viewer

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.rfind('\\') + 1);
}

std::string SystemViewer() {
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, sizeof path);
    return std::string(path, n) + "\\hhctrl.ocx";
}

bool Loaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
}

// Sets the registered file (InstallRecordingHelpViewer first saves the
// registration, which the fixture puts back), or removes it.
void Register(const char* file) {
    InstallRecordingHelpViewer();
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    if (file)
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file),
                       static_cast<DWORD>(strlen(file) + 1));
    else
        RegDeleteValueA(key, nullptr);
    RegCloseKey(key);
}

class HelpViewerLoadTest : public PlatformTest {
protected:
    void TearDown() override {
        PlatformTest::TearDown(); // unloads the viewer
        if (!planted.empty())
            DeleteFileA(planted.c_str());
    }
    std::string planted;
};

TEST_F(HelpViewerLoadTest, ARegisteredFullPathIsLoadedAndCalledByOrdinal14) {
    const std::string recording = ProgramFolder() + "fake_html_help.dll";
    Register(recording.c_str());
    HtmlHelpViewer(nullptr, "x.chm", kCloseAll, 0);
    EXPECT_TRUE(Loaded(recording));
    ASSERT_EQ(HelpViewerCalls().size(), 1u);
    EXPECT_EQ(HelpViewerCalls()[0].command, kCloseAll);
}

TEST_F(HelpViewerLoadTest, ARegisteredBareNameIsNotSearchedForButTheSystemCopyIsLoaded) {
    Register("fake_html_help.dll"); // present in the program's folder
    HtmlHelpViewer(nullptr, nullptr, kCloseAll, 0);
    EXPECT_FALSE(Loaded(ProgramFolder() + "fake_html_help.dll"));
    EXPECT_TRUE(Loaded(SystemViewer()));
}

TEST_F(HelpViewerLoadTest, WithoutARegistrationAViewerPlantedInTheProgramFolderIsNotLoaded) {
    planted = ProgramFolder() + "hhctrl.ocx";
    ASSERT_TRUE(
        CopyFileA((ProgramFolder() + "fake_html_help.dll").c_str(), planted.c_str(), FALSE));
    Register(nullptr);
    HtmlHelpViewer(nullptr, nullptr, kCloseAll, 0);
    EXPECT_FALSE(Loaded(planted));
    EXPECT_TRUE(Loaded(SystemViewer()));
}

TEST_F(HelpViewerLoadTest, ARegisteredFileThatDoesNotLoadFallsBackToTheSystemCopy) {
    Register("C:\\nowhere\\hhctrl.ocx");
    HtmlHelpViewer(nullptr, nullptr, kCloseAll, 0);
    EXPECT_TRUE(Loaded(SystemViewer()));
}

} // namespace
