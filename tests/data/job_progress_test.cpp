// The job state file read back as a killed process leaves it, and the sent
// list's records matched record for record. Both builds.
#include "test_support.h"

#include "data/job_progress.h"
#include "data/mailing_list.h"

#include <string>

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
        EXPECT_TRUE(WriteJobStateSending(state, 2, 0x1234, 0));
        EXPECT_TRUE(WriteJobStateSending(state, 3, 0xfedcba9876543210ull, 1));
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
    // The same file, the list typed in another letter case.
    EXPECT_TRUE(IsSameMailing(job, "c:\\LISTS\\spring.csv", subject));
    EXPECT_FALSE(IsSameMailing(job, "C:\\Lists\\Spring.csv", "Hi [[Name]]"));
    EXPECT_FALSE(IsSameMailing(job, "C:\\Lists\\Spring2.csv", subject));

    // A line cut by the kill counts for nothing: the mark before it stands.
    WriteFileBytes(path, ReadFileBytes(path) + "Sending 4 00000000000000aa 2");
    LastJob cut;
    ASSERT_EQ(ReadLastJob(path.c_str(), &cut), LastJobFound);
    EXPECT_EQ(cut.doubtLine, 3);
}

TEST_F(JobProgressTest, AnEndedRunLeavesNothingInDoubtAndAContinuedOneIsNotComplete) {
    const std::string path = Path("state.txt");
    WriteState(path, "S", [](CrtFile* state) {
        WriteJobStateSending(state, 2, 1, 0);
        WriteJobStateEnd(state, false);
    });
    LastJob stopped;
    ASSERT_EQ(ReadLastJob(path.c_str(), &stopped), LastJobFound);
    EXPECT_FALSE(stopped.hasDoubt);
    EXPECT_FALSE(stopped.completed);

    CrtFile* state = CrtOpen(path.c_str(), "a");
    WriteJobStateContinued(state);
    WriteJobStateSending(state, 3, 2, 1);
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
    EXPECT_TRUE(sent.HeaderIs("Name,E-Mail\n"));
    EXPECT_FALSE(sent.HeaderIs("Name,Email\n"));

    EXPECT_TRUE(sent.Take("Ann,ann@example.com\n"));
    EXPECT_TRUE(sent.Take("Ann,ann@example.com\n"));
    EXPECT_FALSE(sent.Take("Ann,ann@example.com\n")); // sent twice, no more
    EXPECT_TRUE(sent.Take("\"Bob\nBaker\",bob@example.com\n"));
    EXPECT_TRUE(sent.Take("Cid,cid@example.com\n"));
    EXPECT_FALSE(sent.Take("Cid,cid@example.com ,\n")); // any other text is another record
    EXPECT_FALSE(sent.Take("Dee,dee@example.com\n"));
    sent.GiveBack();
    EXPECT_TRUE(sent.Take("Cid,cid@example.com\n"));

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
        taken += sent.Take(
            ("P" + std::to_string(i) + ",p" + std::to_string(i) + "@example.com\n").c_str());
    EXPECT_EQ(taken, 5000);
}

} // namespace
