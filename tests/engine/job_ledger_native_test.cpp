// The job state and the sent list on a disk that fills up, or held by
// another program: whatever the first run managed to write, the next run of
// the mailing never mails twice a recipient it knows was mailed, and never
// passes over one it cannot prove was: it asks, with the reason.
#include "job_fixture.h"

#include "base/data_paths.h"
#include "control.h"
#include "data/job_progress.h"

#include <cstdint>
#include <map>

namespace {

const char kStartOver[] = "The sent list of the last, unfinished mailing";

class LedgerTest : public JobTest {
protected:
    // Continue answered Yes, a message in doubt sent, starting over refused.
    void Answer() {
        askedStartOver = false;
        AnswerMessageBoxes([this](const ShownMessageBox& box) {
            if (box.text.rfind(kStartOver, 0) == 0) {
                askedStartOver = true;
                reason = box.text.substr(box.text.find('('));
                return IDNO;
            }
            return (box.flags & (MB_YESNO | MB_YESNOCANCEL)) ? IDYES : IDOK;
        });
    }

    // The messages each address got, over every run on this client.
    std::map<std::string, int> Received() const {
        std::map<std::string, int> got;
        for (const std::string& to : DeliveredTo())
            ++got[to];
        return got;
    }

    bool askedStartOver = false;
    std::string reason;
};

TEST_F(LedgerTest, ADiskThatFillsUpAnywhereNeverMailsAnyoneTwice) {
    size_t asked = 0, cases = 0;
    for (size_t room = 0; room <= 1400; room += 23) {
        SCOPED_TRACE("room " + std::to_string(room));
        DeleteFileA(DataPaths.jobState);
        DeleteFileA(DataPaths.sentList);
        Prepare(4);
        Answer();
        beforeRun = [room] { substitute::FillDisk(room); };
        RunJob();
        substitute::FillDisk(SIZE_MAX);
        beforeRun = nullptr;
        // The user sends the message again, from a new compose window.
        Compose(PlainMessage());
        Answer();
        RunJob();
        for (const auto& [to, count] : Received())
            EXPECT_EQ(count, 1) << to;
        // Nobody left out unless the user was told why and chose so.
        if (!askedStartOver)
            EXPECT_EQ(Received().size(), 4u);
        else
            EXPECT_NE(reason.find("cannot be read"), std::string::npos) << reason;
        asked += askedStartOver;
        ++cases;
        TakeJobFinished();
        CloseClient();
    }
    std::printf("[ ledger   ] %zu disk sizes, %zu of them asked before going on\n", cases, asked);
}

// JobState.txt held open by another program at one read or another: the
// run that cannot read it asks; one that can goes on from where it was.
TEST_F(LedgerTest, AJobStateLockedByAnotherProgramIsAskedAboutNeverGuessed) {
    for (unsigned nth = 1; nth <= 3; ++nth) {
        SCOPED_TRACE("open " + std::to_string(nth));
        DeleteFileA(DataPaths.jobState);
        DeleteFileA(DataPaths.sentList);
        Prepare(4);
        client->FailCall("ModifyRecipients", 3, MAPI_E_NO_ACCESS);
        Answer();
        RunJob();
        ASSERT_EQ(DeliveredTo().size(), 2u);
        Compose(PlainMessage());
        Answer();
        substitute::FailFileOpen(DataPaths.jobState, nth);
        RunJob();
        substitute::FailFileOpen(DataPaths.jobState, 0);
        for (const auto& [to, count] : Received())
            EXPECT_EQ(count, 1) << to;
        // Asked why; or the state could not be opened to be written, and
        // the job told so before sending anything; or it went on.
        const std::vector<ShownMessageBox> shown = ShownMessageBoxes();
        const bool toldUnwritable =
            !shown.empty() && shown.back().text == "Failed to open the job state file for writing.";
        if (askedStartOver)
            EXPECT_EQ(reason.rfind("(the file that names it, JobState.txt, cannot be read)", 0),
                      0u);
        else if (toldUnwritable)
            EXPECT_EQ(Received().size(), 2u);
        else
            EXPECT_EQ(Received().size(), 4u);
        TakeJobFinished();
        CloseClient();
    }
}

// A mailing put aside by another one, and brought back when it is sent
// again, with each of those moves refused in turn (a scanner holding the
// file just written): nobody is mailed twice, and the first mailing's
// recipients are all reached unless the user was told why not.
TEST_F(LedgerTest, APutAsideMailingWhoseFilesCannotBeMovedIsNeverMailedTwice) {
    const std::string bee = "Name,E-Mail\r\nBee,bee@example.com\r\n";
    std::string folder = DataPaths.jobState;
    folder.erase(folder.rfind('\\') + 1);
    size_t boxesBefore = 0;
    auto scenario = [&](unsigned failMove) {
        DeleteFileA(DataPaths.jobState);
        DeleteFileA(DataPaths.sentList);
        for (const char* slot : {"Unfinished 1", "Unfinished 2", "Unfinished 3"}) {
            DeleteFileA((folder + slot + ".txt").c_str());
            DeleteFileA((folder + slot + " sent.txt").c_str());
        }
        boxesBefore = ShownMessageBoxes().size();
        Prepare(5);
        client->FailCall("ModifyRecipients", 3, MAPI_E_NO_ACCESS);
        Answer();
        RunJob();
        TakeJobFinished();
        Compose(PlainMessage());
        WriteList(bee, "b.csv");
        Answer();
        substitute::FailMoveFileAt(failMove);
        RunJob();
        TakeJobFinished();
        Compose(PlainMessage());
        WriteList(NumberedList(5));
        Answer();
        RunJob();
        substitute::FailMoveFileAt(0);
        TakeJobFinished();
    };
    scenario(0);
    unsigned moves = 0;
    for (const substitute::FileCall& call : substitute::FileCalls())
        moves += call.function == "MoveFileExA" ? 1 : 0;
    CloseClient();
    ASSERT_GE(moves, 2u);
    unsigned asked = 0;
    for (unsigned n = 1; n <= moves + 2; ++n) {
        SCOPED_TRACE("move " + std::to_string(n));
        scenario(n);
        for (const auto& [to, count] : Received())
            EXPECT_EQ(count, 1) << to;
        const std::vector<ShownMessageBox> all = ShownMessageBoxes();
        const std::vector<ShownMessageBox> shown(all.begin() + static_cast<long>(boxesBefore),
                                                 all.end());
        bool told = false;
        for (const ShownMessageBox& box : shown)
            told = told || box.text == "Failed to open the job state file for writing." ||
                   box.text.rfind(kStartOver, 0) == 0;
        if (!told) {
            EXPECT_EQ(Received().size(), 6u);
        }
        asked += told;
        CloseClient();
    }
    std::printf("[ ledger   ] %u moves of the files put aside, each refused in turn: %u told\n",
                moves, asked);
}

} // namespace
