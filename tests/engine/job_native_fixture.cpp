#include "job_native_fixture.h"

#include "data/settings.h"

namespace {
LRESULT CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
} // namespace

void VirtualJobTest::SetUp() {
    JobTest::SetUp();
    MailingJob::jobDialog = substitute::CreateTestWindow(DialogProc);
    start = GetTickCount();
    SYSTEMTIME base{2007, 12, 3, 5, 4, 3, 26, 0};
    substitute::SetLocalTimeBase(base);
}

void VirtualJobTest::TearDown() {
    JobTest::TearDown();
    // Every MAPI buffer the job or the store allocated has been given back.
    EXPECT_EQ(substitute::LiveMapiBuffers(), 0u);
}

void VirtualJobTest::At(DWORD ms, std::function<void()> action) {
    substitute::At(start + ms, std::move(action));
}

void VirtualJobTest::PauseAt(DWORD ms) {
    At(ms, [] { MailingJob::runState = kJobPaused; });
}

void VirtualJobTest::ResumeAt(DWORD ms) {
    At(ms, [] { MailingJob::runState = kJobRunning; });
}

void VirtualJobTest::CancelAt(DWORD ms) {
    At(ms, [] { MailingJob::runState = kJobIdle; });
}

size_t VirtualJobTest::SleepsOf(DWORD ms) const {
    size_t n = 0;
    for (DWORD s : substitute::SleepCalls())
        n += s == ms;
    return n;
}
