// The whole space of failures, swept: a short mailing is run once cleanly to
// count every call it makes to the mail client and every allocation; then
// once for each of them with that one failing (returned, and raised through
// Invoke), and once for each pump with the user cancelling there, or pausing
// there and resuming two pumps later. Every run must end the same sound way:
// one Finish, the footers written, everything given back, and the logs, the
// sent list and the deliveries telling the same story.
#include "job_native_fixture.h"

#include "data/settings.h"

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
    // before the job starts, with the client up: it sets the fault. Returns
    // the first invariant the run broke, or "" when it kept them all.
    std::string Run(const std::function<void()>& arm) {
        TearDown();
        SetUp();
        JobOptions.DoSendRecv = 1;
        JobOptions.SendRecvCount = 2;
        StartClient();
        Compose(PlainMessage());
        WriteList(kList);
        substitute::SetMessageBoxResponder([](const substitute::MessageBoxCall& box) {
            return (box.flags & MB_YESNO) ? IDNO : IDOK;
        });
        callsBefore = client->CallCount();
        allocationsBefore = substitute::AllocationCount();
        mapiAllocationsBefore = substitute::MapiAllocationCount();
        pumpsBefore = substitute::PumpCount();
        if (arm)
            arm();
        RunJob();
        calls = client->CallCount() - callsBefore;
        allocations = substitute::AllocationCount() - allocationsBefore;
        mapiAllocations = substitute::MapiAllocationCount() - mapiAllocationsBefore;
        pumps = substitute::PumpCount() - pumpsBefore;
        client->ClearFaults();
        return Broken();
    }

    std::string Broken() {
        const std::vector<WPARAM> finished = TakeJobFinished();
        if (finished.size() != 1)
            return "JobFinishedMessage posted " + std::to_string(finished.size()) + " times";
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
        const size_t deliveries = client->Deliveries().size();
        const std::string log = ReadLog(DataPaths.currentJobLog);
        const bool logged = GetFileAttributesA(DataPaths.currentJobLog) != INVALID_FILE_ATTRIBUTES;
        if (logged) {
            const size_t footer = log.rfind("Job Ended : (");
            if (footer == std::string::npos || log.find("\r\n", footer) + 2 != log.size())
                return "the current job log does not end with its footer";
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
        CloseClient();
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
    for (unsigned k = 1; k <= cleanPumps; ++k) {
        const std::string broken = Run([&] {
            const unsigned at = substitute::PumpCount() + k;
            substitute::OnPump([at] {
                if (substitute::PumpCount() == at)
                    MailingJob::runState = kJobIdle;
            });
        });
        ASSERT_EQ(broken, "") << "cancel at pump " << k;
    }
    for (unsigned k = 1; k <= cleanPumps; ++k) {
        const std::string broken = Run([&] {
            const unsigned at = substitute::PumpCount() + k;
            substitute::OnPump([at] {
                if (substitute::PumpCount() == at)
                    MailingJob::runState = kJobPaused;
                else if (substitute::PumpCount() == at + 2)
                    MailingJob::runState = kJobRunning;
            });
        });
        ASSERT_EQ(broken, "") << "pause at pump " << k;
        // A resumed job delivers the whole list, once each.
        ASSERT_EQ(MailingJob::sentCount, 4) << "pause at pump " << k;
    }
    std::printf("[ sweep    ] %u poll points swept, each cancelled and paused\n", cleanPumps);
}

} // namespace
