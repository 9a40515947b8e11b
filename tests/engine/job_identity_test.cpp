// A mailing is the composed message sent to its list, whatever the user does
// to either in between: the id the message carries continues it with its
// subject edited and its list file renamed; the same message sent again once
// everyone has it asks first; a message no mailing is known for is asked
// about the recipients it shares with one of its subject; and a job state
// that cannot be trusted is told before anything is sent. Natively and under
// Wine.
#include "job_fixture.h"

#include "base/data_paths.h"
#include "data/job_progress.h"

#include <cstring>

namespace {

const char kContinue[] = "The last mailing of this list with this subject did not finish";
const char kOthers[] = " of these recipients were already sent this message on ";
const char kStartOver[] = "The sent list of the last, unfinished mailing";

class IdentityTest : public JobTest {
protected:
    // A first run over `list` whose store refuses message `stopAt`'s
    // recipient; returns the id the composed message was saved with.
    std::string StopAt(const std::string& list, int stopAt) {
        StartClient();
        Compose(PlainMessage());
        WriteList(list);
        client->FailCall("ModifyRecipients", static_cast<unsigned>(stopAt), MAPI_E_NO_ACCESS);
        Answer(IDNO);
        RunJob();
        TakeJobFinished();
        first = DeliveredTo();
        std::string id;
        for (const auto& [name, value] : client->View(item.Get()).publicStrings)
            if (name == "Quorvel Mailing")
                id = value;
        CloseClient();
        return id;
    }

    // The draft as the user reopens it: the same message, `subject` edited.
    static sim::Draft Reopened(const std::string& id, const std::string& subject) {
        sim::Draft draft = PlainMessage();
        draft.subject = subject;
        draft.publicStrings = {{"Quorvel Mailing", id}};
        return draft;
    }

    // Every question answered `answer`; other boxes OK.
    void Answer(int answer) {
        boxesBefore = ShownMessageBoxes().size();
        AnswerMessageBoxes([answer](const ShownMessageBox& box) {
            return (box.flags & (MB_YESNO | MB_YESNOCANCEL)) ? answer : IDOK;
        });
    }

    std::vector<ShownMessageBox> Asked() {
        const std::vector<ShownMessageBox> all = ShownMessageBoxes();
        return std::vector<ShownMessageBox>(all.begin() + static_cast<long>(boxesBefore),
                                            all.end());
    }

    std::vector<std::string> first;
    size_t boxesBefore = 0;
};

TEST_F(IdentityTest, AnEditedSubjectAndARenamedListContinueTheMailingAndNobodyIsMailedTwice) {
    const std::string id = StopAt(NumberedList(5), 3);
    ASSERT_FALSE(id.empty());
    ASSERT_EQ(first, (std::vector<std::string>{"r01@example.com", "r02@example.com"}));
    // The list saved under another name, a row corrected on the way; the
    // subject edited.
    const std::string oldList = listPath;
    StartClient();
    Compose(Reopened(id, "Hello again [[Name]]"));
    WriteList(NumberedList(5), "renamed list.csv");
    ASSERT_TRUE(DeleteFileA(oldList.c_str()));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r03@example.com", "r04@example.com", "r05@example.com"}));
    ASSERT_EQ(Asked().size(), 1u);
    EXPECT_EQ(Asked()[0].text.rfind(kContinue, 0), 0u);
    // The job state names the list as it is now, and the same mailing.
    LastJob last;
    ASSERT_EQ(ReadLastJob(DataPaths.jobState, &last), LastJobFound);
    EXPECT_EQ(last.listPath, listPath);
    EXPECT_EQ(last.mailingId, id);
    EXPECT_TRUE(last.completed);
}

TEST_F(IdentityTest, TheSameMessageToAnotherListIsAnotherMailing) {
    const std::string id = StopAt(NumberedList(4), 3);
    StartClient();
    Compose(Reopened(id, "Hello [[Name]]"));
    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\n", "other.csv");
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"bee@example.com"});
    EXPECT_TRUE(Asked().empty());
    // The first mailing was put aside, not replaced: back on its list it
    // continues.
    WriteList(NumberedList(4));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"bee@example.com", "r03@example.com", "r04@example.com"}));
}

TEST_F(IdentityTest, AMailingThatReachedEveryoneIsSentAgainOnlyWhenTheUserSaysSo) {
    Prepare(2);
    Answer(IDNO);
    RunJob();
    ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    for (int answer : {IDNO, IDYES}) {
        Answer(answer);
        RunJob();
        ASSERT_GE(Asked().size(), 1u);
        EXPECT_EQ(Asked()[0].text, "This message was sent to all 2 recipients of this list on " +
                                       TodayAsTheJobWritesIt() + ". Send it to all of them again?");
        // No is the default button: Enter sends nothing.
        // (The recorder under Wine reads the buttons and the icon, not which
        // button is the default.)
        EXPECT_EQ(Asked()[0].flags & 0xF, static_cast<UINT>(MB_YESNO));
        const UINT byDefault = Asked()[0].flags & 0xF00u;
        EXPECT_TRUE(byDefault == MB_DEFBUTTON2 || byDefault == 0);
        // No sends nothing, Yes everyone once more.
        EXPECT_EQ(DeliveredTo().size(), answer == IDYES ? 4u : 2u);
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{answer == IDYES ? 1u : 0u});
    }
}

// A new message (no id) of the subject of an unfinished mailing, to a list
// of another name sharing two of its recipients.
TEST_F(IdentityTest, AMessageOfNoKnownMailingIsAskedAboutTheRecipientsItShares) {
    for (int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        StopAt(NumberedList(4), 3);
        StartClient();
        Compose(PlainMessage());
        WriteList(NumberedList(5), "spring.csv");
        Answer(answer);
        RunJob();
        ASSERT_GE(Asked().size(), 1u);
        EXPECT_EQ(Asked()[0].text, std::string("2") + kOthers + TodayAsTheJobWritesIt() +
                                       ": send only to the others?");
        EXPECT_EQ(Asked()[0].flags & 0xF0F, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON1));
        std::vector<std::string> expected = {"r03@example.com", "r04@example.com",
                                             "r05@example.com"};
        if (answer == IDNO)
            expected.insert(expected.begin(), {"r01@example.com", "r02@example.com"});
        EXPECT_EQ(DeliveredTo(), expected);
        CloseClient();
        DeleteFileA(DataPaths.jobState);
    }
}

// A job state the user edited by hand, or one another version wrote, cannot
// say who was mailed: the user is told why, and No sends nothing and leaves
// it as it was.
TEST_F(IdentityTest, AJobStateThatCannotBeTrustedIsToldAndNothingIsSkippedUnasked) {
    const struct {
        const char* name;
        const char* from; // replaced in the state file
        const char* to;
    } cases[] = {
        {"another version", "Quorvel job state 1", "Quorvel job state 7"},
        {"a mark edited by hand", "Sending 4 ", "Sending four "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StopAt(NumberedList(3), 3);
        std::string state = ReadLog(DataPaths.jobState);
        const size_t at = state.find(c.from);
        ASSERT_NE(at, std::string::npos) << state;
        state.replace(at, std::strlen(c.from), c.to);
        // A kill left the mark of record 3 last.
        state.erase(state.rfind("Ended: "));
        WriteFileBytes(DataPaths.jobState, state + "Sending 4 0 2 r03@example.com\r\n");
        StartClient();
        Compose(PlainMessage());
        Answer(IDNO);
        RunJob();
        ASSERT_GE(Asked().size(), 1u);
        EXPECT_EQ(Asked()[0].text.rfind(kStartOver, 0), 0u);
        EXPECT_NE(Asked()[0].text.find("(the file that names it, JobState.txt, cannot be read)"),
                  std::string::npos);
        EXPECT_TRUE(DeliveredTo().empty());
        CloseClient();
        DeleteFileA(DataPaths.jobState);
    }
}

} // namespace
