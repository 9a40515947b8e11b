#include "test_support.h"

#include "control.h"

#include <fstream>
#include <iterator>

HMODULE TestModule() {
    return substitute::LibraryModule();
}

void PlatformTest::SetUp() {
    substitute::Reset();
}

std::string ReadFileBytes(const std::string& windowsPath) {
    std::ifstream in(substitute::HostPath(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes) {
    std::ofstream out(substitute::HostPath(windowsPath), std::ios::binary);
    out << bytes;
}
