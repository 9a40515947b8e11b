// The job state file read back as a killed process leaves it (the doubts it
// carries until they are settled), and the sent list's recipients matched
// address for address. Both builds.
#include "test_support.h"

#include "data/job_progress.h"
#include "data/mailing_list.h"

#include <string>
#include <utility>
#include <vector>

namespace {

class JobProgressTest : public PlatformTest {
protected:
    std::string Path(const char* name) {
        char folder[MAX_PATH] = "";
        GetTempPathA(sizeof folder, folder);
        return std::string(folder) + name;
    }

    // Writes a job state through the product's own writers.
    void WriteState(const std::string& path, const char* subject,
                    const std::function<void(CrtFile*)>& more) {
        CrtFile* state = CrtOpen(path.c_str(), "w");
        ASSERT_NE(state, nullptr);
        WriteJobStateStart(state, "C:\\Lists\\Spring.csv", subject);
        more(state);
        CrtClose(state);
    }
};

TEST_F(JobProgressTest, TheStateTellsTheMailingAndTheRecordInDoubt) {
    const std::string path = Path("state.txt");
    const char subject[] = "Hi [[Name]]\r\nsecond \\line";
    WriteState(path, subject, [](CrtFile* state) {
        EXPECT_TRUE(WriteJobStateSending(state, 2, 0x1234, 0, "ann@example.com"));
        EXPECT_TRUE(WriteJobStateSending(state, 3, 0xfedcba9876543210ull, 1, "Bob@Example.com"));
    });
    LastJob job;
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    EXPECT_STREQ(job.subject, subject); // escaped to one line and back
    EXPECT_STREQ(job.listPath, "C:\\Lists\\Spring.csv");
    EXPECT_FALSE(job.completed);
    ASSERT_TRUE(job.hasDoubt);
    EXPECT_EQ(job.doubtLine, 3);
    EXPECT_EQ(job.doubtHash, 0xfedcba9876543210ull);
    EXPECT_EQ(job.doubtSentBefore, 1);
    EXPECT_STREQ(job.doubtAddress, "Bob@Example.com");
    // The same file, the list typed in another letter case.
    EXPECT_TRUE(IsSameMailing(job, "c:\\LISTS\\spring.csv", subject));
    EXPECT_FALSE(IsSameMailing(job, "C:\\Lists\\Spring.csv", "Hi [[Name]]"));
    EXPECT_FALSE(IsSameMailing(job, "C:\\Lists\\Spring2.csv", subject));

    // A line cut by the kill counts for nothing: the mark before it stands.
    WriteFileBytes(path, ReadFileBytes(path) + "Sending 4 00000000000000aa 2");
    LastJob cut;
    ASSERT_EQ(ReadLastJob(path.c_str(), &cut), LastJobFound);
    EXPECT_EQ(cut.doubtLine, 3);

    // The previous version's mark has no address: its record is known by
    // its hash alone.
    WriteFileBytes(path, "Quorvel job state 1\r\nList: x\r\nSubject: s\r\n"
                         "Sending 5 00000000000000ab 4\r\n");
    LastJob old;
    ASSERT_EQ(ReadLastJob(path.c_str(), &old), LastJobFound);
    EXPECT_TRUE(old.hasDoubt);
    EXPECT_EQ(old.doubtHash, 0xabu);
    EXPECT_STREQ(old.doubtAddress, "");
}

// What a continued run must read as the earlier runs did: the workbook's
// sheet (the last run's, its name read back whatever it holds) and every
// copy's release time, a time cut short by a kill counting for nothing.
TEST_F(JobProgressTest, TheSheetAndTheReleaseTimesOfEveryRunReadBack) {
    const std::string path = Path("state.txt");
    WriteState(path, "s", [](CrtFile* state) {
        EXPECT_TRUE(WriteJobStateSheet(state, "People", false));
        EXPECT_TRUE(WriteJobStateSending(state, 2, 1, 0, "a@example.com", 13000000000ll));
        EXPECT_TRUE(WriteJobStateSending(state, 3, 2, 1, "b@example.com"));
        WriteJobStateContinued(state);
        EXPECT_TRUE(WriteJobStateSheet(state, "Q1\\2 \r\nM\xC3\xA1s", true));
        EXPECT_TRUE(WriteJobStateSending(state, 4, 3, 2, "c@example.com", 13000000060ll));
    });
    WriteFileBytes(path, ReadFileBytes(path) + "Release 13000000x\nRelease 1300");
    std::vector<long long> times;
    LastJob job;
    job.onRelease = [](void* context, long long t) {
        static_cast<std::vector<long long>*>(context)->push_back(t);
    };
    job.onSendingContext = &times;
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    ASSERT_TRUE(job.hasSheet);
    EXPECT_STREQ(job.sheet, "Q1\\2 \r\nM\xC3\xA1s");
    EXPECT_TRUE(job.sheetIncludesHidden);
    EXPECT_EQ(times, (std::vector<long long>{13000000000ll, 13000000060ll}));
    EXPECT_EQ(job.doubtLine, 4) << "the release line keeps the mark in doubt";
}

// A doubt stays until it is settled, whatever the runs in between did: a
// run that ended, another that continued and died on another record.
// A mailing is its message's id once both sides have one; without, its list
// and subject. A later run's list line (the list renamed) stands.
TEST_F(JobProgressTest, AMailingIsKnownByItsIdElseByItsListAndSubject) {
    const std::string path = Path("state.txt");
    WriteState(path, "Hi [[Name]]",
               [](CrtFile* state) { EXPECT_TRUE(WriteJobStateMailing(state, "m-1", "3/4/2024")); });
    LastJob job;
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    EXPECT_STREQ(job.mailingId, "m-1");
    EXPECT_STREQ(job.date, "3/4/2024");
    const char list[] = "C:\\Lists\\Spring.csv";
    const struct {
        MailingKey key;
        MailingMatch match;
    } cases[] = {
        {{list, "Edited [[Name]]", "m-1"}, MailingMatch::Same},
        {{"c:\\lists\\spring.CSV", "Hi [[Name]]", "m-1"}, MailingMatch::Same},
        {{"C:\\Lists\\Renamed.csv", "Hi [[Name]]", "m-1"}, MailingMatch::SameMessage},
        {{list, "Hi [[Name]]", "m-2"}, MailingMatch::SameSubject}, // another message
        {{list, "Hi [[Name]]", ""}, MailingMatch::Same},           // a draft with no id
        {{"C:\\Other.csv", "Hi [[Name]]", ""}, MailingMatch::SameSubject},
        {{list, "Other", ""}, MailingMatch::Other},
        {{list, "Other", "m-2"}, MailingMatch::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchMailing(job, c.key), c.match) << c.key.listPath << " " << c.key.subject;

    WriteFileBytes(path, ReadFileBytes(path) + "Continued\r\nList: C:\\Lists\\Renamed.csv\r\n"
                                               "Mailing: m-1\r\nDate: 3/5/2024\r\n");
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    EXPECT_STREQ(job.listPath, "C:\\Lists\\Renamed.csv");
    EXPECT_STREQ(job.date, "3/5/2024");
    EXPECT_EQ(MatchMailing(job, MailingKey{"C:\\Lists\\Renamed.csv", "x", "m-1"}),
              MailingMatch::Same);
}

TEST_F(JobProgressTest, CarriedDoubtsStayUntilSettled) {
    const std::string path = Path("state.txt");
    WriteState(path, "S", [](CrtFile* state) {
        WriteJobStateContinued(state);
        EXPECT_TRUE(WriteJobStateDoubt(state, "a@example.com"));
        EXPECT_TRUE(WriteJobStateDoubt(state, "b@example.com"));
        EXPECT_TRUE(WriteJobStateDoubt(state, "A@EXAMPLE.COM")); // the same recipient
        EXPECT_TRUE(WriteJobStateSettled(state, "b@example.com"));
        WriteJobStateEnd(state, false);
        WriteJobStateContinued(state);
        WriteJobStateDoubt(state, "c@example.com");
        WriteJobStateSending(state, 9, 1, 3, "d@example.com");
    });
    LastJob job;
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    ASSERT_EQ(job.carried.Count(), 2);
    EXPECT_TRUE(job.carried.Has("A@example.com"));
    EXPECT_TRUE(job.carried.Has("c@example.com"));
    EXPECT_FALSE(job.carried.Has("b@example.com"));
    EXPECT_TRUE(job.hasDoubt);
    EXPECT_STREQ(job.doubtAddress, "d@example.com");
}

TEST_F(JobProgressTest, AnEndedRunLeavesNothingInDoubtAndAContinuedOneIsNotComplete) {
    const std::string path = Path("state.txt");
    WriteState(path, "S", [](CrtFile* state) {
        WriteJobStateSending(state, 2, 1, 0, "a@example.com");
        WriteJobStateEnd(state, false);
    });
    LastJob stopped;
    ASSERT_EQ(ReadLastJob(path.c_str(), &stopped), LastJobFound);
    EXPECT_FALSE(stopped.hasDoubt);
    EXPECT_FALSE(stopped.completed);

    CrtFile* state = CrtOpen(path.c_str(), "a");
    WriteJobStateContinued(state);
    WriteJobStateSending(state, 3, 2, 1, "b@example.com");
    WriteJobStateEnd(state, true);
    CrtClose(state);
    LastJob completed;
    ASSERT_EQ(ReadLastJob(path.c_str(), &completed), LastJobFound);
    EXPECT_TRUE(completed.completed);
    EXPECT_FALSE(completed.hasDoubt);
}

TEST_F(JobProgressTest, AFileThatIsNoJobStateIsUnreadableAndAMissingOneIsNone) {
    LastJob job;
    EXPECT_EQ(ReadLastJob(Path("none.txt").c_str(), &job), LastJobNone);
    for (const char* text : {"", "Name,E-Mail\r\n", "Quorvel job state 1\r\nList: x\r\n",
                             "Quorvel job state 1\r\nList: x\r\nSubject: s\r\nSending x\r\n"}) {
        SCOPED_TRACE(text);
        WriteFileBytes(Path("state.txt"), text);
        LastJob bad;
        EXPECT_EQ(ReadLastJob(Path("state.txt").c_str(), &bad), LastJobUnreadable);
    }
}

TEST_F(JobProgressTest, SentRecordsAreTakenOncePerTimeTheyWereSent) {
    ListDelimiter = kListComma;
    // The last record has no line break: the file was cut by hand or the
    // process died after it; the record is the same.
    WriteFileBytes(Path("tosent.txt"), "Name,E-Mail\r\n"
                                       "Ann,ann@example.com\r\n"
                                       "\"Bob\r\nBaker\",bob@example.com\r\n"
                                       "Ann,ann@example.com\r\n"
                                       "Cid,cid@example.com");
    SentRecords sent;
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    EXPECT_EQ(sent.Count(), 4);
    EXPECT_FALSE(sent.EndsWithLineBreak());
    EXPECT_TRUE(sent.HasAddressColumn());

    EXPECT_TRUE(sent.Take("ann@example.com"));
    EXPECT_TRUE(sent.Take("ANN@example.com"));  // letter case aside
    EXPECT_FALSE(sent.Take("ann@example.com")); // sent twice, no more
    EXPECT_TRUE(sent.Take("bob@example.com"));
    EXPECT_TRUE(sent.Take("cid@example.com"));
    EXPECT_FALSE(sent.Take("dee@example.com"));
    sent.GiveBack();
    EXPECT_TRUE(sent.Take("Cid@Example.Com"));

    // Fields renamed or moved, values quoted, blanks added: the same
    // recipients. A sent list that names no address proves nothing.
    WriteFileBytes(Path("tosent.txt"), "E-Mail,Full Name\r\n"
                                       "\" ann@example.com \",\"Ann\"\r\n"
                                       "bob@example.com ,Bob\r\n");
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    EXPECT_TRUE(sent.Take("ann@example.com"));
    EXPECT_TRUE(sent.Take("bob@example.com"));
    WriteFileBytes(Path("tosent.txt"), "Name,Address\r\nAnn,ann@example.com\r\n");
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    EXPECT_FALSE(sent.HasAddressColumn());
    EXPECT_FALSE(sent.Take("ann@example.com"));

    EXPECT_EQ(sent.Load(Path("missing.txt").c_str()), SentListMissing);
    for (const char* lineEnd : {"\n", "\r\n"}) {
        SCOPED_TRACE(lineEnd[0] == '\r' ? "CR LF" : "LF");
        WriteFileBytes(Path("with-nul-byte.txt"), std::string("Name,E-Mail") + lineEnd + "A,a@x" +
                                                      std::string(1, '\0') + ".com" + lineEnd);
        EXPECT_EQ(sent.Load(Path("with-nul-byte.txt").c_str()), SentListBroken);
        EXPECT_EQ(sent.Count(), 0);
    }
}

// Many records, each taken exactly once: the table grows without losing any.
TEST_F(JobProgressTest, ALargeSentListMatchesEveryRecordOnce) {
    ListDelimiter = kListComma;
    std::string text = "Name,E-Mail\r\n";
    for (int i = 0; i < 5000; ++i)
        text += "P" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\r\n";
    WriteFileBytes(Path("tosent.txt"), text);
    SentRecords sent;
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    EXPECT_EQ(sent.Count(), 5000);
    int taken = 0;
    for (int i = 0; i < 5001; ++i)
        taken += sent.Take(("p" + std::to_string(i) + "@example.com").c_str());
    EXPECT_EQ(taken, 5000);
}

// The waiting copies taken back: each "Withdrawing" line stops one record of
// its address counting as sent and holds the copy in doubt until the line
// that says what became of it; one that had left counts as sent again.
TEST_F(JobProgressTest, AWithdrawalUncountsItsRecordsAndACutOneLeavesItsCopyInDoubt) {
    const std::string path = Path("state.txt");
    WriteState(path, "S", [](CrtFile* state) {
        WriteJobStateSending(state, 2, 1, 0, "a@example.com");
        WriteJobStateSending(state, 3, 2, 1, "b@example.com");
        WriteJobStateSending(state, 4, 3, 2, "c@example.com");
        WriteJobStateEnd(state, true);
        EXPECT_TRUE(WriteJobStateWithdrawing(state, 3, "b@example.com"));
        EXPECT_TRUE(WriteJobStateWithdrawn(state, 3, "b@example.com"));
        EXPECT_TRUE(WriteJobStateWithdrawing(state, 4, "C@example.com"));
        EXPECT_TRUE(WriteJobStateNotWithdrawn(state, 4, "c@example.com"));
        EXPECT_TRUE(WriteJobStateWithdrawing(state, 2, "a@example.com")); // then a kill
    });
    LastJob job;
    std::vector<std::pair<long, std::string>> marks;
    job.onSendingContext = &marks;
    job.onSending = [](void* context, long line, const char* address) {
        static_cast<std::vector<std::pair<long, std::string>>*>(context)->emplace_back(line,
                                                                                       address);
    };
    ASSERT_EQ(ReadLastJob(path.c_str(), &job), LastJobFound);
    EXPECT_FALSE(job.completed) << "what was withdrawn is still to be sent";
    EXPECT_FALSE(job.hasDoubt);
    EXPECT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[1], (std::pair<long, std::string>{3, "b@example.com"}));
    std::vector<std::string> withdrawn;
    job.withdrawn.ForEach([&](const char* address) { withdrawn.push_back(address); });
    EXPECT_EQ(withdrawn, (std::vector<std::string>{"b@example.com", "a@example.com"}));
    ASSERT_EQ(job.carried.Count(), 1);
    EXPECT_TRUE(job.carried.Has("a@example.com"));

    // The sent list then holds each of them once less, and nobody below none.
    ListDelimiter = kListComma;
    WriteFileBytes(Path("tosent.txt"), "Name,E-Mail\r\nA,a@example.com\r\nB,b@example.com\r\n"
                                       "C,c@example.com\r\nB again,b@example.com\r\n");
    SentRecords sent;
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    job.withdrawn.ForEach([&](const char* address) { EXPECT_TRUE(sent.Withdraw(address)); });
    EXPECT_FALSE(sent.Withdraw("a@example.com"));
    EXPECT_FALSE(sent.Take("a@example.com"));
    EXPECT_TRUE(sent.Take("B@example.com"));
    EXPECT_FALSE(sent.Take("b@example.com"));
    EXPECT_TRUE(sent.Take("c@example.com"));
    EXPECT_EQ(sent.Count(), 4) << "the file's records are as they were";
}

// An address withdrawn down to none keeps its slot: the addresses whose
// probes pass over it are still found.
TEST_F(JobProgressTest, WithdrawingEveryRecordOfAnAddressLosesNoOther) {
    ListDelimiter = kListComma;
    std::string text = "Name,E-Mail\r\n";
    for (int i = 0; i < 3000; ++i)
        text += "P" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\r\n";
    WriteFileBytes(Path("tosent.txt"), text);
    SentRecords sent;
    ASSERT_EQ(sent.Load(Path("tosent.txt").c_str()), SentListOk);
    for (int i = 0; i < 3000; i += 2)
        ASSERT_TRUE(sent.Withdraw(("p" + std::to_string(i) + "@example.com").c_str()));
    int taken = 0;
    for (int i = 0; i < 3000; ++i)
        taken +=
            sent.Take(("p" + std::to_string(i) + "@example.com").c_str()) ? (i % 2 ? 1 : 100) : 0;
    EXPECT_EQ(taken, 1500) << "every odd one found, no even one";
}

} // namespace
