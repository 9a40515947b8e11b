// Start-up where the system does not give what it should: no directory in
// the library's path, no application-data folder, paths at the length limits,
// a registry that refuses writes. Only the substitute platform can stage them.
// The start-up reports what it could not find and shows nothing; the doors
// tell the user (TellStartupProblems), here as there.
#include "test_support.h"

#include "control.h"
#include "data/settings.h"
#include "dialogs/startup_problems.h"

#include <cstring>

namespace {

class StartupTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
    }
};

TEST_F(StartupTest, WithoutABackslashInTheLibraryPathItReportsMessage2AndRunsWithoutPaths) {
    substitute::SetModulePath("Quorvel.dll");
    substitute::SetRegistryString(HKEY_CURRENT_USER,
                                  "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options",
                                  "Pause", "30");

    const StartupProblems problems = AttachLibrary(substitute::LibraryModule());

    EXPECT_TRUE(problems.noLibraryDirectory);
    EXPECT_FALSE(problems.noAppData) << "the start-up ends before it looks";
    EXPECT_TRUE(ShownMessageBoxes().empty());
    TellStartupProblems(problems);
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), 0x30), "Failed to find DLL directory.");

    EXPECT_STREQ(DataPaths.libraryDirectory, "");
    EXPECT_STREQ(DataPaths.sentList, "");
    EXPECT_STREQ(DataPaths.jobHistory, "");
    EXPECT_STREQ(DataPaths.currentJobLog, "");
    EXPECT_FALSE(IsFolder("C:\\Users\\Tester\\AppData\\Roaming\\Quorvel"));
    // The options keep their initial values: nothing was loaded.
    EXPECT_STREQ(JobOptions.ToList, "");
    EXPECT_STREQ(JobOptions.LastToFolder, "c:\\");
    EXPECT_EQ(JobOptions.Pause, 0);
    EXPECT_EQ(JobOptions.SaveOrig, 1);
    EXPECT_EQ(JobOptions.DoSendRecv, 0);
    EXPECT_EQ(JobOptions.SendRecvCount, 100);
}

TEST_F(StartupTest, WithoutAnApplicationDataFolderItReportsMessage17AndUsesTheLibraryDirectory) {
    substitute::SetModulePath("C:\\Apps\\Quorvel\\Quorvel.dll");
    substitute::SetSpecialFolder(CSIDL_APPDATA, "");

    const StartupProblems problems = AttachLibrary(substitute::LibraryModule());

    EXPECT_FALSE(problems.noLibraryDirectory);
    EXPECT_TRUE(problems.noAppData);
    EXPECT_TRUE(ShownMessageBoxes().empty());
    TellStartupProblems(problems);
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), 0x30),
              "Failed to find application data directory.");

    EXPECT_STREQ(DataPaths.libraryDirectory, "C:\\Apps\\Quorvel\\");
    EXPECT_TRUE(IsFolder("C:\\Apps\\Quorvel\\Quorvel"));
    EXPECT_STREQ(DataPaths.sentList, "C:\\Apps\\Quorvel\\Quorvel\\tosent.txt");
    EXPECT_STREQ(DataPaths.jobHistory, "C:\\Apps\\Quorvel\\Quorvel\\JobHistory.txt");
    EXPECT_STREQ(DataPaths.currentJobLog, "C:\\Apps\\Quorvel\\Quorvel\\CurrentJob.txt");
    EXPECT_STREQ(JobOptions.ToList, "C:\\Apps\\Quorvel\\SampleTo.txt");
}

TEST_F(StartupTest, ALibraryPathWithoutALongFormIsUsedAsItIs) {
    substitute::SetModulePath("C:\\Apps\\Quorvel\\Quorvel.dll");
    ASSERT_TRUE(DeleteFileA("C:\\Apps\\Quorvel\\Quorvel.dll")); // GetLongPathNameA fails

    const StartupProblems problems = AttachLibrary(substitute::LibraryModule());

    EXPECT_FALSE(problems.noLibraryDirectory);
    EXPECT_FALSE(problems.noAppData);
    EXPECT_STREQ(DataPaths.libraryDirectory, "C:\\Apps\\Quorvel\\");
}

TEST_F(StartupTest, TheDefaultListPathOfADeepLibraryDirectoryIsCutTo258Characters) {
    // A directory of 250 characters: its "SampleTo.txt" default is 262.
    const std::string directory = "C:\\" + std::string(246, 'd') + "\\";
    ASSERT_EQ(directory.size(), 250u);
    substitute::SetModulePath(directory + "Quorvel.dll");

    AttachLibrary(substitute::LibraryModule());

    EXPECT_EQ(std::string(DataPaths.libraryDirectory), directory);
    EXPECT_EQ(std::string(JobOptions.ToList), (directory + "SampleTo.txt").substr(0, 258));
    EXPECT_EQ(std::string(JobOptions.LastToFolder), directory);
}

TEST_F(StartupTest, LogPathsThatWouldNotFitAreLeftEmptyRatherThanCut) {
    // 241 characters: the data folder (249) fits, no log path does.
    const std::string appData = "C:\\" + std::string(238, 'a');
    substitute::SetSpecialFolder(CSIDL_APPDATA, appData);
    CreateDirectoryA(appData.c_str(), nullptr);

    AttachLibrary(substitute::LibraryModule());

    EXPECT_TRUE(IsFolder(appData + "\\Quorvel"));
    EXPECT_STREQ(DataPaths.sentList, "");      // would be 260 characters
    EXPECT_STREQ(DataPaths.jobHistory, "");    // 264
    EXPECT_STREQ(DataPaths.currentJobLog, ""); // 264

    // One character less and the sent list's path fits exactly (259 characters).
    ResetSettingsToLoadTime();
    const std::string shorter = "C:\\" + std::string(237, 'a');
    substitute::SetSpecialFolder(CSIDL_APPDATA, shorter);
    CreateDirectoryA(shorter.c_str(), nullptr);
    AttachLibrary(substitute::LibraryModule());
    EXPECT_EQ(std::string(DataPaths.sentList), shorter + "\\Quorvel\\tosent.txt");
    EXPECT_EQ(std::strlen(DataPaths.sentList), 259u);
    EXPECT_STREQ(DataPaths.jobHistory, "");
}

TEST_F(StartupTest, AStoreTheRegistryRefusesIsReportedAsNotStored) {
    substitute::DenyRegistryWrites(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(WriteSettingString("options", "ToList", "C:\\a.txt"), 0);
    EXPECT_EQ(WriteSettingInt("options", "Pause", 3), 0);
    SaveOptions(); // ignored, and nothing else happens
    EXPECT_FALSE(substitute::RegistryKeyExists(
        HKEY_CURRENT_USER, "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options"));
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

} // namespace
