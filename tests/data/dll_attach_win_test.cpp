// Quorvel.dll itself: loading it runs nothing but keeping its module (the
// loader lock is held there); the start-up runs on the first call of its
// entry point, once.
#include "test_support.h"

namespace {

using LibraryLoadTest = PlatformTest;

using EntryPoint = LPEXCHEXT(CALLBACK*)();

TEST_F(LibraryLoadTest, TheFirstEntryPointCreatesTheDataFolderAndLeavesTheCurrentDirectory) {
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
    EXPECT_FALSE(IsFolder(dataFolder)); // nothing at load time
    EntryPoint entry = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    ASSERT_NE(entry, nullptr);
    LPEXCHEXT first = entry();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(IsFolder(dataFolder));
    EXPECT_EQ(CurrentDirectory(), before);
    ASSERT_TRUE(RemoveDirectoryA(dataFolder.c_str()));
    LPEXCHEXT second = entry();
    EXPECT_FALSE(IsFolder(dataFolder)); // the start-up ran once
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_TRUE(ShownMessageBoxes().empty());
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
