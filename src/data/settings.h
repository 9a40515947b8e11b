// The process-wide state that outlives a job: the user's options, persisted
// as text values under the per-user product key, and the start-up that fixes
// the library's paths (DataPaths) when it is attached to the host process.
#pragma once

#include "base/data_paths.h"
#include "platform.h"

struct JobOptionsState {
    char ToList[260];       // the mailing-list path shown in the main dialog
    char LastToFolder[260]; // where the mailing-list browse dialog starts
    int Pause;              // seconds between messages, 0..9999
    int SaveOrig;           // after a completed job: 1 save and close, 0 delete
    int DoSendRecv;         // 1: run the host's Send/Receive every SendRecvCount messages
    int SendRecvCount;      // messages between two Send/Receive commands, 1..9999
    // The review before a mailing: the most messages one run sends (0: all;
    // a mailing stopped at the limit is continued by the next run), and 1
    // to start without the review when it finds nothing.
    int MaxPerRun;       // 0..999999
    int SkipCleanReview; // 0 or 1
    // When and how fast the client releases the copies: each is handed
    // over at once with its release time. StartAt is the user's local
    // "YYYY-MM-DD HH:MM", used when StartLater is 1; a limit of 0 is none.
    int StartLater;      // 0 or 1
    char StartAt[20];    // empty or a time ParseStartAt reads
    int PerMinute;       // 0..9999
    int PerDay;          // 0..999999, in any 24 hours
    int WorkingDaysOnly; // 0 or 1
    // 1 once the user has started or left a review with its limits: until
    // then the review proposes those of the sending account's provider.
    int LimitsChosen; // 0 or 1
};

extern JobOptionsState JobOptions;

// Puts JobOptions and DataPaths back to their values at load time (for a
// fresh process in tests; the library itself never calls it).
void ResetSettingsToLoadTime();

int ReadSettingString(const char* subkey, const char* valueName, char* destination,
                      const char* defaultText, DWORD bufferSize);
int WriteSettingString(const char* subkey, const char* valueName, const char* text);
int ReadSettingInt(const char* subkey, const char* valueName, int defaultValue);
int WriteSettingInt(const char* subkey, const char* valueName, int value);

void LoadOptions();
void SaveOptions();

// What the start-up could not find. The library runs on without it; the
// caller that started the library tells the user.
struct StartupProblems {
    // The library's path holds no directory: no paths are built and the
    // options keep their initial values.
    bool noLibraryDirectory = false;
    // No per-user application-data folder: the data folder goes into the
    // library's directory instead.
    bool noAppData = false;
};

// Process attach only keeps the module: the loader lock held there forbids
// the registry, shell and window calls of the start-up.
void KeepLibraryModule(HMODULE module);
// The start-up with the kept module (AttachLibrary), run once, by the first
// call into the library that needs the paths or the options. That call gets
// what the start-up could not find; every later one gets no problems.
[[nodiscard]] StartupProblems StartLibraryOnce();

// The start-up sequence: keeps the module, finds the library's
// directory and the per-user data folder (creating it), builds the log paths
// and loads the options. Always completes, and shows nothing: it returns
// what it could not find.
StartupProblems AttachLibrary(HMODULE module);
