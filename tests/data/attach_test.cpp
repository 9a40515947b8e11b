// The start-up when the library is attached to the host process: its
// directory, the per-user data folder and the log paths, the options. Runs
// natively and under Wine with the test program's own module.
#include "test_support.h"

#include "data/settings.h"

#include <cstring>

namespace {

class AttachTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        char path[MAX_PATH] = "";
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, FALSE));
        appData = path;
        dataFolder = appData + "\\Quorvel";
        ASSERT_FALSE(IsFolder(dataFolder));
        DWORD n = GetModuleFileNameA(TestModule(), path, sizeof path);
        libraryDirectory = std::string(path, n);
        libraryDirectory.erase(libraryDirectory.rfind('\\') + 1);
    }

    std::string appData, dataFolder, libraryDirectory;
};

TEST_F(AttachTest, FindsTheLibraryDirectoryCreatesTheDataFolderAndBuildsTheLogPaths) {
    const StartupProblems problems = AttachLibrary(TestModule());
    EXPECT_FALSE(problems.noLibraryDirectory);
    EXPECT_FALSE(problems.noAppData);
    EXPECT_EQ(DataPaths.module, TestModule());
    EXPECT_EQ(std::string(DataPaths.libraryDirectory), libraryDirectory);
    EXPECT_EQ(std::string(DataPaths.sentList), appData + "\\Quorvel\\tosent.txt");
    EXPECT_EQ(std::string(DataPaths.jobHistory), appData + "\\Quorvel\\JobHistory.txt");
    EXPECT_EQ(std::string(DataPaths.currentJobLog), appData + "\\Quorvel\\CurrentJob.txt");
    EXPECT_TRUE(IsFolder(dataFolder));
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

TEST_F(AttachTest, LoadsTheOptionsWithDefaultsFromTheLibraryDirectory) {
    AttachLibrary(TestModule());
    EXPECT_EQ(std::string(JobOptions.ToList), libraryDirectory + "SampleTo.txt");
    EXPECT_EQ(std::string(JobOptions.LastToFolder), libraryDirectory);
    EXPECT_EQ(JobOptions.Pause, 0);
    EXPECT_EQ(JobOptions.SaveOrig, 1);
    EXPECT_EQ(JobOptions.DoSendRecv, 0);
    EXPECT_EQ(JobOptions.SendRecvCount, 100);
    HKEY key;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tamsor Software\\Quorvel", 0, KEY_READ, &key),
        ERROR_SUCCESS)
        << "nothing is written until the options are first saved";

    ASSERT_EQ(WriteSettingInt("options", "Pause", 12000), 1);
    ASSERT_EQ(WriteSettingString("options", "ToList", "C:\\mine.txt"), 1);
    ResetSettingsToLoadTime();
    AttachLibrary(TestModule());
    EXPECT_EQ(JobOptions.Pause, 9999);
    EXPECT_STREQ(JobOptions.ToList, "C:\\mine.txt");
}

TEST_F(AttachTest, AnExistingDataFolderIsLeftAsItIs) {
    ASSERT_TRUE(CreateDirectoryA(dataFolder.c_str(), nullptr));
    WriteFileBytes(dataFolder + "\\JobHistory.txt", "earlier jobs\r\n");
    AttachLibrary(TestModule());
    EXPECT_TRUE(IsFolder(dataFolder));
    EXPECT_EQ(ReadFileBytes(dataFolder + "\\JobHistory.txt"), "earlier jobs\r\n");
}

TEST_F(AttachTest, TheHostsCurrentDirectoryIsTheSameAfterwards) {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(temp));
    const std::string before = CurrentDirectory();

    AttachLibrary(TestModule()); // creates the data folder
    EXPECT_TRUE(IsFolder(dataFolder));
    EXPECT_EQ(CurrentDirectory(), before);

    ResetSettingsToLoadTime();
    AttachLibrary(TestModule()); // enters the existing one
    EXPECT_EQ(CurrentDirectory(), before);
}

} // namespace
