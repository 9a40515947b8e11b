// The review's findings, gathered record by record as the counting pass
// reads them, and told as the user reads them.
#include "list_helpers.h"

#include "data/review.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace {

const Record& Header() {
    static const Record header{"E-mail", "First Name", "City", "Unused"};
    return header;
}

struct Row {
    long line;
    std::vector<std::string> values;
};

// Reviews the rows as the counting pass tells them: a row whose address
// value is empty is passed over, the others are recipients.
std::string Reviewed(MailingReview& review, const std::vector<Row>& rows, const char* subject,
                     const char* body, const char* html = nullptr) {
    EXPECT_TRUE(review.Begin(Header().get(), 0, subject, body, html));
    for (const Row& row : rows) {
        Record record(row.values);
        record.get()->line = row.line;
        if (row.values[0].empty())
            review.AddPassedOver(*record.get(), ListSkipNoAddress);
        else
            EXPECT_TRUE(review.AddRecipient(*record.get(), row.values[0].c_str()));
    }
    char text[4096];
    review.Describe(text, sizeof text);
    return text;
}

TEST(ReviewTest, ACleanMailingFindsNothing) {
    MailingReview review;
    const std::string text =
        Reviewed(review, {{2, {"a@x.com", "Ann", "Oslo"}}, {3, {"b@x.com", "Bo", "Rome"}}},
                 "Hello [[First Name]]", "From [[city]]");
    EXPECT_TRUE(review.Clean());
    EXPECT_EQ(review.Recipients(), 2);
    EXPECT_EQ(text, "");
}

TEST(ReviewTest, EachProblemNamesItsLines) {
    MailingReview review;
    const std::string text = Reviewed(review,
                                      {{2, {"a@x.com", "Ann", "Oslo"}},
                                       {3, {"", "Nobody", "Oslo"}},
                                       {5, {"B@X.com", "", "Rome"}},
                                       {6, {"b@x.com", "Bo", "Rome"}},
                                       {7, {"a@x.com", "Ann", ""}},
                                       {8, {"ÄNNE.Ørsted@Eksempel.no", "Änne", "Oslo"}},
                                       {9, {"änne.ørsted@eksempel.no", "Änne", "Oslo"}}},
                                      "Hello [[First Name]]", "Greetings from [[City]]");
    EXPECT_FALSE(review.Clean());
    EXPECT_EQ(review.Recipients(), 6);
    EXPECT_NE(text.find("1 record has no e-mail address and will not be mailed: line 3."),
              std::string::npos)
        << text;
    // Letter case aside, in any script, the same mailbox twice; each repeat
    // names the first.
    EXPECT_NE(text.find("3 records repeat an address of an earlier record: that recipient gets "
                        "more than one copy: lines 6 (as line 5), 7 (as line 2), 9 (as line 8)."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"First Name\" is used in the message but empty for 1 recipient, who "
                        "gets the message with nothing in its place: line 5."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"City\" is used in the message but empty for 1 recipient"),
              std::string::npos)
        << text;
    // A field the message does not use may be empty.
    EXPECT_EQ(text.find("Unused"), std::string::npos) << text;
}

TEST(ReviewTest, ManyLinesAreCutToTheFirstFewAndCounted) {
    MailingReview review;
    std::vector<Row> rows;
    for (long line = 2; line < 2 + 40; ++line)
        rows.push_back({line, {"", "x", "y"}});
    const std::string text = Reviewed(review, rows, "s", "b");
    EXPECT_NE(text.find("40 records have no e-mail address and will not be mailed: lines 2, 3, "
                        "4, 5, 6 and 35 more."),
              std::string::npos)
        << text;
    EXPECT_EQ(review.Recipients(), 0);
}

TEST(ReviewTest, TokensNamingNoColumnAreFoundWithTheirLikelyColumn) {
    MailingReview review;
    const std::string text = Reviewed(review, {{2, {"a@x.com", "Ann", "Oslo"}}},
                                      "Hi [[Frist Name]]", "[[Town]] and [[Frist Name]] again");
    EXPECT_NE(text.find("\"[[Frist Name]]\" in the message names no column of the list (did you "
                        "mean \"First Name\"?): it is sent as typed."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"[[Town]]\" in the message names no column of the list: it is sent as "
                        "typed."),
              std::string::npos)
        << text;
    // Told once however often it stands.
    EXPECT_EQ(text.find("Frist Name", text.find("Frist Name") + 40), std::string::npos) << text;
}

TEST(ReviewTest, TheHtmlBodysTokensAreReadWithoutTheirMarkup) {
    MailingReview review;
    const std::string text =
        Reviewed(review, {{2, {"a@x.com", "", "Oslo"}}}, "s", "b",
                 "<p>[[<span lang=EN-GB>First</span> Name]] [[<b>Cty</b>]]<!-- [[x -->]]</p>");
    // The split token names a column: it is used, and so its empty value is told.
    EXPECT_NE(text.find("\"First Name\" is used in the message but empty"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\"[[Cty]]\" in the message names no column of the list (did you mean "
                        "\"City\"?)"),
              std::string::npos)
        << text;
}

TEST(ReviewTest, RecipientsOfTheComposedMessageAreTold) {
    MailingReview review;
    Reviewed(review, {{2, {"a@x.com", "Ann", "Oslo"}}}, "s", "b");
    review.AddComposedRecipient("boss@x.com");
    char text[1024];
    review.Describe(text, sizeof text);
    EXPECT_STREQ(text, "boss@x.com is already a recipient of the composed message: every copy "
                       "goes to it too.");
    EXPECT_FALSE(review.Clean());
}

TEST(ReviewTest, MemoryGrowsWithDistinctAddressesOnly) {
    MailingReview review;
    ASSERT_TRUE(review.Begin(Header().get(), 0, "s", "b", nullptr));
    Record record{"same@x.com", "Ann", "Oslo"};
    for (long line = 2; line < 100002; ++line) {
        record.get()->line = line;
        ASSERT_TRUE(review.AddRecipient(*record.get(), "same@x.com"));
    }
    const size_t oneAddress = review.MemoryBytes();
    EXPECT_LE(oneAddress, size_t{64} * 1024);
    EXPECT_EQ(review.Finding(0).count, 99999);

    MailingReview distinct;
    ASSERT_TRUE(distinct.Begin(Header().get(), 0, "s", "b", nullptr));
    for (long line = 2; line < 100002; ++line) {
        const std::string address = "r" + std::to_string(line) + "@x.com";
        record.get()->line = line;
        ASSERT_TRUE(distinct.AddRecipient(*record.get(), address.c_str()));
    }
    EXPECT_TRUE(distinct.Clean());
    // Under three 16-byte slots per address, whatever the records hold.
    EXPECT_LE(distinct.MemoryBytes(), size_t{100000} * 3 * 16);
}

TEST(ReviewTest, ADescriptionIsCutToItsBuffer) {
    MailingReview review;
    Reviewed(review, {{2, {"", "x", "y"}}, {3, {"a@x.com", "", ""}}}, "[[First Name]] [[City]]",
             "b");
    char text[40];
    std::memset(text, '#', sizeof text);
    review.Describe(text, 30);
    EXPECT_EQ(std::strlen(text), 29u);
    EXPECT_EQ(text[31], '#');
}

} // namespace

namespace {

// Beyond eight columns of a kind, a column carries nothing: the review names
// each one so passed over, and the copies carry only the first eight's.
TEST(ReviewCarriedTest, ColumnsBeyondEightOfAKindAreNamedAsPassedOver) {
    std::vector<std::string> names{"E-mail"};
    for (int i = 1; i <= 10; ++i)
        names.push_back(i % 2 ? "Cc" : " cc ");
    for (int i = 1; i <= 9; ++i)
        names.push_back("Attachment " + std::to_string(i));
    const Record header(names);
    RecordExtraColumns columns;
    FindRecordExtraColumns(header.get(), &columns);
    EXPECT_EQ(columns.ccCount, 8);
    EXPECT_EQ(columns.attachmentCount, 8);
    EXPECT_EQ(columns.passedOverCount, 3);
    MailingReview review;
    ASSERT_TRUE(review.Begin(header.get(), 0, "s", "b", nullptr));
    char text[4096];
    review.DescribeCarried(text, sizeof text);
    EXPECT_NE(
        std::string(text).find("Passed over, as more than 8 of their kind: \"Cc\", \" cc \" and "
                               "\"Attachment 9\"."),
        std::string::npos)
        << text;
    // Eight of each pass over nothing.
    const Record eight{"E-mail", "Cc", "Cc", "Cc", "Cc", "Cc", "Cc", "Cc", "Cc"};
    MailingReview full;
    ASSERT_TRUE(full.Begin(eight.get(), 0, "s", "b", nullptr));
    full.DescribeCarried(text, sizeof text);
    EXPECT_EQ(std::string(text).find("Passed over, as"), std::string::npos) << text;
}

} // namespace
