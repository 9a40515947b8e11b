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

std::string OnlyMessageBox(HWND owner, UINT flags) {
    const std::vector<ShownMessageBox> boxes = ShownMessageBoxes();
    EXPECT_EQ(boxes.size(), 1u);
    if (boxes.empty())
        return "";
    EXPECT_EQ(boxes[0].caption, "Quorvel");
    EXPECT_EQ(boxes[0].owner, owner);
    EXPECT_EQ(boxes[0].flags, flags);
    return boxes[0].text;
}
