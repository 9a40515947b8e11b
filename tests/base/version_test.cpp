// The library's own version, read from its version resource. Runs natively
// and under Wine.
#include "test_support.h"

#include "base/messages.h"
#include "data/settings.h"

namespace {

class VersionTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        DataPaths.module = TestModule();
    }
};

TEST_F(VersionTest, TheFileVersionIsReadFromTheVersionResource) {
    int major = -1, minor = -1;
    GetFileVersion(&major, &minor);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 1);
}

TEST_F(VersionTest, AFileWithoutVersionResourceGivesZeroZero) {
    DataPaths.module = ModuleWithoutVersionResource();
    ASSERT_NE(DataPaths.module, nullptr);
    int major = -1, minor = -1;
    GetFileVersion(&major, &minor);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 0);
}

} // namespace
