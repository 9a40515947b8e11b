#include "data/settings.h"

namespace {
constexpr JobOptionsState kInitialOptions = {"", "c:\\", 0, 1, 0, 100};
} // namespace

JobOptionsState JobOptions = kInitialOptions;
DataPathsState DataPaths = {};

void ResetSettingsToLoadTime() {
    JobOptions = kInitialOptions;
    DataPaths = DataPathsState{};
}
