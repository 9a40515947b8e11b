// What every test program shares, in both builds.
#pragma once

#include "platform.h"

#include <gtest/gtest.h>

#include <string>

// The module that holds the library's resources in a test program: the
// library module natively, the test program itself on Windows (it links the
// same resource script).
HMODULE TestModule();

// A fixture that gives each test a fresh platform: natively the whole
// substitute world is reset; on Windows the test's registry keys and data
// folders are removed.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// Reads a whole file by its Windows path, bytes unchanged.
std::string ReadFileBytes(const std::string& windowsPath);
// Writes bytes unchanged to a Windows path.
void WriteFileBytes(const std::string& windowsPath, const std::string& bytes);
