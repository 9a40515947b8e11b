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
#include "data/job_progress.h"
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
    std::string Run(const std::function<void()>& arm, bool continued = false) {
        TearDown();
        SetUp();
        staged = continued;
        KeepLibraryModule(TestModule());
        ResetComposeButtons();
        ResetOptionsMenu();
        HostApplication::ForgetMemberIds();
        JobOptions.DoSendRecv = 1;
        JobOptions.SendRecvCount = 2;
        JobOptions.ToList[0] = '\0';
        WriteList(kList);
        if (continued)
            StageStoppedMailing();
        summaries = 0;
        toldStartOver = false;
        substitute::SetMessageBoxResponder([this](const substitute::MessageBoxCall& box) {
            if (box.text.rfind("Job ", 0) == 0)
                ++summaries;
            // The user goes on with the last mailing, and sends the record
            // in doubt when asked; or starts over when its sent list is lost.
            for (const char* question : {"The last mailing of this list", "The last run of this",
                                         "The sent list of the last"})
                if (box.text.rfind(question, 0) == 0) {
                    toldStartOver |= question[4] == 's';
                    return IDYES;
                }
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

    // The files a mailing of kList leaves when its process died while the
    // copy for Person 4 was being made, Persons 1 and 2 mailed.
    void StageStoppedMailing() {
        stagedSent = "Name,E-Mail\r\nPerson 1,r01@example.com\r\nPerson 2,r02@example.com\r\n";
        WriteFileBytes(DataPaths.sentList, stagedSent);
        stagedLog = "Job Started: (12/5/2007 4:03.26)\r\n"
                    "(4:03.26) # 1, To: r01@example.com. Sent Successfully\r\n"
                    "(4:03.27) # 2, To: r02@example.com. Sent Successfully\r\n";
        WriteFileBytes(DataPaths.currentJobLog, stagedLog);
        char mark[64];
        std::snprintf(mark, sizeof mark, "Sending 5 %016llx 2\r\n",
                      static_cast<unsigned long long>(ListRecordHash("Person 4,r04@example.com")));
        stagedState =
            "Quorvel job state 1\r\nList: " + listPath + "\r\nSubject: Hello [[Name]]\r\n" + mark;
        WriteFileBytes(DataPaths.jobState, stagedState);
    }

    // The records of a sent list after its header, by address.
    static std::map<std::string, int> SentAddresses(const std::string& sentList) {
        std::map<std::string, int> addresses;
        for (size_t at = sentList.find("\r\n"); at != std::string::npos;) {
            const size_t end = sentList.find("\r\n", at + 2);
            if (end == std::string::npos)
                break;
            const std::string record = sentList.substr(at + 2, end - at - 2);
            ++addresses[record.substr(record.find(',') + 1)];
            at = end;
        }
        return addresses;
    }

    std::string Broken() {
        if (substitute::ActiveDialog())
            return "the mailing dialog is still open";
        // A current log this run wrote (the earlier run's, left as it was,
        // is none).
        const bool logged =
            GetFileAttributesA(DataPaths.currentJobLog) != INVALID_FILE_ATTRIBUTES &&
            !(staged && ReadLog(DataPaths.currentJobLog) == stagedLog);
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
            // This run's lines: a continued mailing's log holds the earlier ones too.
            const size_t started = log.rfind("Job Started: (");
            const size_t sentLines =
                CountOf(started == std::string::npos ? log : log.substr(started),
                        ". Sent Successfully\r\n");
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
            // The sent list holds each address once: the earlier run's,
            // when this run continued it, and every one delivered now.
            const std::string sentList = ReadLog(DataPaths.sentList);
            // Unless the user was told the earlier records cannot be used
            // and chose to start over.
            const bool kept = staged && !toldStartOver;
            std::map<std::string, int> expected = delivered;
            if (kept)
                for (const auto& earlier : SentAddresses(stagedSent))
                    if (++expected[earlier.first] > 1)
                        return earlier.first + ", mailed by the run that stopped, was mailed again";
            if (SentAddresses(sentList) != expected)
                return "the sent list does not hold each address mailed once:\n" + sentList;
        } else if (deliveries) {
            return "messages were delivered and there is no sent list";
        }
        // A run that went as far as the job state file ended it in order;
        // one that did not left it as it was.
        if (GetFileAttributesA(DataPaths.jobState) != INVALID_FILE_ATTRIBUTES) {
            const std::string state = ReadLog(DataPaths.jobState);
            const bool untouched = staged && state == stagedState;
            if (!untouched && state.find("\r\nEnded: ", state.size() > 40 ? state.size() - 40
                                                                          : 0) == std::string::npos)
                return "the job state file does not end with its end:\n" + state;
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
    bool staged = false;
    bool toldStartOver = false;
    std::string stagedSent, stagedState, stagedLog;
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

// The same sweep over a run that continues a mailing whose process died
// (Persons 1 and 2 mailed, Person 4 in doubt), with every file the job opens
// failing to open in turn as well: whatever fails, nobody the earlier run
// mailed is mailed again, and the records still tell who was.
TEST_F(JobSweepTest, EveryFailureWhileContinuingAMailingKeepsItsRecordsTrue) {
    ASSERT_EQ(Run(nullptr, true), "");
    ASSERT_EQ(MailingJob::sentCount, 2); // Persons 4 (in doubt, not found) and 5
    const unsigned long cleanCalls = calls;
    const unsigned cleanAllocations = allocations;
    size_t points = 0;
    for (unsigned long i = 1; i <= cleanCalls; ++i) {
        for (bool raise : {false, true}) {
            const std::string broken = Run(
                [&] {
                    if (raise)
                        client->RaiseCall("*", static_cast<unsigned>(i), E_FAIL);
                    else
                        client->FailCall("*", static_cast<unsigned>(i), E_FAIL);
                },
                true);
            ++points;
            ASSERT_EQ(broken, "") << "call " << i << (raise ? " raising" : " failing");
        }
    }
    for (unsigned i = 1; i <= cleanAllocations; ++i) {
        const std::string broken = Run([&] { substitute::FailAllocationAt(i); }, true);
        ++points;
        ASSERT_EQ(broken, "") << "allocation " << i;
    }
    for (const char* path :
         {DataPaths.jobState, DataPaths.sentList, DataPaths.currentJobLog, DataPaths.jobHistory}) {
        for (unsigned n = 1; n <= 3; ++n) {
            const std::string file = path; // DataPaths is refilled by each run
            const std::string broken = Run([&] { substitute::FailFileOpen(file, n); }, true);
            ++points;
            ASSERT_EQ(broken, "") << file << " open " << n;
        }
    }
    std::printf("[ sweep    ] %zu fault points swept over a continued mailing\n", points);
}

// The looks at the list (its size and time before the first copy, while
// sending, at the end) failing one by one: the bytes decide then, the list
// is the one counted, and everyone is mailed once. The list failing to open
// in turn (the counting pass, the sending pass, a look at its bytes) ends
// the job soundly wherever it comes.
TEST_F(JobSweepTest, EveryLookAtTheListFailingLeavesTheMailingSound) {
    ASSERT_EQ(Run(nullptr), "");
    unsigned looks = 0;
    for (const substitute::FileCall& call : substitute::FileCalls())
        looks += call.function == "GetFileAttributesExA" ? 1 : 0;
    ASSERT_GE(looks, 2u);
    for (unsigned i = 1; i <= looks; ++i) {
        const std::string broken = Run([&] { substitute::FailFileAttributesExAt(i); });
        ASSERT_EQ(broken, "") << "look " << i;
        ASSERT_EQ(MailingJob::sentCount, 4) << "look " << i;
    }
    for (unsigned n = 1; n <= 6; ++n) {
        const std::string list = listPath;
        const std::string broken = Run([&] { substitute::FailFileOpen(list, n); });
        ASSERT_EQ(broken, "") << "list open " << n;
    }
}

} // namespace
