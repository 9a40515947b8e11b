// The substitute platform keeps the Win32 contracts the product relies on.
#include "test_support.h"

#include "control.h"
#include "mapi_runtime.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using SubstituteTest = PlatformTest;

TEST_F(SubstituteTest, SleepAdvancesTheVirtualClockAndTheTickCountWraps) {
    substitute::SetTickCount(0xFFFFFF00u);
    Sleep(0x200);
    EXPECT_EQ(GetTickCount(), 0x100u);
    ASSERT_EQ(substitute::SleepCalls().size(), 1u);
    EXPECT_EQ(substitute::SleepCalls()[0], 0x200u);
}

TEST_F(SubstituteTest, LocalTimeFollowsTheVirtualClockAcrossMidnight) {
    substitute::SetLocalTimeBase(SYSTEMTIME{2007, 12, 0, 31, 23, 59, 59, 500});
    Sleep(600);
    SYSTEMTIME t;
    GetLocalTime(&t);
    EXPECT_EQ(t.wYear, 2008);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wDayOfWeek, 2); // a Tuesday
    EXPECT_EQ(t.wHour, 0);
    EXPECT_EQ(t.wSecond, 0);
    EXPECT_EQ(t.wMilliseconds, 100);
}

// The substitute keeps UTC: system time is the local time, and a FILETIME
// counts 100 ns from 1601 as Windows' does (known values from its SDK).
TEST_F(SubstituteTest, SystemTimeAndFileTimeConvertBothWays) {
    substitute::SetLocalTimeBase(SYSTEMTIME{2026, 12, 3, 9, 10, 30, 15, 250});
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wHour, 10);
    EXPECT_EQ(utc.wMinute, 30);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, 2026);
    EXPECT_EQ(back.wDay, 9);
    EXPECT_EQ(back.wDayOfWeek, 3);
    EXPECT_EQ(back.wSecond, 15);
    EXPECT_EQ(back.wMilliseconds, 250);

    const SYSTEMTIME unixEpoch{1970, 1, 4, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&unixEpoch, &ft));
    const unsigned long long ticks =
        (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    EXPECT_EQ(ticks, 116444736000000000ull);
    const FILETIME first{0, 0};
    ASSERT_TRUE(FileTimeToSystemTime(&first, &back));
    EXPECT_EQ(back.wYear, 1601);
    EXPECT_EQ(back.wDayOfWeek, 1); // a Monday
    FILETIME utcTime;
    ASSERT_TRUE(LocalFileTimeToFileTime(&ft, &utcTime));
    EXPECT_EQ(utcTime.dwLowDateTime, ft.dwLowDateTime);

    const SYSTEMTIME bad{2026, 13, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    const FILETIME negative{0, 0x80000000u};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &back));
}

// A zone with daylight saving: the local clock follows its rules, the
// conversions of a given date use that date's, LocalFileTimeToFileTime
// today's (as MSDN says of it).
TEST_F(SubstituteTest, TheTimeZonesRulesGiveTheLocalClock) {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -60; // Central Europe
    zone.DaylightBias = -60;
    zone.DaylightDate = SYSTEMTIME{0, 3, 0, 5, 2, 0, 0, 0};
    zone.StandardDate = SYSTEMTIME{0, 10, 0, 5, 3, 0, 0, 0};
    substitute::SetTimeZone(zone);
    substitute::SetLocalTimeBase(SYSTEMTIME{2027, 3, 0, 28, 1, 59, 0, 0});
    SYSTEMTIME local, utc;
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wHour, 0);
    substitute::AdvanceClock(60 * 1000); // 02:00 standard time is 03:00 summer time
    GetLocalTime(&local);
    EXPECT_EQ(local.wHour, 3);
    EXPECT_EQ(local.wMinute, 0);

    const SYSTEMTIME winter{2027, 1, 0, 15, 12, 0, 0, 0}, summer{2027, 7, 0, 15, 12, 0, 0, 0};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &winter, &utc));
    EXPECT_EQ(utc.wHour, 11);
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &summer, &utc));
    EXPECT_EQ(utc.wHour, 10);
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&zone, &utc, &local));
    EXPECT_EQ(local.wHour, 12);
    // The last Sunday of October, 03:00 summer time: 01:00 UTC, then winter.
    const SYSTEMTIME change{2027, 10, 0, 31, 1, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&zone, &change, &local));
    EXPECT_EQ(local.wHour, 2);

    // Today is summer time: a winter date is converted with today's bias.
    FILETIME ft, back;
    ASSERT_TRUE(SystemTimeToFileTime(&winter, &ft));
    ASSERT_TRUE(LocalFileTimeToFileTime(&ft, &back));
    ASSERT_TRUE(FileTimeToSystemTime(&back, &utc));
    EXPECT_EQ(utc.wHour, 10);
    substitute::SetTimeZone(TIME_ZONE_INFORMATION{});
}

LRESULT CALLBACK Recorder(HWND, UINT message, WPARAM wParam, LPARAM);
std::vector<std::pair<UINT, WPARAM>> ReceivedMessages;
LRESULT CALLBACK Recorder(HWND, UINT message, WPARAM wParam, LPARAM) {
    ReceivedMessages.emplace_back(message, wParam);
    return 0;
}

TEST_F(SubstituteTest, PostedMessagesComeBeforeTimersAndActionsRunWhenTheThreadPumps) {
    ReceivedMessages.clear();
    HWND w = substitute::CreateTestWindow(Recorder);
    const DWORD start = GetTickCount();
    SetTimer(w, 5, 100, nullptr);
    bool acted = false;
    substitute::At(start + 150, [&] { acted = true; });
    PostMessageA(w, WM_USER + 4, 1, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)); // timer not yet due
    Sleep(100);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_FALSE(acted);
    Sleep(50);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_TRUE(acted);
    ASSERT_EQ(ReceivedMessages.size(), 2u);
    EXPECT_EQ(ReceivedMessages[0], std::make_pair(UINT(WM_USER + 4), WPARAM(1)));
    EXPECT_EQ(ReceivedMessages[1], std::make_pair(UINT(WM_TIMER), WPARAM(5)));
    DestroyWindow(w);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
}

TEST_F(SubstituteTest, AQuitComesAfterThePostedMessagesWhateverTheRangeAndOnce) {
    HWND w = substitute::CreateTestWindow(Recorder);
    PostQuitMessage(3);
    PostMessageA(w, WM_USER + 4, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_USER + 4));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(3));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

TEST_F(SubstituteTest, MessageBoxesAreAnsweredAndRecorded) {
    substitute::SetMessageBoxResponder(
        [](const substitute::MessageBoxCall& c) { return c.flags & MB_YESNO ? IDYES : IDOK; });
    EXPECT_EQ(MessageBoxA(GetDesktopWindow(), "Question?", "Quorvel", 0x24), IDYES);
    ASSERT_EQ(substitute::MessageBoxes().size(), 1u);
    const auto& box = substitute::MessageBoxes()[0];
    EXPECT_EQ(box.owner, GetDesktopWindow());
    EXPECT_EQ(box.text, "Question?");
    EXPECT_EQ(box.caption, "Quorvel");
    EXPECT_EQ(box.flags, 0x24u);
}

// A box records its texts as the user reads them: UTF-8 through the wide box
// reads as written, through the 8-bit one as its code page's characters.
TEST_F(SubstituteTest, MessageBoxTextsAreRecordedAsTheUserReadsThem) {
    const WCHAR wide[] = {0x0142, 'u', 0x5F20, 0xD83C, 0xDF89, 0}, caption[] = {'Q', 0};
    MessageBoxW(nullptr, wide, caption, 0);
    MessageBoxA(nullptr, "\xC5\x82u", "Q", 0);
    MessageBoxA(nullptr, "Caf\xE9", "Q", 0);
    ASSERT_EQ(substitute::MessageBoxes().size(), 3u);
    EXPECT_EQ(substitute::MessageBoxes()[0].text, "łu张🎉");
    EXPECT_EQ(substitute::MessageBoxes()[0].caption, "Q");
    EXPECT_EQ(substitute::MessageBoxes()[1].text, "Å‚u"); // UTF-8 read as Windows-1252
    EXPECT_EQ(substitute::MessageBoxes()[2].text, "Café");
}

TEST_F(SubstituteTest, RegistryReportsMoreDataAndKeepsValuesAsWritten) {
    HKEY key;
    DWORD disposition = 0;
    char keyClass[] = "Application Per-User Data";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\A\\B", 0, keyClass, 0, KEY_WRITE,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const BYTE unterminated[] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueExA(key, "V", 0, REG_SZ, unterminated, 3), ERROR_SUCCESS);
    BYTE buffer[8] = {0};
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, buffer, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\a\\b", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 3u);
    size = sizeof buffer;
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buffer[3], 'x'); // no terminator added
    EXPECT_EQ(RegSetValueExA(key, "W", 0, REG_SZ, unterminated, 3), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(substitute::RegistryKeyClass(HKEY_CURRENT_USER, "Software\\A\\B"),
              "Application Per-User Data");

    substitute::DenyRegistryWrites(HKEY_LOCAL_MACHINE, "SOFTWARE");
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_WRITE, &key),
              ERROR_ACCESS_DENIED);
}

TEST_F(SubstituteTest, TextModeStreamsTranslateLineEndsAndStopAtCtrlZ) {
    CrtFile* f = CrtOpen("C:\\Temp\\t.txt", "w");
    ASSERT_NE(f, nullptr);
    CrtPrintf(f, "one\ntwo %d\n", 2);
    CrtClose(f);
    EXPECT_EQ(ReadFileBytes("C:\\Temp\\t.txt"), "one\r\ntwo 2\r\n");

    WriteFileBytes("C:\\Temp\\u.txt", std::string("a\r\nb\rc\r\n\x1A"
                                                  "after"));
    f = CrtOpen("C:\\Temp\\u.txt", "r");
    char buffer[64];
    size_t n = CrtRead(buffer, sizeof buffer, f);
    CrtClose(f);
    EXPECT_EQ(std::string(buffer, n), "a\nb\rc\n");

    f = CrtOpen("C:\\Temp\\u.txt", "rb");
    n = CrtRead(buffer, sizeof buffer, f);
    CrtClose(f);
    EXPECT_EQ(n, 14u);
}

// A file's size and last-write time as Windows gives them: FILETIME counts
// 100 ns units since 1601; a missing file and a path on another computer
// fail as they do there; a failure can be asked for.
TEST_F(SubstituteTest, FileAttributesGiveTheSizeAndTheLastWriteTime) {
    WriteFileBytes("C:\\Temp\\s.txt", "twelve bytes");
    const std::string host = substitute::HostPath("C:\\Temp\\s.txt");
    std::filesystem::last_write_time(host, std::filesystem::file_time_type::clock::now() -
                                               std::chrono::hours(1));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA("C:\\Temp\\s.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 12u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    const uint64_t written =
        uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
    // After 2020 (132,223,104,000,000,000) and before 2100.
    EXPECT_GT(written, 132223104000000000u);
    EXPECT_LT(written, 157469184000000000u);

    WriteFileBytes("C:\\Temp\\s.txt", "thirteen byte");
    WIN32_FILE_ATTRIBUTE_DATA again = {};
    ASSERT_TRUE(GetFileAttributesExA("C:\\Temp\\s.txt", GetFileExInfoStandard, &again));
    EXPECT_EQ(again.nFileSizeLow, 13u);
    EXPECT_GT(uint64_t{again.ftLastWriteTime.dwHighDateTime} << 32 |
                  again.ftLastWriteTime.dwLowDateTime,
              written);

    EXPECT_FALSE(GetFileAttributesExA("C:\\Temp\\none.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(GetFileAttributesExA("\\\\server\\share\\s.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
    substitute::FailFileAttributesExAt(2);
    EXPECT_TRUE(GetFileAttributesExA("C:\\Temp\\s.txt", GetFileExInfoStandard, &data));
    EXPECT_FALSE(GetFileAttributesExA("C:\\Temp\\s.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(GetFileAttributesExA("C:\\Temp\\s.txt", GetFileExInfoStandard, &data));
}

TEST_F(SubstituteTest, TextModeReadJoinsACarriageReturnSplitFromItsLineFeed) {
    WriteFileBytes("C:\\Temp\\split.txt", "ab\r\ncd");
    CrtFile* f = CrtOpen("C:\\Temp\\split.txt", "r");
    char buffer[8];
    size_t first = CrtRead(buffer, 3, f); // "ab\r" | "\ncd" on disk
    size_t second = CrtRead(buffer + first, 5, f);
    CrtClose(f);
    EXPECT_EQ(std::string(buffer, first + second), "ab\ncd");
}

TEST_F(SubstituteTest, AnsiCodePageIsWindows1252) {
    const char ansi[] = "\x80\xE9\x9F";
    WCHAR wide[8];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 8), 4);
    EXPECT_EQ(wide[0], 0x20AC);
    EXPECT_EQ(wide[1], 0x00E9);
    EXPECT_EQ(wide[2], 0x0178);
    const WCHAR back[] = {0x20AC, 0x4E2D, 0};
    char out[8];
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, back, -1, out, 8, nullptr, &usedDefault), 3);
    EXPECT_STREQ(out, "\x80?");
    EXPECT_TRUE(usedDefault);
}

// Central European and Greek convert both ways by their own tables; what a
// code page lacks becomes the default character, and a code page the
// platform does not know is refused.
TEST_F(SubstituteTest, Windows1250And1253ConvertByTheirOwnTables) {
    const char polish[] = "\xA3\xF3\x64\x9F \x8C\xB9"; // Łódź Śą
    const char greek[] = "\xC1\xE8\xDE\xED\xE1 \xA2";  // Αθήνα Ά
    WCHAR wide[16];
    ASSERT_EQ(MultiByteToWideChar(1250, 0, polish, -1, wide, 16), 8);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(wide)),
              u"\u0141\u00f3d\u017a \u015a\u0105");
    ASSERT_EQ(MultiByteToWideChar(1253, 0, greek, -1, wide, 16), 8);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(wide)),
              u"\u0391\u03b8\u03ae\u03bd\u03b1 \u0386");
    char out[16];
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(1253, 0, wide, -1, out, 16, nullptr, &usedDefault), 8);
    EXPECT_STREQ(out, greek);
    EXPECT_FALSE(usedDefault);
    const WCHAR mixed[] = {0x0141, 0x0391, 0x00E9, 0};
    ASSERT_EQ(WideCharToMultiByte(1250, 0, mixed, -1, out, 16, nullptr, &usedDefault), 4);
    EXPECT_STREQ(out, "\xA3?\xE9");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(MultiByteToWideChar(1251, 0, polish, -1, wide, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The conversions write straight into the caller's buffer: whatever the
// text and the room, they agree with a byte-by-byte reading of Windows-1252,
// count what they would write, and leave a buffer too small untouched.
TEST_F(SubstituteTest, AnsiConversionsAgreeWithTheCodePageForEveryTextAndRoom) {
    const WCHAR units[] = {'a', 'Z', 0x7F, 0xE9, 0x20AC, 0x4E2D, 0xD83D, 0xDE00, 0xDC00};
    auto reference = [](const std::vector<WCHAR>& w, bool* usedDefault) {
        std::string out;
        *usedDefault = false;
        for (size_t i = 0; i < w.size(); ++i) {
            char32_t cp = w[i];
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 &&
                w[i + 1] <= 0xDFFF)
                ++i, cp = 0x1F600;
            if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
                out += static_cast<char>(cp);
            else if (cp == 0x20AC)
                out += '\x80';
            else
                out += '?', *usedDefault = true;
        }
        return out;
    };
    uint32_t seed = 7;
    for (int round = 0; round < 400; ++round) {
        std::vector<WCHAR> text(static_cast<size_t>(round % 23));
        for (WCHAR& u : text) {
            seed = seed * 1103515245u + 12345u;
            // Mostly ASCII, as mail is, so that runs of eight come up too.
            u = (seed >> 16) % 4 ? static_cast<WCHAR>('a' + (seed >> 20) % 26)
                                 : units[(seed >> 16) % (sizeof units / sizeof units[0])];
        }
        bool expectDefault = false;
        const std::string expected = reference(text, &expectDefault);
        const int length = static_cast<int>(text.size());
        if (length == 0)
            continue;
        BOOL used = FALSE;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, &used),
                  static_cast<int>(expected.size()));
        EXPECT_EQ(used != FALSE, expectDefault);
        for (int room = 1; room <= length + 1; ++room) {
            std::string out(static_cast<size_t>(room), '#');
            used = FALSE;
            const int made = WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), room,
                                                 nullptr, &used);
            if (room < static_cast<int>(expected.size())) {
                EXPECT_EQ(made, 0);
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
                EXPECT_EQ(out, std::string(static_cast<size_t>(room), '#'));
            } else {
                ASSERT_EQ(made, static_cast<int>(expected.size())) << "room " << room;
                EXPECT_EQ(out.substr(0, static_cast<size_t>(made)), expected);
                EXPECT_EQ(used != FALSE, expectDefault);
            }
        }
        // And back: one unit for each byte, whatever the room.
        std::vector<WCHAR> wide(expected.size(), 0xFFFF);
        const int bytes = static_cast<int>(expected.size());
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, expected.data(), bytes, nullptr, 0), bytes);
        if (bytes > 1) { // a room of 0 asks for the count
            EXPECT_EQ(
                MultiByteToWideChar(CP_ACP, 0, expected.data(), bytes, wide.data(), bytes - 1), 0);
            EXPECT_EQ(wide[0], 0xFFFF);
        }
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, expected.data(), bytes, wide.data(), bytes),
                  bytes);
        for (int i = 0; i < bytes; ++i)
            EXPECT_EQ(wide[static_cast<size_t>(i)],
                      expected[static_cast<size_t>(i)] == '\x80'
                          ? 0x20AC
                          : static_cast<WCHAR>(
                                static_cast<unsigned char>(expected[static_cast<size_t>(i)])));
    }
}

// UTF-8 both ways, over texts of long ASCII runs broken by letters of
// every length in UTF-8, surrogate pairs and lone surrogates: each agrees
// with a code point at a time, counts what it would write, and refuses a
// room one short.
TEST_F(SubstituteTest, Utf8ConversionsAgreeWithACodePointAtATimeForEveryRoom) {
    const char32_t points[] = {0xE9, 0x20AC, 0x4E2D, 0x1F600, 0xD800, 0xDC00};
    auto encode = [](char32_t cp, std::string* out) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD; // a lone surrogate
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    };
    uint32_t seed = 11;
    for (int round = 0; round < 300; ++round) {
        std::vector<WCHAR> wide;
        std::string expected;
        const int length = 1 + round % 47;
        for (int k = 0; k < length; ++k) {
            seed = seed * 1103515245u + 12345u;
            char32_t cp = (seed >> 16) % 9
                              ? U'a' + (seed >> 20) % 26
                              : points[(seed >> 16) % (sizeof points / sizeof *points)];
            if (cp >= 0x10000) {
                wide.push_back(static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
                wide.push_back(static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                wide.push_back(static_cast<WCHAR>(cp));
            }
            // A lone high surrogate followed by a low one would be a pair.
            if (cp == 0xD800)
                wide.push_back('x'), encode(0xD800, &expected), cp = 'x';
            encode(cp, &expected);
        }
        const int units = static_cast<int>(wide.size());
        const int bytes = static_cast<int>(expected.size());
        ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr),
                  bytes);
        std::string out(static_cast<size_t>(bytes), '#');
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes - 1,
                                      nullptr, nullptr),
                  bytes == 1 ? bytes : 0); // a room of 0 asks for the count
        ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), bytes, nullptr,
                                      nullptr),
                  bytes);
        EXPECT_EQ(out, expected) << "round " << round;

        // And back: read again, the text is the same bytes.
        std::vector<WCHAR> read(static_cast<size_t>(units) + 2, 0xFFFF);
        const int count = MultiByteToWideChar(CP_UTF8, 0, expected.data(), bytes, nullptr, 0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, expected.data(), bytes, read.data(), count - 1),
                  count == 1 ? 1 : 0);
        ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, expected.data(), bytes, read.data(), count),
                  count);
        std::string again;
        for (int k = 0; k < count; ++k) {
            size_t at = static_cast<size_t>(k);
            const WCHAR u = read[at];
            if (u >= 0xD800 && u <= 0xDBFF && k + 1 < count) {
                encode(0x10000 + ((u - 0xD800) << 10) + (read[at + 1] - 0xDC00), &again);
                ++k;
            } else {
                encode(u, &again);
            }
        }
        EXPECT_EQ(again, expected) << "round " << round;
    }
}

TEST_F(SubstituteTest, MapiBuffersFreeTheirChainAndFailOnRequest) {
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(16, &root), S_OK);
    void* more = nullptr;
    ASSERT_EQ(MAPIAllocateMore(8, root, &more), S_OK);
    EXPECT_NE(MAPIFreeBuffer(more), 0u); // only the root can be freed
    EXPECT_EQ(substitute::LiveMapiBuffers(), 1u);
    EXPECT_EQ(MAPIFreeBuffer(root), 0u);
    EXPECT_EQ(substitute::LiveMapiBuffers(), 0u);

    substitute::FailMapiAllocationAt(2);
    ASSERT_EQ(MAPIAllocateBuffer(16, &root), S_OK);
    EXPECT_EQ(MAPIAllocateMore(8, root, &more), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(more, nullptr);
    MAPIFreeBuffer(root);
}

TEST_F(SubstituteTest, ScratchStreamsHaveAUniqueFileThatGoesWithTheLastReference) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char prefix[] = "tdp";
    IStream* stream = nullptr;
    ASSERT_EQ(
        OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, 0x84001012, folder, prefix, &stream),
        S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write("hello", 5, &written), S_OK);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    char buffer[8] = {0};
    ULONG read = 0;
    stream->Read(buffer, 8, &read);
    EXPECT_EQ(std::string(buffer, read), "hello");
    const auto files = [&] {
        return std::distance(std::filesystem::directory_iterator(substitute::HostPath(folder)),
                             std::filesystem::directory_iterator());
    };
    EXPECT_EQ(files(), 1);
    stream->Release();
    EXPECT_EQ(files(), 0);
}

} // namespace
