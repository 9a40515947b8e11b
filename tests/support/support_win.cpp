#include "test_support.h"

#include <cstdio>

HMODULE TestModule() {
    return GetModuleHandleA(nullptr);
}

void PlatformTest::SetUp() {}

std::string ReadFileBytes(const std::string& windowsPath) {
    std::string bytes;
    if (FILE* f = std::fopen(windowsPath.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes) {
    if (FILE* f = std::fopen(windowsPath.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}
