// What only the substitute platform shows of the extension: the waits for
// the explorer in virtual time, the start-up's message box (from either
// door), and a mailing whose compose window is sent while the job runs.
#include "../addin/slow_addin.h"
#include "extension_fixture.h"

#include "addin/addin_factory.h"
#include "control.h"
#include "data/mailing_list.h"
#include "dialogs/job_window_user.h"
#include "engine/mailing_job.h"
#include "install/addin_registration.h"

#include <cstdio>

namespace {

using ExtensionNativeTest = ExtensionTest;

size_t SleepsOf(DWORD ms) {
    size_t n = 0;
    for (DWORD d : substitute::SleepCalls())
        n += d == ms ? 1 : 0;
    return n;
}

TEST_F(ExtensionNativeTest, TheExplorerIsAwaitedInStepsOfFiveMilliseconds) {
    config.explorerAfterPolls = 3;
    StartAndLoad();
    EXPECT_EQ(substitute::SleepCalls(), (std::vector<DWORD>{5, 5, 5}));
    client.reset();

    ResetOptionsMenu();
    substitute::Reset();
    KeepLibraryModule(TestModule());
    config.explorerAfterPolls = 100000;
    StartAndLoad();
    EXPECT_EQ(SleepsOf(5), 200u);
    EXPECT_EQ(substitute::SleepCalls().size(), 200u);
}

TEST_F(ExtensionNativeTest, WithoutAnApplicationThereIsNoWait) {
    config.explorerAfterPolls = 100000;
    Start();
    client->FailQueryInterface(IID_IOutlookExtCallback);
    LPEXCHEXT extension = ExchEntryPoint();
    client->InstallExtension(extension);
    extension->Release();
    client->ClearFaults();
    EXPECT_TRUE(substitute::SleepCalls().empty());
}

// In virtual time the add-in's start-up budget has an exact edge: a second
// is allowed, a millisecond more is not.
TEST_F(ExtensionNativeTest, TheAddInsStartUpMayTakeOneSecondAndNoMore) {
    config.version = "16.0.4266.1001";
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    for (const DWORD delay : {DWORD{1000}, DWORD{1001}}) {
        slowaddin::StartupDelay = delay;
        Start();
        const size_t loaded = client->LoadComAddIns(&slowaddin::ClassObject).size();
        slowaddin::StartupDelay = 0;
        EXPECT_EQ(loaded, delay == 1000 ? 1u : 0u) << delay;
        ASSERT_EQ(client->AddInTimings().size(), 2u) << delay;
        EXPECT_EQ(client->AddInTimings()[0].milliseconds, 0u) << delay;
        EXPECT_EQ(client->AddInTimings()[1].milliseconds, delay);
        EXPECT_EQ(client->DisabledAddIns().size(), delay == 1000 ? 0u : 1u) << delay;
        client.reset();
    }
}

// What the start-up could not find is told by the door that ran it, once,
// over the desktop: the extension's first entry point, or the add-in's first
// connection; the other door then finds the library started.
TEST_F(ExtensionNativeTest, TheStartUpsMessageShowsOnceOnTheFirstEntryPoint) {
    substitute::SetModulePath("Quorvel.dll"); // no directory to be found
    LPEXCHEXT first = ExchEntryPoint();
    LPEXCHEXT second = ExchEntryPoint();
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), MB_ICONEXCLAMATION),
              "Failed to find DLL directory.");
    first->Release();
    second->Release();
}

TEST_F(ExtensionNativeTest, TheStartUpsMessageShowsOnceOnTheAddInsFirstConnection) {
    config.version = "16.0.4266.1001";
    ASSERT_EQ(RegisterAddIn(AddInScope::CurrentUser, TestModule()), S_OK);
    substitute::SetSpecialFolder(CSIDL_APPDATA, ""); // no application-data folder
    Start();
    EXPECT_EQ(client->LoadComAddIns(&DllGetClassObject), std::vector<std::string>{kAddInProgId});
    EXPECT_EQ(OnlyMessageBox(GetDesktopWindow(), MB_ICONEXCLAMATION),
              "Failed to find application data directory.");
    LPEXCHEXT extension = ExchEntryPoint();
    extension->Release();
    EXPECT_EQ(substitute::MessageBoxes().size(), 1u);
}

// The user sends the compose window while its mailing runs: the job ends at
// its next copy instead of retrying for five minutes, with what it sent so
// far counted and logged.
TEST_F(ExtensionNativeTest, SendingTheWindowDuringItsMailingEndsTheJobAtTheNextCopy) {
    StartAndLoad();
    sim::Ptr<IDispatch> window = OpenDraft("Hello");
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string list = std::string(folder) + "window-sent.csv";
    WriteFileBytes(list, "Name,E-Mail\r\nOne,r1@example.com\r\nTwo,r2@example.com\r\n"
                         "Three,r3@example.com\r\n");
    bool sent = false;
    substitute::OnPump([&] {
        if (!sent && MailingJob::sentCount == 1) {
            sent = true;
            EXPECT_EQ(client->SendInspector(window.Get()), sim::MailClient::SendOutcome::Sent);
        }
    });
    SetMainDialogAction([&](ComposeContext* context, HWND) {
        std::snprintf(MailingJob::jobListPath, sizeof MailingJob::jobListPath, "%s", list.c_str());
        SelectListDelimiter(MailingJob::jobListPath);
        MailingJob::jobDialog = substitute::CreateTestWindow(DefWindowProcA);
        MailingJob::sentCount = 0;
        MailingJob::runState = kJobRunning;
        WindowJobUser user(context->ownerWindow, nullptr);
        MailingJob::Run(context, &user);
    });
    client->Click(Button(window.Get()).Get());
    substitute::OnPump(nullptr);
    ASSERT_TRUE(sent);
    EXPECT_EQ(MailingJob::sentCount, 1);
    EXPECT_EQ(SleepsOf(1000), 0u);
    EXPECT_EQ(client->Calls("Copy").size(), 2u);
    const std::string log = ReadFileBytes(DataPaths.currentJobLog);
    EXPECT_NE(log.find("Caught exception during message copy: 2 (1)"), std::string::npos) << log;
    EXPECT_EQ(log.find("(2)"), std::string::npos) << log;
    ASSERT_EQ(substitute::MessageBoxes().size(), 1u);
    EXPECT_EQ(substitute::MessageBoxes()[0].text, "Caught exception during message copy: 2 (1)");
    MailingJob::ResetShared();
}

} // namespace
