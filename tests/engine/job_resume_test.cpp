// A mailing that stopped is continued without mailing anyone twice: the sent
// list and the job state file the first run leaves, the question the next
// run asks, the records it passes over, the one record in doubt, and what a
// refused Send leaves alone. A first run is stopped at message 3 by a store
// that refuses its recipient; a process that died is staged by leaving the
// job state file as a kill leaves it. Natively and under Wine.
#include "job_fixture.h"

#include "data/job_progress.h"
#include "data/settings.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

const char kQuestion[] = "The last mailing of this list with this subject did not finish";
const char kStartOver[] = "The sent list of the last, unfinished mailing";
const char kInDoubt[] = "The last run of this mailing stopped while";
const char kOthers[] = "2 of these recipients were already sent";
const char kAgain[] = "This message was sent to all";

class ResumeTest : public JobTest {
protected:
    // A first run over `list` that stops at message `stopAt` (its recipient
    // is refused by the store), then a fresh client and compose window for
    // the next run, the same list unless `next` is given.
    void StopAt(const std::string& list, int stopAt, const std::string& next = "") {
        StartClient();
        Compose(PlainMessage());
        WriteList(list);
        client->FailCall("ModifyRecipients", static_cast<unsigned>(stopAt), MAPI_E_NO_ACCESS);
        AnswerMessageBoxes(
            [](const ShownMessageBox& box) { return (box.flags & MB_YESNO) ? IDNO : IDOK; });
        RunJob();
        ASSERT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
        firstDelivered = DeliveredTo();
        CloseClient();
        StartClient();
        Compose(PlainMessage());
        if (!next.empty())
            WriteList(next);
    }

    // Answers the question whether to continue with `answer`, and the one
    // about a record in doubt with `doubt`; the boxes shown from here on are
    // those BoxesStartingWith sees.
    void Answer(int answer, int doubt = IDYES) {
        boxesBefore = ShownMessageBoxes().size();
        AnswerMessageBoxes([answer, doubt](const ShownMessageBox& box) {
            if (box.text.rfind(kQuestion, 0) == 0 || box.text.rfind(kStartOver, 0) == 0 ||
                box.text.find(" of these recipients were already sent") != std::string::npos ||
                box.text.rfind(kAgain, 0) == 0)
                return answer;
            if (box.text.rfind(kInDoubt, 0) == 0)
                return doubt;
            return (box.flags & MB_YESNO) ? IDNO : IDOK;
        });
    }

    std::vector<std::string> BoxesStartingWith(const char* prefix) {
        std::vector<std::string> texts;
        const std::vector<ShownMessageBox> shown = ShownMessageBoxes();
        for (size_t i = boxesBefore; i < shown.size(); ++i)
            if (shown[i].text.rfind(prefix, 0) == 0)
                texts.push_back(shown[i].text);
        return texts;
    }

    // The sent list's records (the header aside), each with how often it
    // stands there.
    std::map<std::string, int> SentRecords() {
        std::map<std::string, int> records;
        const std::string text = ReadLog(DataPaths.sentList);
        size_t at = text.find('\n');
        while (at != std::string::npos && at + 1 < text.size()) {
            const size_t end = text.find('\n', at + 1);
            ++records[text.substr(at + 1, end == std::string::npos ? end : end - at - 1)];
            at = end;
        }
        return records;
    }

    // The job state file as a process killed while making message `line`'s
    // copy leaves it: its last line the mark of that record.
    void DieWhileSending(const std::string& raw, long line, long sentBefore) {
        std::string state = ReadLog(DataPaths.jobState);
        const size_t ended = state.rfind("Ended: ");
        ASSERT_NE(ended, std::string::npos);
        state.erase(ended);
        char mark[96];
        std::snprintf(mark, sizeof mark, "Sending %ld %016llx %ld\r\n", line,
                      static_cast<unsigned long long>(ListRecordHash(raw.c_str())), sentBefore);
        WriteFileBytes(DataPaths.jobState, state + mark);
    }

    std::vector<std::string> firstDelivered;
    size_t boxesBefore = 0;
};

std::string Record(int i) {
    char text[64];
    std::snprintf(text, sizeof text, "Person %d,r%02d@example.com\r", i, i);
    return text;
}

TEST_F(ResumeTest, AStoppedMailingIsContinuedWhereItStoppedAndItsRecordsHoldItOnce) {
    StopAt(NumberedList(5), 3);
    EXPECT_EQ(firstDelivered, (std::vector<std::string>{"r01@example.com", "r02@example.com"}));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r03@example.com", "r04@example.com", "r05@example.com"}));
    const std::vector<std::string> asked = BoxesStartingWith(kQuestion);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("2 of its recipients were sent, 3 are left."), std::string::npos);
    EXPECT_EQ(asked[0].find("not known"), std::string::npos); // nothing in doubt

    // The sent list holds the whole mailing, each record once.
    std::map<std::string, int> expected;
    for (int i = 1; i <= 5; ++i)
        expected[Record(i)] = 1;
    EXPECT_EQ(SentRecords(), expected);
    EXPECT_EQ(ReadLog(DataPaths.sentList).rfind("Name,E-Mail\r\n", 0), 0u);
    // The current log tells both runs, numbered within the mailing.
    const std::string log = ReadLog(DataPaths.currentJobLog);
    EXPECT_NE(log.find("# 2, To: r02@example.com. Sent Successfully"), std::string::npos);
    EXPECT_NE(log.find("Continuing the last mailing: 2 of its recipients were sent already, "
                       "3 are left\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("# 3, To: r03@example.com. Sent Successfully"), std::string::npos);
    EXPECT_NE(log.find("\tResult: Completed Successfully\r\n\tE-Mails Sent: 3\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("\t\tEmails In File: 5\r\n"), std::string::npos);

    // Complete now: a new message of the same subject to the list is asked
    // about, not continued; the user sends it to everyone.
    CloseClient();
    StartClient();
    Compose(PlainMessage());
    Answer(IDNO);
    RunJob();
    EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
    EXPECT_EQ(BoxesStartingWith("5 of these recipients were already sent").size(), 1u);
    EXPECT_EQ(DeliveredTo().size(), 5u);
}

TEST_F(ResumeTest, StartingOverMailsEveryoneAndCancelSendsNothing) {
    StopAt(NumberedList(4), 3);
    const std::string sentBefore = ReadLog(DataPaths.sentList);
    const std::string logBefore = ReadLog(DataPaths.currentJobLog);
    Answer(IDCANCEL);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_TRUE(DeliveredTo().empty());
    EXPECT_EQ(ReadLog(DataPaths.sentList), sentBefore);
    EXPECT_EQ(ReadLog(DataPaths.currentJobLog), logBefore);

    Answer(IDNO);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo().size(), 4u);
    EXPECT_EQ(SentRecords().size(), 4u);
    EXPECT_EQ(ReadLog(DataPaths.currentJobLog).find("Continuing"), std::string::npos);
}

TEST_F(ResumeTest, OnlyTheSameListAndSubjectAreOfferedToContinue) {
    StopAt(NumberedList(3), 2);
    Compose([] {
        sim::Draft draft = PlainMessage();
        draft.subject = "Another subject";
        return draft;
    }());
    Answer(IDYES);
    RunJob();
    EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
    EXPECT_EQ(DeliveredTo().size(), 3u);
}

// Matched by the record's own text: a row corrected after it was mailed, and
// a row added, are mailed; a row that stands twice was mailed once.
TEST_F(ResumeTest, RowsCorrectedOrAddedSinceAreMailedAndRepeatedRowsCountedEach) {
    const std::string list = "Name,E-Mail\r\n"
                             "Ann,ann@example.com\r\n"
                             "Bob,bob@example.com\r\n"
                             "Ann,ann@example.com\r\n"
                             "Cid,cid@example.com\r\n";
    const std::string edited = "Name,E-Mail\r\n"
                               "Ann,ann@example.com\r\n"
                               "Bob,robert@example.com\r\n"
                               "Ann,ann@example.com\r\n"
                               "Cid,cid@example.com\r\n"
                               "Dee,dee@example.com\r\n";
    StopAt(list, 3, edited);
    EXPECT_EQ(firstDelivered, (std::vector<std::string>{"ann@example.com", "bob@example.com"}));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"robert@example.com", "ann@example.com",
                                                       "cid@example.com", "dee@example.com"}));
    EXPECT_NE(BoxesStartingWith(kQuestion).at(0).find("1 of its recipients were sent, 4 are left"),
              std::string::npos);
}

// A recipient is an address: the list saved again with its values quoted and
// blanks after them, a field renamed, letter case changed (in any script)
// and the rows reordered still holds the two recipients mailed, and only the
// others are mailed.
TEST_F(ResumeTest, AListResavedQuotedWithBlanksAndARenamedFieldMailsOnlyTheRest) {
    const std::string first = "Name,E-Mail\r\n"
                              "Person 1,r01@example.com\r\n"
                              "Élodie,élodie@exemple.fr\r\n"
                              "Person 3,r03@example.com\r\n"
                              "Person 4,r04@example.com\r\n"
                              "Person 5,r05@example.com\r\n";
    const std::string resaved = "\"Full Name\",\"E-Mail\"\r\n"
                                "\"Person 3\",\"r03@example.com\"\r\n"
                                "\"Person 1\",\"r01@example.com \"\r\n"
                                "\"Person 4\",\"r04@example.com\"\r\n"
                                "\"Élodie \",\" ÉLODIE@Exemple.FR\"\r\n"
                                "\"Person 5\",\"r05@example.com\"\r\n";
    StopAt(first, 3, resaved);
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r03@example.com", "r04@example.com", "r05@example.com"}));
    EXPECT_NE(BoxesStartingWith(kQuestion).at(0).find("2 of its recipients were sent, 3 are left"),
              std::string::npos);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
}

// Another mailing in between puts the unfinished one aside; it is continued
// when its message is sent to its list again, and the other is left alone.
TEST_F(ResumeTest, AnotherMailingInBetweenLeavesTheUnfinishedOneToContinue) {
    StopAt(NumberedList(5), 3);
    const std::string listA = listPath;
    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\n", "b.csv");
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"bee@example.com"});
    EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
    EXPECT_EQ(ReadLog(DataPaths.sentList), "Name,E-Mail\r\nBee,bee@example.com\r\n");

    // The compose window sent to the other list is that mailing's now: back
    // on the first list it is a message of the same subject that shares
    // recipients with the unfinished mailing, and the user is asked.
    WriteList(NumberedList(5));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"bee@example.com", "r03@example.com",
                                                       "r04@example.com", "r05@example.com"}));
    EXPECT_EQ(BoxesStartingWith(kOthers).at(0),
              "2 of these recipients were already sent this message on " + TodayAsTheJobWritesIt() +
                  ": send only to the others?");
    EXPECT_EQ(SentRecords().size(), 5u); // the sent list is the current mailing's, whole

    // Both finished: nothing is put aside any more, nothing is offered.
    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\n", "b.csv");
    Answer(IDYES);
    RunJob();
    EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
    EXPECT_EQ(DeliveredTo().back(), "bee@example.com");
    EXPECT_EQ(DeliveredTo().size(), 5u);
}

// A kill between bringing a mailing back and removing the copy put aside
// leaves the mailing twice; the older copy goes once the mailing is found,
// and never comes back to be continued (mailing its recipients again).
TEST_F(ResumeTest, ACopyPutAsideThatAKillLeftTwiceIsNeverContinued) {
    StopAt(NumberedList(5), 3);
    std::string folder = DataPaths.jobState;
    folder.erase(folder.rfind('\\') + 1);
    WriteFileBytes(folder + "Unfinished 1.txt", ReadLog(DataPaths.jobState));
    WriteFileBytes(folder + "Unfinished 1 sent.txt", ReadLog(DataPaths.sentList));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_EQ(GetFileAttributesA((folder + "Unfinished 1.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    WriteList("Name,E-Mail\r\nBee,bee@example.com\r\n", "b.csv");
    RunJob();
    WriteList(NumberedList(5));
    Answer(IDYES);
    RunJob();
    EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
}

// A message in doubt that the next run does not reach (20 records added
// before it, a limit of 10) stays in doubt: the run after that still asks
// about it before anything goes to that address.
TEST_F(ResumeTest, ADoubtTheNextRunDoesNotReachIsStillInDoubtForTheOneAfter) {
    StopAt(NumberedList(4), 3);
    DieWhileSending(Record(3) + "\n", 4, 2);
    std::string edited = "Name,E-Mail\r\n";
    for (int i = 1; i <= 20; ++i)
        edited += "New " + std::to_string(i) + ",n" + std::to_string(i) + "@example.com\r\n";
    edited += NumberedList(4).substr(std::string("Name,E-Mail\r\n").size());
    WriteList(edited);
    JobOptions.MaxPerRun = 10;
    Answer(IDYES, IDNO);
    RunJob();
    JobOptions.MaxPerRun = 0;
    EXPECT_EQ(DeliveredTo().size(), 10u);
    EXPECT_NE(BoxesStartingWith(kQuestion).at(0).find("r03@example.com (line 24 of the list)"),
              std::string::npos);
    EXPECT_TRUE(BoxesStartingWith(kInDoubt).empty()); // not reached
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "reached" : "settled before");
        CloseClient();
        StartClient();
        Compose(PlainMessage());
        client->FailCall("Find", 1, E_FAIL);
        client->FailCall("Items", 1, E_FAIL);
        Answer(IDYES, IDNO); // counted as sent at the user's choice
        RunJob();
        if (run == 0) {
            ASSERT_EQ(BoxesStartingWith(kInDoubt).size(), 1u);
            EXPECT_NE(BoxesStartingWith(kInDoubt)[0].find("r03@example.com (line 24 of the list)"),
                      std::string::npos);
            std::vector<std::string> expected;
            for (int i = 11; i <= 20; ++i)
                expected.push_back("n" + std::to_string(i) + "@example.com");
            expected.push_back("r04@example.com");
            EXPECT_EQ(DeliveredTo(), expected);
            EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        } else {
            // Completed: settled, nothing is asked or sent twice.
            EXPECT_TRUE(BoxesStartingWith(kInDoubt).empty());
            EXPECT_TRUE(BoxesStartingWith(kQuestion).empty());
        }
    }
}

// A run that left a record out (its file missing) is not complete; once the
// file is there, sending the same message to the same list again mails that
// record alone, and the mailing completes.
TEST_F(ResumeTest, ARetryAfterAMissingFileIsAddedMailsOnlyTheRecordLeftOut) {
    StartClient();
    Compose(PlainMessage());
    WriteList("Name,E-Mail,Attachment\r\n"
              "Person 1,r01@example.com,\r\n"
              "Person 2,r02@example.com,invoice 2.txt\r\n"
              "Person 3,r03@example.com,\r\n");
    const std::string invoice = listPath.substr(0, listPath.rfind('\\') + 1) + "invoice 2.txt";
    DeleteFileA(invoice.c_str());
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(MailingJob::notSentCount, 1);
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"r01@example.com", "r03@example.com"}));

    WriteFileBytes(invoice, "the invoice");
    CloseClient();
    StartClient();
    Compose(PlainMessage());
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r02@example.com"});
    EXPECT_NE(BoxesStartingWith(kQuestion).at(0).find("2 of its recipients were sent, 1 are left"),
              std::string::npos);
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    DeleteFileA(invoice.c_str());
}

TEST_F(ResumeTest, ASentListThatCannotBeUsedIsToldAndNothingIsSkipped) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        const char* why;
    };
    const Case cases[] = {
        {"deleted", [] { DeleteFileA(DataPaths.sentList); }, "(it cannot be opened)"},
        {"spoilt text",
         [] {
             WriteFileBytes(DataPaths.sentList, "\xEF\xBB\xBFName,E-Mail\r\nPerson 1,r01@ex\xFF"
                                                "ample.com\r\n");
         },
         "(it could not be read to its end)"},
        {"its job state spoilt", [] { WriteFileBytes(DataPaths.jobState, "Quorvel job st"); },
         "(the file that names it, JobState.txt, cannot be read)"},
        {"naming no address",
         [] { WriteFileBytes(DataPaths.sentList, "Name,Address\r\nPerson 1,r01@example.com\r\n"); },
         "(it is the sent list of another mailing list)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StopAt(NumberedList(3), 3);
        c.spoil();
        Answer(IDNO);
        RunJob();
        std::vector<std::string> told = BoxesStartingWith(kStartOver);
        ASSERT_EQ(told.size(), 1u);
        EXPECT_NE(told[0].find(c.why), std::string::npos) << told[0];
        EXPECT_TRUE(DeliveredTo().empty());
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});

        Answer(IDYES); // start over: everyone
        RunJob();
        EXPECT_EQ(DeliveredTo().size(), 3u);
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        CloseClient();
    }
}

// A record removed from the sent list by hand proves nothing: it is mailed.
TEST_F(ResumeTest, ARecordMissingFromAnEditedSentListIsMailedAgain) {
    StopAt(NumberedList(4), 4);
    WriteFileBytes(DataPaths.sentList, "Name,E-Mail\r\n" + Record(2) + "\n");
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"r01@example.com", "r03@example.com", "r04@example.com"}));
}

// Refused before the job starts (no e-mail column, an unreadable list): the
// last mailing's records are left as they were, so that it can still be
// continued.
TEST_F(ResumeTest, ARefusedSendLeavesTheLastMailingsRecordsAsTheyWere) {
    StopAt(NumberedList(3), 3, "Name,Address\r\nPerson 1,r01@example.com\r\n");
    const std::string sent = ReadLog(DataPaths.sentList);
    const std::string log = ReadLog(DataPaths.currentJobLog);
    const std::string state = ReadLog(DataPaths.jobState);
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_FALSE(MailingJob::logsOpened); // the summary points at no other job's log
    WriteList(std::string("Name,E-Mail\r\nPerson 1,r01@exa\0mple.com\r\n", 39));
    RunJob();
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{0});
    EXPECT_EQ(ReadLog(DataPaths.sentList), sent);
    EXPECT_EQ(ReadLog(DataPaths.currentJobLog), log);
    EXPECT_EQ(ReadLog(DataPaths.jobState), state);
    EXPECT_TRUE(DeliveredTo().empty());

    WriteList(NumberedList(3));
    Answer(IDYES);
    RunJob();
    EXPECT_EQ(DeliveredTo(), std::vector<std::string>{"r03@example.com"});
}

// The process died while message 3's copy was being made: that record alone
// is in doubt. A client that cannot be searched leaves the choice to the
// user, who is told whom it concerns.
TEST_F(ResumeTest, ARecordInDoubtThatCannotBeLookedUpIsTheUsersChoice) {
    for (int choice : {IDYES, IDNO}) {
        SCOPED_TRACE(choice == IDYES ? "send" : "count as sent");
        StopAt(NumberedList(4), 3);
        DieWhileSending(Record(3) + "\n", 4, 2);
        client->FailCall("Find", 1, E_FAIL);
        client->FailCall("Items", 1, E_FAIL);
        Answer(IDYES, choice);
        RunJob();
        EXPECT_NE(BoxesStartingWith(kQuestion).at(0).find(
                      "Whether its message to r03@example.com (line 4 of the list) went is "
                      "not known"),
                  std::string::npos);
        const std::vector<std::string> doubt = BoxesStartingWith(kInDoubt);
        ASSERT_EQ(doubt.size(), 1u);
        EXPECT_NE(doubt[0].find("r03@example.com (line 4 of the list)"), std::string::npos);
        const std::vector<std::string> expected =
            choice == IDYES ? std::vector<std::string>{"r03@example.com", "r04@example.com"}
                            : std::vector<std::string>{"r04@example.com"};
        EXPECT_EQ(DeliveredTo(), expected);
        EXPECT_EQ(SentRecords().size(), 4u); // the mailing whole, once
        EXPECT_NE(ReadLog(DataPaths.currentJobLog)
                      .find(choice == IDYES ? "In doubt: line 4, To: r03@example.com. Not looked "
                                              "up: sent again at the user's choice"
                                            : "In doubt: line 4, To: r03@example.com. Not looked "
                                              "up: counted as sent at the user's choice"),
                  std::string::npos);
        EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
        CloseClient();
    }
}

// A mark whose record the sent list already holds was written before a
// message that went and was recorded: nothing is in doubt.
TEST_F(ResumeTest, AMarkFollowedByItsRecordLeavesNothingInDoubt) {
    StopAt(NumberedList(4), 3);
    DieWhileSending(Record(2) + "\n", 3, 1);
    Answer(IDYES, IDNO);
    RunJob();
    EXPECT_TRUE(BoxesStartingWith(kInDoubt).empty());
    EXPECT_EQ(DeliveredTo(), (std::vector<std::string>{"r03@example.com", "r04@example.com"}));
}

// Killed after the last message was recorded but before the run ended: the
// next run finds nobody left and completes the mailing.
TEST_F(ResumeTest, AMailingWhoseRecordsAreAllSentCompletesWithoutSending) {
    StopAt(NumberedList(3), 3, NumberedList(2)); // the user removed the third since
    DieWhileSending(Record(2) + "\n", 3, 1);
    Answer(IDYES);
    RunJob();
    EXPECT_TRUE(DeliveredTo().empty());
    EXPECT_EQ(TakeJobFinished(), std::vector<WPARAM>{1});
    EXPECT_NE(ReadLog(DataPaths.currentJobLog).find("\tResult: Completed Successfully"),
              std::string::npos);
}

TEST_F(ResumeTest, TheJobStateNamesTheMailingAndEachRecordBeforeItsCopy) {
    Prepare(2);
    RunJob();
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "Quorvel job state 1\r\nList: %s\r\nSubject: Hello [[Name]]\r\n"
                  "Sending 2 %016llx 0 r01@example.com\r\nSending 3 %016llx 1 r02@example.com\r\n"
                  "Ended: Completed\r\n",
                  listPath.c_str(),
                  static_cast<unsigned long long>(ListRecordHash("Person 1,r01@example.com\n")),
                  static_cast<unsigned long long>(ListRecordHash("Person 2,r02@example.com\n")));
    // The mailing's id and the day stand after the subject.
    std::string state = ReadLog(DataPaths.jobState);
    const size_t id = state.find("Mailing: "),
                 date = state.find("\r\nDate: " + TodayAsTheJobWritesIt() + "\r\n");
    ASSERT_NE(id, std::string::npos);
    ASSERT_NE(date, std::string::npos);
    state.erase(id, date + 10 + TodayAsTheJobWritesIt().size() - id);
    EXPECT_EQ(state, expected);
}

} // namespace
