// A list chosen by someone else, as the review shows it: every file and
// every Cc and Bcc the copies carry, and a file on another computer that
// nothing touches (the substitute records each file call) until the user
// ticks its choice in the review, and not at all when the user does not.
#include "dialog_native_fixture.h"

#include "data/settings.h"

#include <gmock/gmock.h>

#include <cstring>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The file calls that named the server, in any of its forms.
std::vector<std::string> CallsToServer() {
    std::vector<std::string> calls;
    for (const substitute::FileCall& call : substitute::FileCalls()) {
        std::string lower = call.path;
        for (char& c : lower)
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (Contains(lower, "server"))
            calls.push_back(call.function + " " + call.path);
    }
    return calls;
}

class ReviewNetworkTest : public DialogTest {
protected:
    void WriteStrangersList() {
        PrepareMailing(1);
        const std::string folder = listPath.substr(0, listPath.find_last_of('\\'));
        WriteFileBytes(folder + "\\invoice-1.pdf", std::string(2048, 'i'));
        WriteFileBytes(folder + "\\terms.pdf", "terms");
        WriteList("Name,Work Email,Private E-Mail,Attachment 1,Attachment 2, CC ,Bcc\r\n"
                  "Ann,ann@example.com,a@home.net,invoice-1.pdf,terms.pdf,,x@stranger.net\r\n"
                  "Bo,bo@example.com,,\\\\server\\share\\x.pdf,terms.pdf,boss@example.com,"
                  "x@stranger.net\r\n"
                  "Cy,cy@example.com,,,terms.pdf,ann@example.com,x@stranger.net\r\n");
    }

    // Sends, the user taking the review with `work`, then clicking Start.
    void Send(const std::function<void(HWND)>& work) {
        TakeReviews([&](HWND review) {
            findings = Text(review, IDC_REVIEW_FINDINGS);
            preview = Text(review, IDC_PREVIEW_TEXT);
            networkChoice = Enabled(review, IDC_ALLOW_NETWORK);
            networkTicked = IsDlgButtonChecked(review, IDC_ALLOW_NETWORK) == BST_CHECKED;
            callsInReview = CallsToServer();
            work(review);
            substitute::Click(review, IDOK);
        });
        TypeAt(10, IDC_LIST_PATH, listPath);
        ClickAt(20, IDC_SEND_PAUSE);
        OpenMain();
    }

    std::string findings, preview;
    bool networkChoice = false, networkTicked = true;
    std::vector<std::string> callsInReview;
};

TEST_F(ReviewNetworkTest, TheReviewShowsEveryFileAndCopyAddressAndTheNetworkIsLeftAlone) {
    WriteStrangersList();
    Send([](HWND) {});

    const std::string folder = listPath.substr(0, listPath.find_last_of('\\'));
    EXPECT_TRUE(Contains(findings, "The addresses are taken from the column \"Work Email\", of "
                                   "the 2 named for an address the one that holds the most "
                                   "addresses; passed over: \"Private E-Mail\"."))
        << findings;
    EXPECT_TRUE(Contains(findings, "Files to attach are taken from \"Attachment 1\" and "
                                   "\"Attachment 2\". Cc addresses from \" CC \". Bcc addresses "
                                   "from \"Bcc\"."))
        << findings;
    EXPECT_TRUE(Contains(findings, "The copies carry 3 files besides the message:\r\n"
                                   "- invoice-1.pdf (2.0 KB) on 1 copy (line 2): " +
                                       folder +
                                       "\\invoice-1.pdf\r\n"
                                       "- terms.pdf (5 bytes) on every copy (3): " +
                                       folder +
                                       "\\terms.pdf\r\n"
                                       "- x.pdf on 1 copy (line 3): \\\\server\\share\\x.pdf, on "
                                       "another computer"))
        << findings;
    EXPECT_TRUE(Contains(findings, "1 copy carries files on another computer."));
    EXPECT_TRUE(Contains(findings, "- Bcc x@stranger.net on every copy (3): whoever reads it gets "
                                   "every recipient's message"))
        << findings;
    EXPECT_TRUE(Contains(findings, "- Cc ann@example.com on 1 copy (line 4): it is the To of line "
                                   "2 too, so that address gets more than one copy"))
        << findings;
    EXPECT_EQ(preview, "To: ann@example.com\r\nBcc: x@stranger.net\r\nAttachments: invoice-1.pdf "
                       "(2.0 KB), terms.pdf (5 bytes)\r\nSubject: Hello Ann\r\n\r\nDear Ann,\r\n"
                       "your address is [[E-Mail]].\r\n");
    EXPECT_TRUE(networkChoice);
    EXPECT_FALSE(networkTicked);

    // Not allowed: nothing reached the server at all, and its record was
    // not mailed; the others were, each with its own line of what it carried.
    EXPECT_THAT(CallsToServer(), ::testing::IsEmpty());
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"ann@example.com;x@stranger.net",
                                        "cy@example.com;ann@example.com;x@stranger.net"}));
    const std::string log = CurrentLog();
    EXPECT_TRUE(Contains(log, "Not sent: line 3, the attachment \"\\\\server\\share\\x.pdf\" is on "
                              "another computer, and files from the network were not allowed in "
                              "the review\r\n"))
        << log;
    EXPECT_TRUE(Contains(log, "To: ann@example.com. Sent Successfully\r\n    With Bcc: "
                              "x@stranger.net; Attachments: " +
                                  folder + "\\invoice-1.pdf (2.0 KB), " + folder +
                                  "\\terms.pdf (5 bytes)\r\n"))
        << log;
    EXPECT_TRUE(Contains(log, "To: cy@example.com. Sent Successfully\r\n    With Cc: "
                              "ann@example.com; Bcc: x@stranger.net; Attachments: "))
        << log;
    // The record left for its network file keeps the mailing open.
    EXPECT_THAT(BoxTexts(),
                ::testing::ElementsAre("Job Not Complete (See Current Job Log)\n\nSent: 2\nNot "
                                       "sent: 1 (the current job log names each one; send the "
                                       "same message to the same list again to mail them once "
                                       "they can be)"));
}

TEST_F(ReviewNetworkTest, ANetworkFileIsOpenedOnlyOnceTheUserTicksTheChoice) {
    WriteStrangersList();
    std::vector<std::string> beforeTick;
    Send([&](HWND review) {
        substitute::Click(review, IDC_NEXT); // the network record's preview
        beforeTick = CallsToServer();
        substitute::Click(review, IDC_ALLOW_NETWORK);
    });
    EXPECT_THAT(callsInReview, ::testing::IsEmpty());
    EXPECT_THAT(beforeTick, ::testing::IsEmpty());
    // Then the sending pass looked at it (the server does not answer here).
    EXPECT_THAT(CallsToServer(),
                ::testing::ElementsAre("GetFileAttributesW \\\\server\\share\\x.pdf"));
    EXPECT_TRUE(Contains(CurrentLog(),
                         "Not sent: line 3, the attachment \"\\\\server\\share\\x.pdf\" cannot "
                         "be read\r\n"));
    EXPECT_EQ(DeliveredTo(),
              (std::vector<std::string>{"ann@example.com;x@stranger.net",
                                        "cy@example.com;ann@example.com;x@stranger.net"}));
}

// The choice is not remembered: the next review starts with it off.
TEST_F(ReviewNetworkTest, TheChoiceIsOffInEveryNewReview) {
    WriteStrangersList();
    int reviews = 0;
    std::vector<bool> ticked;
    TakeReviews([&](HWND review) {
        ticked.push_back(IsDlgButtonChecked(review, IDC_ALLOW_NETWORK) == BST_CHECKED);
        substitute::Click(review, IDC_ALLOW_NETWORK);
        substitute::Click(review, ++reviews == 1 ? IDCANCEL : IDOK);
    });
    TypeAt(10, IDC_LIST_PATH, listPath);
    ClickAt(20, IDC_SEND_PAUSE);
    ClickAt(50, IDC_SEND_PAUSE);
    OpenMain();
    EXPECT_EQ(ticked, (std::vector<bool>{false, false}));
    EXPECT_EQ(reviews, 2);
}

} // namespace
