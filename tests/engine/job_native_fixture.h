// Jobs in virtual time: the test plays the main dialog. Its window receives
// JobFinishedMessage, and its Pause, Send and Cancel are scheduled actions
// that change runState when the job next pumps messages, as a click would.
#pragma once

#include "job_fixture.h"

#include "control.h"
#include "data/settings.h"

class VirtualJobTest : public JobTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The dialog's buttons at a moment `ms` after the job starts.
    void PauseAt(DWORD ms);
    void ResumeAt(DWORD ms);
    void CancelAt(DWORD ms);
    // Runs `action` when the job pumps at or after `ms` after the start.
    void At(DWORD ms, std::function<void()> action);

    // The tick at which the job was started.
    DWORD start = 0;
    // Sleep calls of the given length.
    size_t SleepsOf(DWORD ms) const;
    std::string CurrentLog() { return ReadLog(DataPaths.currentJobLog); }
    bool LogHas(const std::string& text) { return CurrentLog().find(text) != std::string::npos; }
};
