// The options in the per-user registry key: how values are read, written,
// defaulted, scanned and clamped. Runs natively and against the real
// registry under Wine.
#include "test_support.h"

#include "data/settings.h"

#include <climits>
#include <cstring>

namespace {

const char kOptionsKey[] = "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options";

void StoreRaw(const char* name, DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// A string stored as the product stores it: REG_SZ with its NUL.
void StoreText(const char* name, const std::string& text) {
    StoreRaw(name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
};

bool LoadRaw(const char* name, RawValue* value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char data[1024];
    DWORD size = sizeof data;
    LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &value->type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    value->bytes.assign(data, size);
    return true;
}

bool OptionsKeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class SettingsTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        std::strcpy(DataPaths.libraryDirectory, "C:\\Program Files\\Quorvel\\");
    }
};

// ---- Strings ---------------------------------------------------------------------------

TEST_F(SettingsTest, AWrittenStringIsStoredAsRegSzWithItsNulUnderTheClassedProductKey) {
    EXPECT_EQ(WriteSettingString("options", "ToList", "C:\\lists\\club.txt"), 1);
    RawValue raw;
    ASSERT_TRUE(LoadRaw("ToList", &raw));
    EXPECT_EQ(raw.type, DWORD(REG_SZ));
    EXPECT_EQ(raw.bytes, std::string("C:\\lists\\club.txt\0", 18)); // with the NUL
    EXPECT_EQ(RegistryKeyClass(HKEY_CURRENT_USER, kOptionsKey), "Application Per-User Data");

    char text[259];
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "default", sizeof text), 1);
    EXPECT_STREQ(text, "C:\\lists\\club.txt");
}

TEST_F(SettingsTest, AMissingKeyOrValueYieldsTheDefault) {
    char text[50];
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "C:\\default.txt", sizeof text), 1);
    EXPECT_STREQ(text, "C:\\default.txt");
    EXPECT_FALSE(OptionsKeyExists()) << "reading must not create the key";

    StoreText("Pause", "5");
    std::strcpy(text, "old");
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "other", sizeof text), 1);
    EXPECT_STREQ(text, "other");
}

TEST_F(SettingsTest, AValueThatDoesNotFitTheBufferYieldsTheDefault) {
    StoreText("ToList", "abcdefgh"); // 9 bytes with the NUL
    char text[16];
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", 8), 1);
    EXPECT_STREQ(text, "dflt");
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", 9), 1);
    EXPECT_STREQ(text, "abcdefgh");
}

TEST_F(SettingsTest, TheDefaultIsCutToTheBufferAndRefusedFrom300Characters) {
    char text[300];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "0123456789", 8), 1);
    EXPECT_STREQ(text, "0123456");

    const std::string long299(299, 'd');
    EXPECT_EQ(ReadSettingString("options", "ToList", text, long299.c_str(), 100), 1);
    EXPECT_EQ(std::string(text), std::string(99, 'd'));

    const std::string long300(300, 'd');
    std::strcpy(text, "unchanged");
    EXPECT_EQ(ReadSettingString("options", "ToList", text, long300.c_str(), 100), 0);
    EXPECT_STREQ(text, "unchanged");
}

TEST_F(SettingsTest, ABufferOf300BytesOrMoreIsRefusedEvenWhenTheValueExists) {
    StoreText("ToList", "stored");
    char text[400];
    std::strcpy(text, "unchanged");
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", 300), 0);
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", 299), 1);
    EXPECT_STREQ(text, "stored");
}

// A value stored without a terminating NUL (a REG_SZ written short, or a
// REG_BINARY) comes back from the registry unterminated.
TEST_F(SettingsTest, AnUnterminatedValueEndsUpTerminatedWithinTheBuffer) {
    char text[16];
    StoreRaw("ToList", REG_BINARY, "abc");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", sizeof text), 1);
    EXPECT_STREQ(text, "abc");

    StoreRaw("ToList", REG_SZ, "C:\\a");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", sizeof text), 1);
    EXPECT_STREQ(text, "C:\\a");

    // Filling the whole buffer leaves no room for the NUL: it did not fit.
    StoreRaw("ToList", REG_BINARY, "12345678");
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", 8), 1);
    EXPECT_STREQ(text, "dflt");

    StoreRaw("Pause", REG_BINARY, "30");
    EXPECT_EQ(ReadSettingInt("options", "Pause", 7), 30);
}

TEST_F(SettingsTest, TheValueTypeIsNotLookedAt) {
    StoreRaw("ToList", REG_EXPAND_SZ, std::string("C:\\x.txt\0", 9));
    char text[50];
    EXPECT_EQ(ReadSettingString("options", "ToList", text, "dflt", sizeof text), 1);
    EXPECT_STREQ(text, "C:\\x.txt");
}

// ---- Integers ------------------------------------------------------------------------------

TEST_F(SettingsTest, IntegersAreScannedAsDecimalTextUpToTheFirstOtherCharacter) {
    const struct {
        const char* stored;
        int expected;
    } cases[] = {
        {"12abc", 12},
        {"  7", 7},
        {"\t-5", -5},
        {"+3", 3},
        {"0x10", 0},
        {"abc", 55},
        {"", 55},
        {"-", 55},
        {"- 5", 55},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        StoreText("Pause", c.stored);
        EXPECT_EQ(ReadSettingInt("options", "Pause", 55), c.expected)
            << "stored \"" << c.stored << "\"";
    }
    EXPECT_EQ(ReadSettingInt("options", "Missing", -8), -8);
}

TEST_F(SettingsTest, IntegersAreWrittenAsDecimalRegSzText) {
    EXPECT_EQ(WriteSettingInt("options", "Pause", 30), 1);
    EXPECT_EQ(WriteSettingInt("options", "SaveOrig", -7), 1);
    RawValue raw;
    ASSERT_TRUE(LoadRaw("Pause", &raw));
    EXPECT_EQ(raw.type, DWORD(REG_SZ));
    EXPECT_EQ(raw.bytes, std::string("30\0", 3));
    ASSERT_TRUE(LoadRaw("SaveOrig", &raw));
    EXPECT_EQ(raw.bytes, std::string("-7\0", 3));
}

// ---- The options -------------------------------------------------------------------------------

TEST_F(SettingsTest, FirstRunWithoutAKeyGivesTheDefaultsAndWritesNothing) {
    LoadOptions();
    EXPECT_STREQ(JobOptions.ToList, "C:\\Program Files\\Quorvel\\SampleTo.txt");
    EXPECT_STREQ(JobOptions.LastToFolder, "C:\\Program Files\\Quorvel\\");
    EXPECT_EQ(JobOptions.Pause, 0);
    EXPECT_EQ(JobOptions.SaveOrig, 1);
    EXPECT_EQ(JobOptions.DoSendRecv, 0);
    EXPECT_EQ(JobOptions.SendRecvCount, 100);
    EXPECT_FALSE(OptionsKeyExists());
}

TEST_F(SettingsTest, StoredOptionsAreLoaded) {
    StoreText("ToList", "D:\\lists\\members.csv");
    StoreText("LastToFolder", "D:\\lists\\");
    StoreText("Pause", "30");
    StoreText("SaveOrig", "0");
    StoreText("DoSendRecv", "1");
    StoreText("SendRecvCount", "25");
    LoadOptions();
    EXPECT_STREQ(JobOptions.ToList, "D:\\lists\\members.csv");
    EXPECT_STREQ(JobOptions.LastToFolder, "D:\\lists\\");
    EXPECT_EQ(JobOptions.Pause, 30);
    EXPECT_EQ(JobOptions.SaveOrig, 0);
    EXPECT_EQ(JobOptions.DoSendRecv, 1);
    EXPECT_EQ(JobOptions.SendRecvCount, 25);
}

TEST_F(SettingsTest, PauseAndSendRecvCountAreClampedTheFlagsAreTakenAsStored) {
    const struct {
        const char* pause;
        const char* count;
        const char* saveOrig;
        const char* doSendRecv;
        int expectedPause, expectedCount, expectedSaveOrig, expectedDoSendRecv;
    } cases[] = {
        {"-5", "0", "7", "2", 0, 1, 7, 2},       {"12000", "12000", "-1", "-3", 9999, 9999, -1, -3},
        {"9999", "1", "0", "0", 9999, 1, 0, 0},  {"0", "9999", "1", "1", 0, 9999, 1, 1},
        {"12abc", "-40", "1", "1", 12, 1, 1, 1},
    };
    for (const auto& c : cases) {
        StoreText("Pause", c.pause);
        StoreText("SendRecvCount", c.count);
        StoreText("SaveOrig", c.saveOrig);
        StoreText("DoSendRecv", c.doSendRecv);
        LoadOptions();
        EXPECT_EQ(JobOptions.Pause, c.expectedPause) << "Pause \"" << c.pause << "\"";
        EXPECT_EQ(JobOptions.SendRecvCount, c.expectedCount)
            << "SendRecvCount \"" << c.count << "\"";
        EXPECT_EQ(JobOptions.SaveOrig, c.expectedSaveOrig);
        EXPECT_EQ(JobOptions.DoSendRecv, c.expectedDoSendRecv);
    }
}

TEST_F(SettingsTest, ANumberThatIsNotANumberKeepsTheValueFromBeforeTheLoad) {
    JobOptions.Pause = 42;
    JobOptions.SaveOrig = 0;
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 250;
    for (const char* name : {"Pause", "SaveOrig", "DoSendRecv", "SendRecvCount"})
        StoreText(name, "none");
    LoadOptions();
    EXPECT_EQ(JobOptions.Pause, 42);
    EXPECT_EQ(JobOptions.SaveOrig, 0);
    EXPECT_EQ(JobOptions.DoSendRecv, 1);
    EXPECT_EQ(JobOptions.SendRecvCount, 250);
}

TEST_F(SettingsTest, APathOfMoreThan258CharactersIsReplacedByTheDefault) {
    const std::string fits = "C:\\" + std::string(255, 'p');    // 258 characters
    const std::string tooLong = "C:\\" + std::string(256, 'p'); // 259
    StoreText("ToList", fits);
    StoreText("LastToFolder", tooLong);
    LoadOptions();
    EXPECT_EQ(std::string(JobOptions.ToList), fits);
    EXPECT_STREQ(JobOptions.LastToFolder, "C:\\Program Files\\Quorvel\\");

    StoreText("ToList", tooLong);
    LoadOptions();
    EXPECT_STREQ(JobOptions.ToList, "C:\\Program Files\\Quorvel\\SampleTo.txt");

    // The same 259 characters stored without their NUL fill the read buffer.
    StoreRaw("ToList", REG_SZ, tooLong);
    LoadOptions();
    EXPECT_STREQ(JobOptions.ToList, "C:\\Program Files\\Quorvel\\SampleTo.txt");
}

TEST_F(SettingsTest, SavedOptionsAreAllRegSzTextAndLoadBack) {
    std::strcpy(JobOptions.ToList, "E:\\m\\list.txt");
    std::strcpy(JobOptions.LastToFolder, "E:\\m\\");
    JobOptions.Pause = 30;
    JobOptions.SaveOrig = 0;
    JobOptions.DoSendRecv = 1;
    JobOptions.SendRecvCount = 9999;
    JobOptions.MaxPerRun = 300;
    JobOptions.SkipCleanReview = 1;
    SaveOptions();

    const struct {
        const char* name;
        const char* text;
    } stored[] = {{"ToList", "E:\\m\\list.txt"},
                  {"LastToFolder", "E:\\m\\"},
                  {"Pause", "30"},
                  {"SaveOrig", "0"},
                  {"DoSendRecv", "1"},
                  {"SendRecvCount", "9999"},
                  {"MaxPerRun", "300"},
                  {"SkipCleanReview", "1"}};
    for (const auto& s : stored) {
        RawValue raw;
        ASSERT_TRUE(LoadRaw(s.name, &raw)) << s.name;
        EXPECT_EQ(raw.type, DWORD(REG_SZ)) << s.name;
        EXPECT_EQ(raw.bytes, std::string(s.text, std::strlen(s.text) + 1)) << s.name;
    }
    EXPECT_EQ(RegistryKeyClass(HKEY_CURRENT_USER, kOptionsKey), "Application Per-User Data");

    ResetSettingsToLoadTime();
    std::strcpy(DataPaths.libraryDirectory, "C:\\Program Files\\Quorvel\\");
    LoadOptions();
    EXPECT_STREQ(JobOptions.ToList, "E:\\m\\list.txt");
    EXPECT_STREQ(JobOptions.LastToFolder, "E:\\m\\");
    EXPECT_EQ(JobOptions.Pause, 30);
    EXPECT_EQ(JobOptions.SaveOrig, 0);
    EXPECT_EQ(JobOptions.DoSendRecv, 1);
    EXPECT_EQ(JobOptions.SendRecvCount, 9999);
    EXPECT_EQ(JobOptions.MaxPerRun, 300);
    EXPECT_EQ(JobOptions.SkipCleanReview, 1);
}

// When and how fast the copies leave: off and unlimited until chosen,
// each number clamped, a start time that is not one forgotten.
TEST_F(SettingsTest, ReleaseOptionsDefaultClampAndLoadBack) {
    LoadOptions();
    EXPECT_EQ(JobOptions.StartLater, 0);
    EXPECT_STREQ(JobOptions.StartAt, "");
    EXPECT_EQ(JobOptions.PerMinute, 0);
    EXPECT_EQ(JobOptions.PerDay, 0);
    EXPECT_EQ(JobOptions.WorkingDaysOnly, 0);
    EXPECT_EQ(JobOptions.LimitsChosen, 0) << "the account's limits are proposed";

    StoreText("StartLater", "1");
    StoreText("StartAt", "2026-12-14 08:30");
    StoreText("PerMinute", "-4");
    StoreText("PerDay", "5000000");
    StoreText("WorkingDaysOnly", "3");
    LoadOptions();
    EXPECT_EQ(JobOptions.StartLater, 1);
    EXPECT_STREQ(JobOptions.StartAt, "2026-12-14 08:30");
    EXPECT_EQ(JobOptions.PerMinute, 0);
    EXPECT_EQ(JobOptions.PerDay, 999999);
    EXPECT_EQ(JobOptions.WorkingDaysOnly, 0) << "only 1 switches it on";

    for (const char* bad : {"2026-02-29 08:00", "2026-12-14 24:00", "14/12/2026 08:30",
                            "2026-12-14 08:30x", "1600-01-01 00:00", "2026-12-14"}) {
        StoreText("StartAt", bad);
        LoadOptions();
        EXPECT_STREQ(JobOptions.StartAt, "") << bad;
    }

    JobOptions.StartLater = 1;
    std::strcpy(JobOptions.StartAt, "2027-01-04 09:00:30");
    JobOptions.PerMinute = 30;
    JobOptions.PerDay = 10000;
    JobOptions.WorkingDaysOnly = 1;
    JobOptions.LimitsChosen = 1;
    SaveOptions();
    ResetSettingsToLoadTime();
    LoadOptions();
    EXPECT_EQ(JobOptions.LimitsChosen, 1);
    EXPECT_EQ(JobOptions.StartLater, 1);
    EXPECT_STREQ(JobOptions.StartAt, "2027-01-04 09:00:30");
    EXPECT_EQ(JobOptions.PerMinute, 30);
    EXPECT_EQ(JobOptions.PerDay, 10000);
    EXPECT_EQ(JobOptions.WorkingDaysOnly, 1);
    RawValue raw;
    ASSERT_TRUE(LoadRaw("PerDay", &raw));
    EXPECT_EQ(raw.bytes, std::string("10000\0", 6));
}

} // namespace
