// What the job's tests share: a simulated mail client with the extension's
// host references filled as the client's Install would fill them, a compose
// window, a mailing list on disk, and a run of the job the way the main
// dialog starts it. Used natively and under Wine.
#pragma once

#include "test_support.h"

#include "client/host_state.h"
#include "dialogs/job_window_user.h"
#include "engine/mailing_job.h"
#include "mail_client.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A list of n recipients "Name,E-Mail" (CR LF line ends), rNN@example.com.
std::string NumberedList(int n);
// The subject and the body a compose window starts with in most tests.
sim::Draft PlainMessage();

class JobTest : public PlatformTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulated client and fills ApplicationRef, MapiSessionRef
    // and HostVersion from it.
    void StartClient(const sim::Config& config = sim::Config());
    // Opens a compose window and makes the job's context for its item.
    void Compose(const sim::Draft& draft);
    // Writes the mailing list (text as it stands on disk) and makes it the
    // job's list.
    void WriteList(const std::string& text, const std::string& name = "list.csv");
    // A client, a compose window with `draft` and a list of n numbered
    // recipients (NumberedList).
    void Prepare(int recipients, const sim::Config& config = sim::Config(),
                 const sim::Draft& draft = PlainMessage());
    // Runs the job on jobListPath without the dialog: the delimiter chosen
    // for the list, running, the product's own PrepareNew (as the dialog's
    // Send calls it), then MailingJob::Run. The dialog's tests and the demo
    // start their jobs through OpenMainDialog.
    void RunJob();
    // The JobFinishedMessage results posted to the dialog, taken from the queue.
    std::vector<WPARAM> TakeJobFinished();

    // Releases the job's context, the host references and the client, then
    // checks that nothing of the client is still held.
    void CloseClient();

    std::string ReadLog(const char* path) { return ReadFileBytes(path); }
    std::vector<std::string> DeliveredTo() const;

    // Runs right before MailingJob::Run, after the dialog's own preparations.
    std::function<void()> beforeRun;
    // The review MailingJob::Run is given; none by default.
    WindowJobUser::ReviewShower review = nullptr;

    std::unique_ptr<sim::MailClient> client;
    sim::Ptr<IDispatch> inspector;
    sim::Ptr<IDispatch> item;
    ComposeContext* context = nullptr;
    std::string listPath;
};

// The day as the job writes it into its questions and its state ("m/d/yyyy"):
// the virtual clock's natively, the machine's under Wine.
inline std::string TodayAsTheJobWritesIt() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return std::to_string(now.wMonth) + "/" + std::to_string(now.wDay) + "/" +
           std::to_string(now.wYear);
}
