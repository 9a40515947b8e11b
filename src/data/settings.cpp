#include "data/settings.h"

#include "base/messages.h"
#include "data/send_schedule.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr JobOptionsState kInitialOptions = {"", "c:\\", 0, 1, 0, 100, 0, 0, 0, "", 0, 0, 0, 0};

// Longest buffer a setting may be read into, and longest default text.
constexpr DWORD kSettingLimit = 300;
constexpr char kKeyFormat[] = "Software\\Tamsor Software\\%s\\CurrentVersion\\";
constexpr char kOptionsSubkey[] = "options";

// The product key followed by the subkey, built afresh for every call.
bool BuildKeyPath(const char* subkey, char* path, size_t size) {
    int n = std::snprintf(path, size, kKeyFormat, kProductName);
    if (n < 0 || static_cast<size_t>(n) >= size)
        return false;
    size_t used = static_cast<size_t>(n);
    size_t rest = std::strlen(subkey);
    if (used + rest >= size)
        return false;
    std::memcpy(path + used, subkey, rest + 1);
    return true;
}

// Reads a value as a string into `destination` (`size` bytes). The registry
// gives back what was stored: a REG_SZ written without its NUL, or a
// REG_BINARY, arrives unterminated. The result is always a terminated
// string; a value that fills the whole buffer without a NUL did not fit.
bool QueryString(HKEY key, const char* valueName, char* destination, DWORD size) {
    DWORD length = size;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(destination),
                         &length) != ERROR_SUCCESS)
        return false;
    if (length > size)
        return false;
    if (std::memchr(destination, '\0', length))
        return true;
    if (length == size)
        return false;
    destination[length] = '\0';
    return true;
}

// "%d" as the C runtime scans it (leading white space, an optional sign,
// digits up to the first other character), except that a number beyond the
// range of int saturates instead of being undefined.
bool ScanInt(const char* text, int* value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + (*p - '0');
        if (n > static_cast<long long>(INT_MAX) + 1)
            n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        n = -n;
    *value = n > INT_MAX ? INT_MAX : static_cast<int>(n);
    return true;
}

int Clamp(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

// Formats into a 260-byte path; a path that does not fit is left empty rather
// than cut, so that it never names some other file.
void FormatPath(char (&path)[260], const char* format, const char* folder, const char* name) {
    int n = std::snprintf(path, sizeof path, format, folder, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        path[0] = '\0';
}

} // namespace

JobOptionsState JobOptions = kInitialOptions;

namespace {
bool LibraryStarted = false;
}

void ResetSettingsToLoadTime() {
    JobOptions = kInitialOptions;
    DataPaths = DataPathsState{};
    LibraryStarted = false;
}

void KeepLibraryModule(HMODULE module) {
    DataPaths.module = module;
}

StartupProblems StartLibraryOnce() {
    if (LibraryStarted)
        return {};
    LibraryStarted = true;
    return AttachLibrary(DataPaths.module);
}

int ReadSettingString(const char* subkey, const char* valueName, char* destination,
                      const char* defaultText, DWORD bufferSize) {
    if (bufferSize >= kSettingLimit || bufferSize == 0)
        return 0;
    char path[kSettingLimit];
    HKEY key = nullptr;
    if (BuildKeyPath(subkey, path, sizeof path) &&
        RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        bool read = QueryString(key, valueName, destination, bufferSize);
        RegCloseKey(key);
        if (read)
            return 1;
    }
    size_t length = std::strlen(defaultText);
    if (length >= kSettingLimit)
        return 0;
    if (length >= bufferSize)
        length = bufferSize - 1;
    std::memcpy(destination, defaultText, length);
    destination[length] = '\0';
    return 1;
}

int WriteSettingString(const char* subkey, const char* valueName, const char* text) {
    char path[kSettingLimit];
    if (!BuildKeyPath(subkey, path, sizeof path))
        return 0;
    char keyClass[] = "Application Per-User Data";
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    LSTATUS stored = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return stored == ERROR_SUCCESS ? 1 : 0;
}

int ReadSettingInt(const char* subkey, const char* valueName, int defaultValue) {
    char defaultText[49];
    std::snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    char text[49];
    if (!ReadSettingString(subkey, valueName, text, defaultText, sizeof text))
        return defaultValue;
    int value = 0;
    return ScanInt(text, &value) ? value : defaultValue;
}

int WriteSettingInt(const char* subkey, const char* valueName, int value) {
    char text[49];
    std::snprintf(text, sizeof text, "%d", value);
    return WriteSettingString(subkey, valueName, text);
}

namespace {

int ReadFlag(const char* name, int value) {
    return ReadSettingInt(kOptionsSubkey, name, value) == 1 ? 1 : 0;
}

// A start time that does not read as one is no start time: the mailing
// then starts when it is sent.
void LoadReleaseOptions() {
    JobOptions.StartLater = ReadFlag("StartLater", JobOptions.StartLater);
    char startAt[sizeof JobOptions.StartAt];
    ReadSettingString(kOptionsSubkey, "StartAt", startAt, JobOptions.StartAt, sizeof startAt);
    ScheduleSeconds parsed = 0;
    if (ParseStartAt(startAt, &parsed))
        std::memcpy(JobOptions.StartAt, startAt, sizeof startAt);
    else
        JobOptions.StartAt[0] = '\0';
    JobOptions.PerMinute =
        Clamp(ReadSettingInt(kOptionsSubkey, "PerMinute", JobOptions.PerMinute), 0, kMaxPerMinute);
    JobOptions.PerDay =
        Clamp(ReadSettingInt(kOptionsSubkey, "PerDay", JobOptions.PerDay), 0, kMaxPerDay);
    JobOptions.WorkingDaysOnly = ReadFlag("WorkingDaysOnly", JobOptions.WorkingDaysOnly);
    JobOptions.LimitsChosen = ReadFlag("LimitsChosen", JobOptions.LimitsChosen);
}

} // namespace

void LoadOptions() {
    // The defaults of the two paths come from the library directory; each
    // number's default is its value before the load.
    char defaultList[kSettingLimit];
    std::snprintf(defaultList, sizeof defaultList, "%sSampleTo.txt", DataPaths.libraryDirectory);
    ReadSettingString(kOptionsSubkey, "ToList", JobOptions.ToList, defaultList, 259);
    ReadSettingString(kOptionsSubkey, "LastToFolder", JobOptions.LastToFolder,
                      DataPaths.libraryDirectory, 259);
    JobOptions.Pause = Clamp(ReadSettingInt(kOptionsSubkey, "Pause", JobOptions.Pause), 0, 9999);
    JobOptions.SaveOrig = ReadSettingInt(kOptionsSubkey, "SaveOrig", JobOptions.SaveOrig);
    JobOptions.DoSendRecv = ReadSettingInt(kOptionsSubkey, "DoSendRecv", JobOptions.DoSendRecv);
    JobOptions.SendRecvCount =
        Clamp(ReadSettingInt(kOptionsSubkey, "SendRecvCount", JobOptions.SendRecvCount), 1, 9999);
    JobOptions.MaxPerRun =
        Clamp(ReadSettingInt(kOptionsSubkey, "MaxPerRun", JobOptions.MaxPerRun), 0, 999999);
    JobOptions.SkipCleanReview =
        ReadSettingInt(kOptionsSubkey, "SkipCleanReview", JobOptions.SkipCleanReview) == 1 ? 1 : 0;
    LoadReleaseOptions();
}

void SaveOptions() {
    WriteSettingString(kOptionsSubkey, "ToList", JobOptions.ToList);
    WriteSettingString(kOptionsSubkey, "LastToFolder", JobOptions.LastToFolder);
    WriteSettingInt(kOptionsSubkey, "Pause", JobOptions.Pause);
    WriteSettingInt(kOptionsSubkey, "SaveOrig", JobOptions.SaveOrig);
    WriteSettingInt(kOptionsSubkey, "DoSendRecv", JobOptions.DoSendRecv);
    WriteSettingInt(kOptionsSubkey, "SendRecvCount", JobOptions.SendRecvCount);
    WriteSettingInt(kOptionsSubkey, "MaxPerRun", JobOptions.MaxPerRun);
    WriteSettingInt(kOptionsSubkey, "SkipCleanReview", JobOptions.SkipCleanReview);
    WriteSettingInt(kOptionsSubkey, "StartLater", JobOptions.StartLater);
    WriteSettingString(kOptionsSubkey, "StartAt", JobOptions.StartAt);
    WriteSettingInt(kOptionsSubkey, "PerMinute", JobOptions.PerMinute);
    WriteSettingInt(kOptionsSubkey, "PerDay", JobOptions.PerDay);
    WriteSettingInt(kOptionsSubkey, "WorkingDaysOnly", JobOptions.WorkingDaysOnly);
    WriteSettingInt(kOptionsSubkey, "LimitsChosen", JobOptions.LimitsChosen);
}

StartupProblems AttachLibrary(HMODULE module) {
    StartupProblems problems;
    DataPaths.module = module;

    char modulePath[260] = "";
    GetModuleFileNameA(module, modulePath, sizeof modulePath);
    modulePath[sizeof modulePath - 1] = '\0'; // a cut path comes back unterminated on old systems
    char* directory = DataPaths.libraryDirectory;
    DWORD length = GetLongPathNameA(modulePath, directory, sizeof DataPaths.libraryDirectory);
    if (length == 0 || length >= sizeof DataPaths.libraryDirectory)
        std::memcpy(directory, modulePath, sizeof modulePath); // no long form: keep the path as is

    char* lastBackslash = std::strrchr(directory, '\\');
    if (!lastBackslash) {
        problems.noLibraryDirectory = true;
        directory[0] = '\0';
        return problems;
    }
    lastBackslash[1] = '\0';

    char appData[260] = "";
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE)) {
        problems.noAppData = true;
        std::memcpy(appData, directory, sizeof appData);
        appData[std::strlen(appData) - 1] = '\0'; // without its trailing backslash
    }

    // The data folder is made only when it cannot be entered; the host's
    // current directory is put back afterwards.
    char dataFolder[260];
    FormatPath(dataFolder, "%s\\%s", appData, kProductName);
    if (dataFolder[0]) {
        char savedDirectory[260];
        DWORD saved = GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
        if (saved == 0 || saved >= sizeof savedDirectory) {
            CreateDirectoryA(dataFolder, nullptr);
        } else {
            if (!SetCurrentDirectoryA(dataFolder))
                CreateDirectoryA(dataFolder, nullptr);
            SetCurrentDirectoryA(savedDirectory);
        }
    }

    FormatPath(DataPaths.sentList, "%s\\%s\\tosent.txt", appData, kProductName);
    FormatPath(DataPaths.jobHistory, "%s\\%s\\JobHistory.txt", appData, kProductName);
    FormatPath(DataPaths.currentJobLog, "%s\\%s\\CurrentJob.txt", appData, kProductName);
    FormatPath(DataPaths.jobState, "%s\\%s\\JobState.txt", appData, kProductName);

    LoadOptions();
    return problems;
}
