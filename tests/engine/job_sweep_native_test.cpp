// The whole space of failures, swept through the front door: the client
// loads the extension, opens a compose window, the user clicks "Quorsend",
// types the list into the mailing dialog and presses Send. The mailing is
// run once cleanly to count every call the product makes to the mail client
// and every allocation; then once for each of them with that one failing
// (returned, and raised through Invoke), and once for each pump with the
// user cancelling there, or pausing there and resuming two pumps later.
// Every run must end the same sound way: the dialog closed, one summary, the
// footers written, everything given back, and the logs, the sent list and
// the deliveries telling the same story.
#include "job_native_fixture.h"

#include "base/dialog_ids.h"
#include "client/host_application.h"
#include "compose/compose_button.h"
#include "compose/options_menu.h"
#include "data/settings.h"
#include "extension/extension_object.h"

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

namespace {

// Five recipients, the third without an address; Send/Receive every two.
const char kList[] = "Name,E-Mail\r\n"
                     "Person 1,r01@example.com\r\n"
                     "Person 2,r02@example.com\r\n"
                     "Person 3,\r\n"
                     "Person 4,r04@example.com\r\n"
                     "Person 5,r05@example.com\r\n";
const std::set<std::string> kAddresses = {"r01@example.com", "r02@example.com", "r04@example.com",
                                          "r05@example.com"};

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class JobSweepTest : public VirtualJobTest {
protected:
    // One mailing, from a fresh machine to a closed client. `arm` runs just
    // before the client loads the extension: it sets the fault. Returns the
    // first invariant the run broke, or "" when it kept them all.
    std::string Run(const std::function<void()>& arm) {
        TearDown();
        SetUp();
        KeepLibraryModule(TestModule());
        ResetComposeButtons();
        ResetOptionsMenu();
        HostApplication::ForgetMemberIds();
        JobOptions.DoSendRecv = 1;
        JobOptions.SendRecvCount = 2;
        JobOptions.ToList[0] = '\0';
        WriteList(kList);
        summaries = 0;
        substitute::SetMessageBoxResponder([this](const substitute::MessageBoxCall& box) {
            if (box.text.rfind("Job ", 0) == 0)
                ++summaries;
            return (box.flags & MB_YESNO) ? IDNO : IDOK;
        });
        client.reset(new sim::MailClient(sim::Config()));
        callsBefore = client->CallCount();
        allocationsBefore = substitute::AllocationCount();
        mapiAllocationsBefore = substitute::MapiAllocationCount();
        pumpsBefore = substitute::PumpCount();
        // The job's own pumps, between its start and its end: where the
        // user's clicks on Pause and Cancel reach it.
        jobPumps = 0;
        substitute::OnPump([this] {
            if (MailingJob::runState != kJobIdle)
                ++jobPumps;
        });
        cleanRun = !arm;
        if (arm)
            arm();
        if (LPEXCHEXT extension = ExchEntryPoint()) {
            client->InstallExtension(extension);
            extension->Release();
        }
        sim::Draft draft = PlainMessage();
        draft.window =
            substitute::CreateTestWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        inspector = client->OpenCompose(draft);
        sim::Ptr<IDispatch> button = client->FindControl(inspector.Get(), "Standard", "Quorsend");
        if (button) {
            const std::string list = listPath;
            substitute::At(GetTickCount() + 500, [list] {
                if (HWND dialog = substitute::ActiveDialog())
                    substitute::Type(dialog, IDC_LIST_PATH, list);
            });
            substitute::At(GetTickCount() + 1000, [] {
                if (HWND dialog = substitute::ActiveDialog())
                    substitute::Click(dialog, IDC_SEND_PAUSE);
            });
            // Should the job never start, the user closes the dialog.
            substitute::At(GetTickCount() + 600000, [] {
                if (HWND dialog = substitute::ActiveDialog())
                    substitute::Click(dialog, IDCANCEL);
            });
            client->Click(button.Get());
            button.Reset();
        }
        calls = client->CallCount() - callsBefore;
        allocations = substitute::AllocationCount() - allocationsBefore;
        mapiAllocations = substitute::MapiAllocationCount() - mapiAllocationsBefore;
        pumps = jobPumps;
        client->ClearFaults();
        return Broken();
    }

    std::string Broken() {
        if (substitute::ActiveDialog())
            return "the mailing dialog is still open";
        const bool logged = GetFileAttributesA(DataPaths.currentJobLog) != INVALID_FILE_ATTRIBUTES;
        if (summaries > 1 || (logged && summaries != 1))
            return "the job's end was told " + std::to_string(summaries) + " times";
        // What was submitted and not yet delivered goes out now: a message
        // counted as sent must be one the client has.
        client->RunSpooler();
        std::map<std::string, int> delivered;
        for (const sim::Delivery& d : client->Deliveries()) {
            if (d.recipients.size() != 1)
                return "a message went to " + std::to_string(d.recipients.size()) + " recipients";
            const std::string& to = d.recipients[0].address;
            if (!kAddresses.count(to))
                return "a message went to " + to + ", who is not on the list";
            if (++delivered[to] > 1)
                return to + " received two messages";
        }
        // A copy whose recipient could not be resolved (the address book
        // failing) still went: the store answers it with a non-delivery
        // report, which counts as the message the client has.
        if (cleanRun && !client->NonDeliveries().empty())
            return "a copy of a run without faults went unresolved";
        for (const sim::NonDelivery& n : client->NonDeliveries()) {
            if (n.recipients.size() != 1)
                return "a report names " + std::to_string(n.recipients.size()) + " recipients";
            const std::string& to = n.recipients[0].address;
            if (!kAddresses.count(to))
                return "a message bounced from " + to + ", who is not on the list";
            if (++delivered[to] > 1)
                return to + " received two messages";
        }
        const size_t deliveries = client->Deliveries().size() + client->NonDeliveries().size();
        const std::string log = ReadLog(DataPaths.currentJobLog);
        if (logged) {
            // After the footer, only what the dialog did with the composed
            // message once the job was over.
            const size_t footer = log.rfind("Job Ended : (");
            std::string after =
                footer == std::string::npos ? log : log.substr(log.find("\r\n", footer) + 2);
            for (const char* done : {"Error attempting to close original message.\r\n",
                                     "Error attempting to delete original message.\r\n"})
                if (after == done)
                    after.clear();
            if (footer == std::string::npos || !after.empty())
                return "the current job log does not end with its footer:\n" + log;
            const size_t sentLines = CountOf(log, ". Sent Successfully\r\n");
            if (sentLines != static_cast<size_t>(MailingJob::sentCount))
                return "the log says " + std::to_string(sentLines) + " sent, the job counted " +
                       std::to_string(MailingJob::sentCount);
            const std::string summary =
                "\tE-Mails Sent: " + std::to_string(MailingJob::sentCount) + "\r\n";
            if (log.find(summary) == std::string::npos)
                return "the footer does not give the count sent";
        }
        if (static_cast<size_t>(MailingJob::sentCount) != deliveries)
            return "the job counted " + std::to_string(MailingJob::sentCount) + " sent, " +
                   std::to_string(deliveries) + " were delivered";
        if (GetFileAttributesA(DataPaths.sentList) != INVALID_FILE_ATTRIBUTES) {
            const std::string sentList = ReadLog(DataPaths.sentList);
            const size_t records = CountOf(sentList, "\r\n");
            if (records != deliveries + 1)
                return "the sent list holds " + std::to_string(records - (records ? 1 : 0)) +
                       " records for " + std::to_string(deliveries) + " delivered";
            for (const auto& d : delivered)
                if (sentList.find("," + d.first + "\r\n") == std::string::npos)
                    return "the sent list lacks " + d.first;
        } else if (deliveries) {
            return "messages were delivered and there is no sent list";
        }
        for (const sim::Ptr<IDispatch>& window : client->OpenInspectors())
            client->CloseInspector(window.Get(), 1 /* olDiscard */);
        inspector.Reset();
        client.reset();
        if (TSAddIn::LiveCount())
            return std::to_string(TSAddIn::LiveCount()) + " extension objects still alive";
        if (ApplicationRef || MapiSessionRef)
            return "the application or the session is still held";
        if (sim::LiveObjectCount())
            return std::to_string(sim::LiveObjectCount()) + " simulated objects still alive";
        if (substitute::LiveMapiBuffers())
            return std::to_string(substitute::LiveMapiBuffers()) + " MAPI buffers not freed";
        return "";
    }

    unsigned long callsBefore = 0, calls = 0;
    unsigned allocationsBefore = 0, allocations = 0;
    unsigned mapiAllocationsBefore = 0, mapiAllocations = 0;
    unsigned pumpsBefore = 0, pumps = 0;
    int summaries = 0;
    unsigned jobPumps = 0;
    bool cleanRun = false;
};

TEST_F(JobSweepTest, EveryCallAndEveryAllocationFailingLeavesTheMailingSound) {
    ASSERT_EQ(Run(nullptr), "");
    ASSERT_FALSE(client);
    const unsigned long cleanCalls = calls;
    const unsigned cleanAllocations = allocations, cleanMapiAllocations = mapiAllocations;
    ASSERT_GT(cleanCalls, 50u);

    size_t points = 0;
    for (unsigned long i = 1; i <= cleanCalls; ++i) {
        for (bool raise : {false, true}) {
            const std::string broken = Run([&] {
                if (raise)
                    client->RaiseCall("*", static_cast<unsigned>(i), E_FAIL);
                else
                    client->FailCall("*", static_cast<unsigned>(i), E_FAIL);
            });
            ++points;
            ASSERT_EQ(broken, "") << "call " << i << (raise ? " raising" : " failing");
        }
    }
    for (unsigned i = 1; i <= cleanAllocations; ++i) {
        const std::string broken = Run([&] { substitute::FailAllocationAt(i); });
        ++points;
        ASSERT_EQ(broken, "") << "allocation " << i;
    }
    for (unsigned i = 1; i <= cleanMapiAllocations; ++i) {
        const std::string broken = Run([&] { substitute::FailMapiAllocationAt(i); });
        ++points;
        ASSERT_EQ(broken, "") << "MAPI allocation " << i;
    }
    std::printf("[ sweep    ] %zu fault points swept: %lu calls (each failing and raising), %u "
                "allocations, %u MAPI allocations\n",
                points, cleanCalls, cleanAllocations, cleanMapiAllocations);
}

TEST_F(JobSweepTest, CancellingOrPausingAtEveryPumpLeavesTheMailingSound) {
    ASSERT_EQ(Run(nullptr), "");
    const unsigned cleanPumps = pumps;
    ASSERT_GE(cleanPumps, 4u);
    // The user's click on the mailing dialog at the job's k-th pump (the
    // counter runs after the fixture's own, which comes first).
    auto clickAt = [this](const std::vector<unsigned>& at, int id) {
        substitute::OnPump([this, at, id] {
            for (unsigned k : at)
                if (jobPumps == k && substitute::ActiveDialog() && MailingJob::runState != kJobIdle)
                    substitute::Click(substitute::ActiveDialog(), id);
        });
    };
    for (unsigned k = 1; k <= cleanPumps; ++k) {
        const std::string broken = Run([&] { clickAt({k}, IDCANCEL); });
        ASSERT_EQ(broken, "") << "cancel at pump " << k;
    }
    for (unsigned k = 1; k <= cleanPumps; ++k) {
        // Pause and Send are the same button.
        const std::string broken = Run([&] { clickAt({k, k + 2}, IDC_SEND_PAUSE); });
        ASSERT_EQ(broken, "") << "pause at pump " << k;
        // A resumed job delivers the whole list, once each.
        ASSERT_EQ(MailingJob::sentCount, 4) << "pause at pump " << k;
    }
    std::printf("[ sweep    ] %u poll points swept, each cancelled and paused\n", cleanPumps);
}

} // namespace
