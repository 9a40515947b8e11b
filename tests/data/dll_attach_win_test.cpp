// Quorvel.dll itself: loading it into a process runs the start-up.
#include "test_support.h"

namespace {

using LibraryLoadTest = PlatformTest;

TEST_F(LibraryLoadTest, LoadingTheLibraryCreatesTheDataFolderAndLeavesTheCurrentDirectory) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string library(path, n);
    library.replace(library.rfind('\\') + 1, std::string::npos, "Quorvel.dll");
    char appData[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE));
    const std::string dataFolder = std::string(appData) + "\\Quorvel";
    ASSERT_FALSE(IsFolder(dataFolder));
    const std::string before = CurrentDirectory();

    HMODULE module = LoadLibraryA(library.c_str());
    ASSERT_NE(module, nullptr) << library << ": error " << GetLastError();
    EXPECT_TRUE(IsFolder(dataFolder));
    EXPECT_EQ(CurrentDirectory(), before);
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
