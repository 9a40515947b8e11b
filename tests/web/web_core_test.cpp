// The web add-in's core as the pane calls it: a list reviewed, then its
// copies merged, in both the native and the WebAssembly build.
#include "test_support.h"
#include "web_core.h"

#include <string>

namespace {

class WebCoreTest : public PlatformTest {
protected:
    static std::string Review(const std::string& list, const char* subject = "Hi [[Name]]",
                              const char* body = "Dear [[Name]],\nyour number is [[No]].") {
        WriteFileBytes("C:\\Temp\\list.csv", list);
        return qv_review("C:\\Temp\\list.csv", subject, body, nullptr, nullptr);
    }
    // Every copy of the pass, as the pane sends them; the records it tells as
    // not sent into `notSent`.
    static std::vector<std::string> Copies(std::vector<std::string>* notSent = nullptr) {
        std::vector<std::string> copies;
        for (std::string copy = qv_first_copy(); copy.find("\"end\":true") == std::string::npos;
             copy = qv_next_copy()) {
            if (copy.find("\"notSent\":true") != std::string::npos) {
                if (notSent)
                    notSent->push_back(copy);
                continue;
            }
            copies.push_back(copy);
            if (copy.find("\"error\"") != std::string::npos || copies.size() > 100)
                break;
        }
        return copies;
    }
};

TEST_F(WebCoreTest, TheCopiesAreTheRecipientsTheReviewCounted) {
    WriteFileBytes("C:\\Temp\\inv 1.pdf", "%PDF-1.4 one");
    const std::string review = Review("Name,E-Mail,No,Attachment,Cc\n"
                                      "Ann,ann@example.com,1,inv 1.pdf,boss@example.com\n"
                                      "Bob,,2,,\n"
                                      "Cid,cid@example.com,3,missing.pdf,\n"
                                      "Dee,dee@example.com,4,,\n"
                                      "Ann again,ANN@example.com ,5,,\n");
    // Bob has no address and Cid's file is missing: three are mailed, the
    // repeat among them, and the review names each fault with its line.
    EXPECT_NE(review.find("\"recipients\":3"), std::string::npos) << review;
    EXPECT_NE(review.find("\"emailField\":\"E-Mail\""), std::string::npos) << review;
    EXPECT_NE(review.find("line 3"), std::string::npos) << review;
    EXPECT_NE(review.find("missing.pdf"), std::string::npos) << review;
    EXPECT_NE(review.find("line 6 (as line 2)"), std::string::npos) << review;
    EXPECT_NE(review.find("\"lines\":[4]"), std::string::npos) << review;
    EXPECT_NE(review.find("\"clean\":false"), std::string::npos) << review;
    EXPECT_NE(review.find("\"columns\":{\"files\":[\"Attachment\"],\"cc\":[\"Cc\"],\"bcc\":[]}"),
              std::string::npos)
        << review;
    EXPECT_NE(review.find("{\"address\":\"boss@example.com\",\"kind\":\"cc\",\"copies\":1,"
                          "\"firstLine\":2}"),
              std::string::npos)
        << review;

    std::vector<std::string> notSent;
    const std::vector<std::string> copies = Copies(&notSent);
    ASSERT_EQ(copies.size(), 3u);
    ASSERT_EQ(notSent.size(), 1u); // Cid, whose file is missing, is told, not lost
    EXPECT_NE(notSent[0].find("\"line\":4"), std::string::npos) << notSent[0];
    EXPECT_NE(copies[0].find("\"to\":\"ann@example.com\""), std::string::npos) << copies[0];
    EXPECT_NE(copies[0].find("\"cc\":[\"boss@example.com\"]"), std::string::npos) << copies[0];
    EXPECT_NE(copies[0].find("\"name\":\"inv 1.pdf\""), std::string::npos) << copies[0];
    EXPECT_NE(copies[0].find("\"size\":12"), std::string::npos) << copies[0];
    EXPECT_NE(copies[0].find("\"subject\":\"Hi Ann\""), std::string::npos) << copies[0];
    EXPECT_NE(copies[0].find("your number is 1."), std::string::npos) << copies[0];
    EXPECT_NE(copies[1].find("\"to\":\"dee@example.com\""), std::string::npos) << copies[1];
    EXPECT_NE(copies[1].find("\"line\":5"), std::string::npos) << copies[1];
    EXPECT_NE(copies[2].find("\"subject\":\"Hi Ann again\""), std::string::npos) << copies[2];
    EXPECT_NE(qv_next_copy(), std::string()); // after the end: an answer, not a crash

    // The preview of one recipient is that recipient's copy.
    const std::string second = qv_copy(1);
    EXPECT_NE(second.find("\"to\":\"dee@example.com\""), std::string::npos) << second;
    EXPECT_NE(std::string(qv_copy(3)).find("\"error\""), std::string::npos);
    EXPECT_NE(std::string(qv_copy(-1)).find("\"error\""), std::string::npos);
}

TEST_F(WebCoreTest, AFileOnAnotherComputerIsRefusedInTheReviewNotLostInTheSending) {
    // A browser reaches no network share: the record is counted as not
    // mailable, so the review's count is the copies that go.
    const std::string review = Review("Name,E-Mail,No,Attachment\n"
                                      "Ann,ann@example.com,1,\n"
                                      "Dan,dan@example.com,2,\\\\fileserver\\shared\\prices.pdf\n");
    EXPECT_NE(review.find("\"recipients\":1"), std::string::npos) << review;
    EXPECT_NE(review.find("\"skipped\":1"), std::string::npos) << review;
    EXPECT_NE(review.find("prices.pdf"), std::string::npos) << review;
    std::vector<std::string> notSent;
    const std::vector<std::string> copies = Copies(&notSent);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_NE(copies[0].find("\"to\":\"ann@example.com\""), std::string::npos) << copies[0];
    // The sending pass tells the record it does not mail.
    ASSERT_EQ(notSent.size(), 1u);
    EXPECT_NE(notSent[0].find("Not sent: line 3"), std::string::npos) << notSent[0];
}

TEST_F(WebCoreTest, AnAddressExchangeOnlineRefusesIsNamedInTheReviewNotFailedInTheSending) {
    // Graph answers ErrorInvalidRecipients for a local part beyond ASCII,
    // in To, Cc or Bcc alike; a domain in another script is another matter.
    const std::string review = Review("Name,E-Mail,No,Cc,Bcc\n"
                                      "Ann,ann@example.com,1,,\n"
                                      "Łukasz,łukasz@example.pl,2,,\n"
                                      "Cy,cy@example.com,3,zoë@example.com,\n"
                                      "Dee,dee@example.com,4,,\"boss@x\"@example.com\n"
                                      "Eva,eva@bücher.de,5,,ok@example.com\n"
                                      "Fay,fay@example.com,6,,ünal@example.com\n");
    EXPECT_NE(review.find("\"recipients\":3"), std::string::npos) << review;
    EXPECT_NE(review.find("\"skipped\":3"), std::string::npos) << review;
    for (const char* refused : {"łukasz@example.pl", "zoë@example.com", "ünal@example.com"})
        EXPECT_NE(review.find(refused), std::string::npos) << refused << review;
    EXPECT_NE(review.find("refused by Exchange Online"), std::string::npos) << review;
    std::vector<std::string> notSent;
    const std::vector<std::string> copies = Copies(&notSent);
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_NE(copies[2].find("\"to\":\"eva@bücher.de\""), std::string::npos) << copies[2];
    ASSERT_EQ(notSent.size(), 3u);
    EXPECT_NE(notSent[0].find("Not sent: line 3, the address \\\"łukasz@example.pl\\\" is refused"),
              std::string::npos)
        << notSent[0];
    EXPECT_NE(notSent[1].find("zoë@example.com"), std::string::npos) << notSent[1];
}

TEST_F(WebCoreTest, TheAddressColumnWithTheMostAddressesIsMailedInEveryPass) {
    // "Email Opt-In" comes first by name, but "Email Address" holds the addresses.
    const std::string review = Review("Name,Email Opt-In,Email Address,No\n"
                                      "Ann,yes,ann@example.com,1\n"
                                      "Bob,yes,bob@example.com,2\n");
    EXPECT_NE(review.find("\"recipients\":2"), std::string::npos) << review;
    EXPECT_NE(review.find("\"emailField\":\"Email Address\""), std::string::npos) << review;
    const std::vector<std::string> copies = Copies();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_NE(copies[1].find("\"to\":\"bob@example.com\""), std::string::npos) << copies[1];
}

TEST_F(WebCoreTest, AnswersStayJsonWhateverTheValuesHold) {
    Review("Name,E-Mail,No\n"
           "\"Ann \"\"Q\"\" \\ \x01\",ann@example.com,\"1\n2\"\n"
           "Lee\xE2\x80\xA8X,lee@example.com,3\n");
    const std::vector<std::string> copies = Copies();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_NE(copies[0].find(R"("subject":"Hi Ann \"Q\" \\ \u0001")"), std::string::npos)
        << copies[0];
    // A line break in a value is the body's own: CR LF.
    EXPECT_NE(copies[0].find(R"(is 1\r\n2.)"), std::string::npos) << copies[0];
    EXPECT_NE(copies[1].find(R"(Lee\u2028X)"), std::string::npos) << copies[1];
    const std::string again = qv_copy(1);
    EXPECT_EQ(qv_answer_size(), again.size());
}

TEST_F(WebCoreTest, AContinuedMailingSendsOnlyWhoTheSentListDoesNotHold) {
    const std::string list = "Name,E-Mail,No\n"
                             "Ann,ann@example.com,1\n"
                             "Bob,bob@example.com,2\n"
                             "Cid,cid@example.com,3\n"
                             "Twin,two@example.com,4\n"
                             "Twin,two@example.com,5\n";
    Review(list);
    // The pane keeps the sent list as the copies go: the header, then each
    // copy's record. Three went before the run stopped.
    std::vector<std::string> copies = Copies();
    ASSERT_EQ(copies.size(), 5u);
    std::string sent = "Name,E-Mail,No\n";
    for (int i : {0, 1, 3}) {
        const size_t at = copies[i].find("\"record\":\"") + 10;
        sent += copies[i].substr(at, copies[i].find('"', at) - at) + "\n";
    }
    EXPECT_EQ(sent, "Name,E-Mail,No\nAnn,ann@example.com,1\nBob,bob@example.com,2\n"
                    "Twin,two@example.com,4\n");
    WriteFileBytes("C:\\Temp\\sent.txt", sent);

    // The list saved again as people do: re-quoted, a trailing blank, an
    // address in other letters, the rows in another order, one added.
    WriteFileBytes("C:\\Temp\\list.csv", "\"Name\",\"E-Mail\",\"No\"\n"
                                         "\"New\",\"new@example.com\",\"6\"\n"
                                         "\"Twin\",\"two@example.com\",\"5\"\n"
                                         "\"Cid\",\"cid@example.com\",\"3\"\n"
                                         "\"Bob\",\"BOB@Example.com \",\"2\"\n"
                                         "\"Twin\",\"two@example.com\",\"4\"\n"
                                         "\"Ann\",\"ann@example.com\",\"1\"\n");
    const std::string review =
        qv_review("C:\\Temp\\list.csv", "Hi", "Body", nullptr, "C:\\Temp\\sent.txt");
    EXPECT_NE(review.find("\"recipients\":3"), std::string::npos) << review;
    EXPECT_NE(review.find("\"alreadySent\":3"), std::string::npos) << review;
    copies = Copies();
    ASSERT_EQ(copies.size(), 3u);
    // The address listed twice and mailed once gets the one copy left, as
    // its second occurrence (the one a copy in doubt would have been).
    EXPECT_NE(copies[0].find("\"to\":\"new@example.com\",\"occurrence\":1"), std::string::npos)
        << copies[0];
    EXPECT_NE(copies[1].find("\"to\":\"cid@example.com\""), std::string::npos) << copies[1];
    EXPECT_NE(copies[2].find("\"to\":\"two@example.com\",\"occurrence\":2"), std::string::npos)
        << copies[2];

    // A sent list that cannot be read whole stops the mailing: a second copy
    // to everybody after the break would be worse than none.
    WriteFileBytes("C:\\Temp\\sent.txt",
                   std::string("Name,E-Mail,No\nAnn,ann@ex\0ample.com,1\n", 38));
    const std::string broken =
        qv_review("C:\\Temp\\list.csv", "Hi", "Body", nullptr, "C:\\Temp\\sent.txt");
    EXPECT_NE(broken.find("\"error\""), std::string::npos) << broken;
    EXPECT_NE(std::string(qv_first_copy()).find("\"error\""), std::string::npos);
    // No sent list yet: nothing has gone.
    EXPECT_NE(
        std::string(qv_review("C:\\Temp\\list.csv", "Hi", "Body", nullptr, "C:\\Temp\\never.txt"))
            .find("\"recipients\":6"),
        std::string::npos);
}

TEST_F(WebCoreTest, AListThatCannotBeReadToItsEndSendsNothing) {
    const std::string review = Review(std::string("Name,E-Mail,No\nAnn,ann@example.com,1\n"
                                                  "Bob,bob@exa\0mple.com,2\n",
                                                  55));
    EXPECT_NE(review.find("\"error\""), std::string::npos) << review;
    EXPECT_NE(review.find("a NUL character"), std::string::npos) << review;
    EXPECT_NE(review.find("\"line\":3"), std::string::npos) << review;
    EXPECT_NE(std::string(qv_first_copy()).find("\"error\""), std::string::npos);

    const std::string none = qv_review("C:\\Temp\\none.csv", "s", "b", nullptr, nullptr);
    EXPECT_NE(none.find("cannot be opened"), std::string::npos) << none;
    const std::string noAddress = Review("Name,No\nAnn,1\n");
    EXPECT_NE(noAddress.find("no field for the e-mail address"), std::string::npos) << noAddress;
}

} // namespace
