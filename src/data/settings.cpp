#include "data/settings.h"

#include <cstring>

JobOptionsState JobOptions;
DataPathsState DataPaths;

void ResetSettingsToLoadTime() {
    std::memset(&JobOptions, 0, sizeof JobOptions);
    std::strcpy(JobOptions.LastToFolder, "c:\\");
    JobOptions.Pause = 0;
    JobOptions.SaveOrig = 1;
    JobOptions.DoSendRecv = 0;
    JobOptions.SendRecvCount = 100;
    std::memset(&DataPaths, 0, sizeof DataPaths);
}

namespace {
// The values at load time, before anything runs.
struct LoadTimeValues {
    LoadTimeValues() { ResetSettingsToLoadTime(); }
} loadTimeValues;
} // namespace
