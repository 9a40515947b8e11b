// Test helpers that are written the same way for both builds.
#include "test_support.h"

bool IsFolder(const std::string& windowsPath) {
    DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CurrentDirectory() {
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof path, path);
    return path;
}
