// Memory running out while the reader stores a record: the pass stops early
// at that record, with the reason and the line for its caller to tell (the
// reader shows nothing itself), and no record ever comes back with its
// values shifted into the wrong columns. Text that cannot be converted stops
// the pass likewise.
#include "list_helpers.h"
#include "test_support.h"

#include "control.h"
#include "data/mailing_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class ListMemoryTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ListDelimiter = 0;
    }

    static void ExpectNothingShown() {
        EXPECT_TRUE(ShownMessageBoxes().empty()) << "the reader's caller tells the user";
    }
};

// The counting pass with the n-th allocation after the file is open failing.
CountingPass CountFailingAt(const std::string& path, unsigned n) {
    CountingPass pass;
    MailingList list;
    OpenList file(path);
    EXPECT_NE(file.get(), nullptr);
    substitute::FailAllocationAt(n);
    char address[kListAddressSize];
    for (int calls = 0; ReadNextRecipient(&list, file.get(), calls, address, nullptr, nullptr,
                                          &list.header, &list.current);
         ++calls) {
        pass.addresses.emplace_back(address);
        pass.records.push_back(ValuesOf(list.current));
    }
    substitute::FailAllocationAt(0);
    pass.emailColumn = list.emailColumn;
    pass.stop = ListFileStopReason(file.get());
    pass.stopLine = ListFileStopLine(file.get());
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
    return pass;
}

std::string Fields(int count, const std::string& emailAt, int emailColumn) {
    std::string line;
    for (int i = 0; i < count; ++i)
        line += (i ? "," : "") + (i == emailColumn ? emailAt : "v");
    return line + "\n";
}

TEST_F(ListMemoryTest, StoringTheFirstValuesOfARecordFailsTheRead) {
    const std::string path = WriteList("first.csv", "Name,Email\nAnn,ann@x\nBo,bo@x\n");
    // The header's value array, then its text; the data record's, likewise.
    const long lines[] = {1, 1, 2, 2};
    for (unsigned n = 1; n <= 4; ++n) {
        CountingPass pass = CountFailingAt(path, n);
        SCOPED_TRACE("allocation " + std::to_string(n));
        EXPECT_TRUE(pass.addresses.empty());
        EXPECT_EQ(pass.stop, ListStopNoMemory);
        EXPECT_EQ(pass.stopLine, lines[n - 1]);
        ExpectNothingShown();
    }
}

TEST_F(ListMemoryTest, AValueArrayThatCannotGrowStopsInsteadOfShiftingValues) {
    // The fourth record has 150 values: its array grows past 100 slots. Were
    // the earlier values dropped and reading continued, value 120 (the
    // address column) would come back in another column.
    const std::string path =
        WriteList("wide.csv", Fields(150, "Email", 120) + Fields(150, "a@x", 120) +
                                  Fields(150, "b@x", 120) + Fields(150, "c@x", 120));
    CountingPass normal = CountFailingAt(path, 0);
    ASSERT_EQ(normal.addresses, (std::vector<std::string>{"a@x", "b@x", "c@x"}));
    // header: array, text, growth; current: array, text, growth.
    CountingPass header = CountFailingAt(path, 3);
    EXPECT_EQ(header.emailColumn, -1);
    EXPECT_EQ(header.stop, ListStopNoMemory);
    EXPECT_EQ(header.stopLine, 1);
    ExpectNothingShown();
    CountingPass data = CountFailingAt(path, 6);
    EXPECT_TRUE(data.addresses.empty());
    EXPECT_EQ(data.stop, ListStopNoMemory);
    EXPECT_EQ(data.stopLine, 2);
    ExpectNothingShown();
}

// The stop names the line where the record starts, also when memory runs
// out on a later line of a quoted record.
TEST_F(ListMemoryTest, MemoryRunningOutOnALaterLineOfARecordStopsAtItsFirstLine) {
    // The record at line 4 goes on to line 5, whose 140 values grow its value
    // array: header array and text, current array and text, then that growth.
    const std::string path = WriteList(
        "later.csv", "Name,Email\n// comment\nAnn,ann@x\n\"Lee\nLee\"," + Fields(140, "lee@x", 0));
    const CountingPass normal = CountFailingAt(path, 0);
    ASSERT_EQ(normal.addresses, (std::vector<std::string>{"ann@x", "lee@x"}));
    const CountingPass pass = CountFailingAt(path, 5);
    EXPECT_EQ(pass.addresses, std::vector<std::string>{"ann@x"});
    EXPECT_EQ(pass.stop, ListStopNoMemory);
    EXPECT_EQ(pass.stopLine, 4);
    ExpectNothingShown();
}

// A UTF-8 list is converted a piece at a time; a piece the system will not
// convert stops the pass. The stop names the record that piece belongs to:
// where it starts when it began in the pieces before, else the first line
// that could not be delivered.
TEST_F(ListMemoryTest, TextThatCannotBeConvertedStopsAtTheRecordItBelongsTo) {
    // Records of 10 bytes after the mark and the header, up to a quoted
    // record of three lines whose last line crosses the first 8 KB.
    // A list in the ANSI code page ("N\xE4me"), converted a piece at a time.
    std::string text = "N\xE4me,Email\n";
    int lines = 1;
    while (text.size() < 8150) {
        text += "n,a" + std::to_string(1000 + lines++) + "@x\n";
    }
    const size_t quotedAt = text.size();
    text += "\"one\ntwo\n" + std::string(80, 't') + "\",q@x\nlast,l@x\n";
    ASSERT_LE(quotedAt + 9, 8192u);      // its first two lines in the first piece
    ASSERT_GT(quotedAt + 9 + 86, 8192u); // its last line not
    const std::string path = WriteList("convert.csv", text);
    SelectListDelimiter(path.c_str());
    ASSERT_EQ(ListDelimiter, 0);
    substitute::FailMultiByteToWideCharAt(2); // the second piece
    CountingPass inRecord = RunCountingPass(path);
    substitute::FailMultiByteToWideCharAt(0);
    EXPECT_EQ(inRecord.addresses.size(), static_cast<size_t>(lines - 1));
    EXPECT_EQ(inRecord.stop, ListStopReadError);
    EXPECT_EQ(inRecord.stopLine, lines + 1) << "the quoted record's first line";

    // The same list with the quoted record gone: the piece fails between
    // two records, and the line after the last one delivered is named.
    std::string plain = text.substr(0, quotedAt);
    while (plain.size() < 8300)
        plain += "n,b@x\n";
    const std::string plainPath = WriteList("convert2.csv", plain);
    const size_t linesBefore =
        static_cast<size_t>(std::count(plain.begin(), plain.begin() + 8192, '\n'));
    substitute::FailMultiByteToWideCharAt(2);
    CountingPass between = RunCountingPass(plainPath);
    substitute::FailMultiByteToWideCharAt(0);
    EXPECT_EQ(between.stop, ListStopReadError);
    EXPECT_EQ(between.stopLine, static_cast<long>(linesBefore) + 1);
    EXPECT_TRUE(substitute::MessageBoxes().empty());
}

TEST_F(ListMemoryTest, EveryFailingAllocationEndsInAStopAfterTheRecordsReadSoFar) {
    std::string text = "Name,Email,Notes\n";
    for (int i = 0; i < 30; ++i) {
        text += "\"Lee, " + std::to_string(i) + "\",p" + std::to_string(i) + "@x,\"a\nb\"\n";
        if (i % 7 == 3)
            text += Fields(130 + i, "w" + std::to_string(i) + "@x", 1);
    }
    const std::string path = WriteList("every.csv", text);
    const CountingPass normal = CountFailingAt(path, 0);
    ASSERT_EQ(normal.stop, ListStopNone);
    bool sawFailure = false;
    for (unsigned n = 1; n < 40; ++n) {
        const CountingPass pass = CountFailingAt(path, n);
        SCOPED_TRACE("allocation " + std::to_string(n));
        ExpectNothingShown();
        if (pass.stop == ListStopNone) {
            EXPECT_EQ(pass.records, normal.records);
            continue;
        }
        sawFailure = true;
        EXPECT_EQ(pass.stop, ListStopNoMemory);
        ASSERT_LE(pass.records.size(), normal.records.size());
        for (size_t i = 0; i < pass.records.size(); ++i)
            EXPECT_EQ(pass.records[i], normal.records[i]);
    }
    EXPECT_TRUE(sawFailure);
}

TEST_F(ListMemoryTest, SteppingOverTheHeaderInTheSendingPassFailsLikewise) {
    const std::string path = WriteList("second.csv", "Name,Email\nAnn,ann@x\n");
    MailingList list;
    list.emailColumn = 1;
    OpenList file(path);
    substitute::FailAllocationAt(1);
    char address[kListAddressSize];
    char raw[kListRawSize];
    EXPECT_EQ(
        ReadNextRecipient(&list, file.get(), 0, address, nullptr, raw, nullptr, &list.current), 0);
    EXPECT_EQ(ListFileStopReason(file.get()), ListStopNoMemory);
    EXPECT_EQ(ListFileStopLine(file.get()), 1);
    ExpectNothingShown();
    FreeListRecord(&list.current);
}

TEST_F(ListMemoryTest, AFileWhoseBuffersCannotBeHadDoesNotOpenAndSaysWhy) {
    const std::string ansi = WriteList("open.csv", "Email\na@x\n");
    substitute::FailAllocationAt(1);
    bool outOfMemory = false;
    EXPECT_EQ(OpenListFile(ansi.c_str(), &outOfMemory), nullptr);
    EXPECT_TRUE(outOfMemory);
    const std::string wide = WriteList("open16.csv", std::string("\xFF\xFE"
                                                                 "E\0\n\0",
                                                                 6));
    substitute::FailAllocationAt(2);
    outOfMemory = false;
    EXPECT_EQ(OpenListFile(wide.c_str(), &outOfMemory), nullptr);
    EXPECT_TRUE(outOfMemory);
    // The delimiter then follows the name, without a message.
    ListDelimiter = -1;
    substitute::FailAllocationAt(1);
    SelectListDelimiter(WriteList("tabs.csv", "a\tb\n").c_str());
    EXPECT_EQ(ListDelimiter, 0);
    EXPECT_TRUE(substitute::MessageBoxes().empty());
}

} // namespace
