#include "job_fixture.h"

#include "client/host_application.h"
#include "data/mailing_list.h"
#include "data/settings.h"
#include "dialogs/job_window_user.h"

#include <cstdio>

void JobTest::SetUp() {
    PlatformTest::SetUp();
    ResetSettingsToLoadTime();
    ResetHostState();
    MailingJob::ResetShared();
    ListDelimiter = -1;
    AttachLibrary(TestModule());
    JobOptions.Pause = 0;
    JobOptions.DoSendRecv = 0;
    // Each test sets the limits it mails with; the review's proposal of an
    // account's own is tested where it is switched back on.
    JobOptions.LimitsChosen = 1;
}

void JobTest::TearDown() {
    CloseClient();
    PlatformTest::TearDown();
}

void JobTest::StartClient(const sim::Config& config) {
    client.reset(new sim::MailClient(config));
    sim::Ptr<IDispatch> application = client->Application();
    ApplicationRef = QueryAs<IDispatch>(application.Get(), IID__Application);
    Utf8Text version = HostApplication::Version(ApplicationRef.Get());
    HostVersion = ParseHostVersion(version.Get());
    MapiSessionRef = ComRef<IMAPISession>::Share(client->Session().Get());
}

void JobTest::Compose(const sim::Draft& draft) {
    inspector = client->OpenCompose(draft);
    item = client->CurrentItem(inspector.Get());
    if (context)
        context->Release();
    context = ComposeContext::Create(item.Get());
}

void JobTest::WriteList(const std::string& text, const std::string& name) {
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    listPath = std::string(folder) + name;
    WriteFileBytes(listPath, text);
    std::snprintf(MailingJob::jobListPath, sizeof MailingJob::jobListPath, "%s", listPath.c_str());
}

void JobTest::Prepare(int recipients, const sim::Config& config, const sim::Draft& draft) {
    StartClient(config);
    Compose(draft);
    WriteList(NumberedList(recipients));
}

void JobTest::RunJob() {
    SelectListDelimiter(MailingJob::jobListPath);
    MailingJob::runState = kJobRunning;
    MailingJob::PrepareNew(MailingJob::jobListPath, MailingJob::jobDialog);
    if (beforeRun)
        beforeRun();
    // Without the dialog, the job's boxes belong to the compose window, as
    // they would to a dialog's owner.
    WindowJobUser user(context ? context->ownerWindow : nullptr, review);
    MailingJob::Run(context, &user);
}

std::vector<WPARAM> JobTest::TakeJobFinished() {
    std::vector<WPARAM> results;
    MSG msg;
    while (PeekMessageA(&msg, MailingJob::jobDialog, JobFinishedMessage, JobFinishedMessage,
                        PM_REMOVE))
        results.push_back(msg.wParam);
    return results;
}

void JobTest::CloseClient() {
    if (context) {
        context->Release();
        context = nullptr;
    }
    item.Reset();
    inspector.Reset();
    ResetHostState();
    client.reset();
    // Everything the job took from the client has been given back.
    EXPECT_EQ(sim::LiveObjectCount(), 0u);
}

std::vector<std::string> JobTest::DeliveredTo() const {
    std::vector<std::string> to;
    for (const sim::Delivery& d : client->Deliveries()) {
        std::string line;
        for (const sim::Recipient& r : d.recipients)
            line += (line.empty() ? "" : ";") + r.address;
        to.push_back(line);
    }
    return to;
}

std::string NumberedList(int n) {
    std::string text = "Name,E-Mail\r\n";
    for (int i = 1; i <= n; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "Person %d,r%02d@example.com\r\n", i, i);
        text += line;
    }
    return text;
}

sim::Draft PlainMessage() {
    sim::Draft draft;
    draft.subject = "Hello [[Name]]";
    draft.body = "Dear [[Name]],\r\nyour address is [[E-Mail]].\r\n";
    draft.bodyFormat = olFormatPlain;
    return draft;
}
