// The mailing-list reader: the delimiter choice, splitting records, skipped
// lines, the e-mail column and the cleaned address, the raw-text limit and
// how a pass that stops early tells it, text mode and byte-order marks.
#include "list_helpers.h"
#include "test_support.h"

#include "data/mailing_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Values = std::vector<std::string>;
using Records = std::vector<Values>;

class ListReaderTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ListDelimiter = -1;
    }
};

// A counting pass over a list written with these bytes, its delimiter chosen
// as the job chooses it.
CountingPass Count(const std::string& name, const std::string& text) {
    const std::string path = WriteList(name, text);
    SelectListDelimiter(path.c_str());
    return RunCountingPass(path);
}

// ---- Choosing the delimiter ---------------------------------------------------------

using ListDelimiterTest = ListReaderTest;

int DelimiterFor(const std::string& path) {
    ListDelimiter = -1;
    SelectListDelimiter(path.c_str());
    return ListDelimiter;
}

TEST_F(ListDelimiterTest, TheContentDecidesWhenItHoldsOnlyOneKind) {
    EXPECT_EQ(DelimiterFor(WriteList("commas.txt", "Name,Email\nAnn,a@x\n")), 0);
    EXPECT_EQ(DelimiterFor(WriteList("tabs.csv", "Name\tEmail\nAnn\ta@x\n")), 1);
}

// Lists from spreadsheets set up for a decimal comma: the header names its
// fields with semicolons, and commas in later values (an address list, a
// decimal number, a town with its country) do not change that.
TEST_F(ListDelimiterTest, AHeaderOfSemicolonsMakesASemicolonList) {
    EXPECT_EQ(DelimiterFor(WriteList("de.csv", "Vorname;Nachname;E-Mail\r\n"
                                               "J\xC3\xBCrgen;M\xC3\xBCller;juergen@example.de\r\n"
                                               "Anna;Schmidt, Dr.;anna@example.de\r\n")),
              kListSemicolon);
    EXPECT_EQ(DelimiterFor(WriteList("de2.txt", "// exported\n\nName;Email\nA;a@x\n")),
              kListSemicolon)
        << "comment and empty lines before the header";
    EXPECT_EQ(DelimiterFor(WriteList("mixed.csv", "Name;Title,Email\nA;B,a@x\n")), kListComma)
        << "a header with a comma is no semicolon list";
    EXPECT_EQ(DelimiterFor(WriteList("tabsemi.txt", "Name;X\tEmail\nA;B\ta@x\n")), kListTab);
    EXPECT_EQ(DelimiterFor(WriteList("semi-later.csv", "Email\na;b@x\n")), kListComma)
        << "semicolons below the header do not count";

    CountingPass pass =
        Count("de-read.csv", "Vorname;Nachname;E-Mail;Ort\r\n"
                             "J\xC3\xBCrgen;M\xC3\xBCller;juergen@example.de;K\xC3\xB6ln\r\n"
                             "\"Anna; Maria\";\"Schmidt, Dr.\";anna@example.de;Bonn\r\n");
    EXPECT_EQ(pass.emailColumn, 2);
    EXPECT_EQ(pass.addresses, (Values{"juergen@example.de", "anna@example.de"}));
    EXPECT_EQ(pass.records[1], (Values{"Anna; Maria", "Schmidt, Dr.", "anna@example.de", "Bonn"}));
}

TEST_F(ListDelimiterTest, TheNameDecidesWhenTheContentHoldsBothOrNeither) {
    const std::string both = "Name\tEmail\n\"Lee, Ann\"\ta@x\n";
    EXPECT_EQ(DelimiterFor(WriteList("both.CSV", both)), 0);
    EXPECT_EQ(DelimiterFor(WriteList("both.txt", both)), 1);
    EXPECT_EQ(DelimiterFor(WriteList("neither.csv.txt", "Email\na@x\n")), 0)
        << "\".csv\" anywhere in the lower-cased path";
    EXPECT_EQ(DelimiterFor(WriteList("neither.txt", "Email\na@x\n")), 1);
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    EXPECT_EQ(DelimiterFor(std::string(folder) + "qv-missing.Csv"), 0);
    EXPECT_EQ(DelimiterFor(std::string(folder) + "qv-missing.tsv"), 1);
    EXPECT_EQ(DelimiterFor(""), 1);
}

TEST_F(ListDelimiterTest, TheScanSeesTheTextAsTheReaderDoes) {
    // Text mode ends at Ctrl+Z: the commas after it are not part of the list.
    EXPECT_EQ(DelimiterFor(WriteList("ctrlz.csv", "Name\tEmail\n\x1A,,,\n")), 1);
    // U+2C00 is the bytes 00 2C in UTF-16LE: a comma only for a byte reader.
    EXPECT_EQ(DelimiterFor(WriteList("wide.csv", Utf16File(u"Name\tEmail\r\n\u2C00\ta@x\r\n"))), 1);
}

TEST_F(ListDelimiterTest, UnchosenMeansNothingCanBeRead) {
    ListDelimiter = -1;
    OpenList file(WriteList("unchosen.txt", "Email\na@x\n"));
    Record record;
    EXPECT_EQ(ReadListRecord(file.get(), record.get()), 0);
    EXPECT_EQ(ListFileStopReason(file.get()), ListStopNone);
}

// ---- Splitting records -----------------------------------------------------------------

using ListSplittingTest = ListReaderTest;

Records CommaRecords(const std::string& name, const std::string& text) {
    return ReadAllRecords(WriteList(name, text), 0);
}

TEST_F(ListSplittingTest, QuotedFieldsHoldDelimitersAndDoubledQuotes) {
    EXPECT_EQ(CommaRecords("q1.txt", "\"Smith, Ann\",A@x\n"), (Records{{"Smith, Ann", "A@x"}}));
    EXPECT_EQ(CommaRecords("q2.txt", "\"say \"\"hi\"\"\",x\n"), (Records{{"say \"hi\"", "x"}}));
    EXPECT_EQ(CommaRecords("q3.txt", "\"\"\"\",\"\"\n"), (Records{{"\"", ""}}));
}

TEST_F(ListSplittingTest, TextOutsideTheQuotesOfAFieldIsDropped) {
    EXPECT_EQ(CommaRecords("d1.txt", "ab\"cd\",x\n"), (Records{{"cd", "x"}}));
    EXPECT_EQ(CommaRecords("d2.txt", "\"a\"junk,b\n"), (Records{{"a", "b"}}));
    EXPECT_EQ(CommaRecords("d3.txt", "\"a\"junk\n"), (Records{{"a"}}));
}

TEST_F(ListSplittingTest, AQuotedLineBreakStaysInTheValueAsCrLf) {
    const std::string path = WriteList("multi.txt", "\"line one\nline two\",A@x\nnext,B@x\n");
    EXPECT_EQ(ReadAllRecords(path, 0), (Records{{"line one\r\nline two", "A@x"}, {"next", "B@x"}}));
    ListDelimiter = 0;
    OpenList file(path);
    Record record;
    ASSERT_EQ(ReadListRecord(file.get(), record.get()), 1);
    EXPECT_STREQ(record.get()->raw, "\"line one\nline two\",A@x\n");
    // A line break just before the closing quote is trimmed with the value.
    EXPECT_EQ(CommaRecords("multi2.txt", "\"x\n\",y\n"), (Records{{"x", "y"}}));
}

TEST_F(ListSplittingTest, AnUnclosedQuoteRunsToTheEndOfTheFile) {
    EXPECT_EQ(CommaRecords("open.txt", "a,\"b\nc,d\n"), (Records{{"a", "b\r\nc,d"}}));
}

TEST_F(ListSplittingTest, ATrailingDelimiterMakesAnEmptyValueOnlyBeforeALineBreak) {
    EXPECT_EQ(CommaRecords("t1.txt", "a,b,\n"), (Records{{"a", "b", ""}}));
    EXPECT_EQ(CommaRecords("t2.txt", "a,b,"), (Records{{"a", "b"}}));
}

TEST_F(ListSplittingTest, TabDelimitedListsKeepCommasInTheirValues) {
    EXPECT_EQ(ReadAllRecords(WriteList("tabbed.txt", "Lee, Ann\ta@x\t\n"), 1),
              (Records{{"Lee, Ann", "a@x", ""}}));
}

TEST_F(ListSplittingTest, CarriageReturnsEndRecordsOutsideQuotesOnly) {
    // On disk CR CR LF: text mode gives CR LF, which must not leave a CR in
    // the last value.
    EXPECT_EQ(CommaRecords("cr1.txt", "a,b\r\r\n"), (Records{{"a", "b"}}));
    // Outside quotes each CR ends a record (and the empty ones are skipped).
    EXPECT_EQ(CommaRecords("cr2.txt", "x\r\r\ry,z\n"), (Records{{"x"}, {"y", "z"}}));
    EXPECT_EQ(CommaRecords("cr3.txt", "x\r\r\r\n"), (Records{{"x"}}));
    EXPECT_EQ(CommaRecords("cr4.txt", "a,b,\rc,d"), (Records{{"a", "b", ""}, {"c", "d"}}));
    // Inside quotes a CR is part of the value, as an LF is.
    EXPECT_EQ(CommaRecords("cr5.txt", "\"one\rtwo\",x\r\"three\r\r\",y\r"),
              (Records{{"one\rtwo", "x"}, {"three\r", "y"}}));
}

// A list saved with CR line ends (an old Mac export) is as many records as
// its lines, each with its own line and raw text: none is swallowed into the
// header or its neighbour.
TEST_F(ListSplittingTest, AListWithCrLineEndsHasEveryRecord) {
    const std::string path = WriteList("mac.csv", "Name,Email\rAnn,ann@x\rBen,ben@x\r\r"
                                                  "\"Cy\rCoe\",cy@x\rDee,dee@x");
    SelectListDelimiter(path.c_str());
    CountingPass counting = RunCountingPass(path);
    EXPECT_EQ(counting.header, (Values{"Name", "Email"}));
    EXPECT_EQ(counting.headerRaw, "Name,Email\r");
    EXPECT_EQ(counting.addresses, (Values{"ann@x", "ben@x", "cy@x", "dee@x"}));
    EXPECT_EQ(counting.records[2], (Values{"Cy\rCoe", "cy@x"}));
    SendingPass sending = RunSendingPass(path, counting.emailColumn);
    EXPECT_EQ(sending.raws,
              (Values{"Ann,ann@x\r", "Ben,ben@x\r", "\"Cy\rCoe\",cy@x\r", "Dee,dee@x"}));
    // A record's line counts a CR as a line end: Dee stands on line 7.
    const std::string bad = WriteList("mac-bad.csv", "Name,Email\rAnn,ann@x\r\rDee,none\r");
    SelectListDelimiter(bad.c_str());
    EXPECT_EQ(RunCountingPass(bad).skips,
              (std::vector<SkippedRecord>{{4, ListSkipNotOneAddress, "none"}}));
}

// ---- Lines that are not records ---------------------------------------------------------

using ListSkippingTest = ListReaderTest;

TEST_F(ListSkippingTest, BlankDelimiterOnlyAndCommentLinesAreSkipped) {
    EXPECT_EQ(CommaRecords("skip.txt", "\n,,,\n//note,x\n  \nName\n\r\n//\na\n"),
              (Records{{"  "}, {"Name"}, {"a"}}));
    EXPECT_EQ(CommaRecords("notcomment.txt", " //x\n/\n/x\n"), (Records{{" //x"}, {"/"}, {"/x"}}));
}

TEST_F(ListSkippingTest, ACommentLineInsideAQuotedFieldIsDroppedToo) {
    const std::string path = WriteList("quotedcomment.txt", "\"a\n//c\nb\",x\n");
    EXPECT_EQ(ReadAllRecords(path, 0), (Records{{"a\r\nb", "x"}}));
    ListDelimiter = 0;
    OpenList file(path);
    Record record;
    ASSERT_EQ(ReadListRecord(file.get(), record.get()), 1);
    EXPECT_STREQ(record.get()->raw, "\"a\nb\",x\n");
}

TEST_F(ListSkippingTest, SkippedRecordsAreNeitherCountedNorSent) {
    const std::string path = WriteList("skipped.csv", "Name,Email\nAnn,ann@x\n\nNo,none\n"
                                                      "Short\n,,\nBo,  bo@x\n");
    SelectListDelimiter(path.c_str());
    CountingPass counting = RunCountingPass(path);
    EXPECT_EQ(counting.addresses, (Values{"ann@x", "bo@x"}));
    SendingPass sending = RunSendingPass(path, counting.emailColumn);
    EXPECT_EQ(sending.addresses, counting.addresses);
    EXPECT_EQ(sending.raws, (Values{"Ann,ann@x\n", "Bo,  bo@x\n"}));
}

// ---- The e-mail column and the address ------------------------------------------------------

using ListEmailTest = ListReaderTest;

TEST_F(ListEmailTest, TheFirstHeaderFieldNamingAnAddressHoldsIt) {
    CountingPass pass = Count("e1.txt", "Name,Email\nAnn,a@x\n");
    EXPECT_EQ(pass.emailColumn, 1);
    EXPECT_EQ(pass.addresses, Values{"a@x"});
    EXPECT_EQ(pass.headerRaw, "Name,Email\n");
    EXPECT_EQ(pass.header, (Values{"Name", "Email"}));
    EXPECT_EQ(Count("e2.txt", "Name,E-Mail Address\nAnn,a@x\n").emailColumn, 1);
    EXPECT_EQ(Count("e3.txt", "Primary EMAIL,Name\na@x,Ann\n").emailColumn, 0);
    EXPECT_EQ(Count("e4.txt", "Email,E-Mail\na@x,b@x\n").emailColumn, 0);
}

TEST_F(ListEmailTest, OtherNamesDoNotMatch) {
    CountingPass pass = Count("n1.txt", "Name,E Mail\nAnn,a@x\n");
    EXPECT_EQ(pass.emailColumn, -1);
    EXPECT_TRUE(pass.addresses.empty());
    EXPECT_EQ(Count("n2.txt", "Name,Mail\nAnn,a@x\n").emailColumn, -1);
    // Only the first 255 characters of a name are searched.
    EXPECT_EQ(Count("n3.txt", "Name," + std::string(250, 'x') + "email\nAnn,a@x\n").emailColumn, 1);
    EXPECT_EQ(Count("n4.txt", "Name," + std::string(251, 'x') + "email\nAnn,a@x\n").emailColumn,
              -1);
}

TEST_F(ListEmailTest, ASingleColumnHoldsTheAddressWhateverItsName) {
    CountingPass pass = Count("single.txt", "Whatever\nann@x\nbob@y\n");
    EXPECT_EQ(pass.emailColumn, 0);
    EXPECT_EQ(pass.addresses, (Values{"ann@x", "bob@y"}));
}

TEST_F(ListEmailTest, AnAddressIsCleanedOfBlanksAndItsOnePairOfBrackets) {
    CountingPass pass = Count("clean.txt", "Name\tEmail\n"
                                           "Ann\t  Ann <ann@x> \n"
                                           "Bo\t bo@x\t\"\"\n"
                                           "Cy\tSmith, Cy <cy@x>\n"
                                           "\xC5\x81ukasz\t\xC5\x82ukasz@example.pl\n");
    EXPECT_EQ(pass.addresses, (Values{"ann@x", "bo@x", "cy@x", "\xC5\x82ukasz@example.pl"}));
    // The merge sees the bare address too.
    EXPECT_EQ(pass.records[0], (Values{"Ann", "ann@x"}));
    EXPECT_EQ(pass.records[1],
              (Values{"Bo", " bo@x",
                      ""})); // In a comma-separated list a tab is part of the value, and trimmed.
    EXPECT_TRUE(pass.skips.empty());
    EXPECT_EQ(Count("tabbed-address.csv", "Name,Email\nEd, ed@x\t\n").addresses, Values{"ed@x"});
}

// Each copy goes to one mailbox: a value that names two, or is no mailbox,
// is passed over and told with its line, never handed on as one recipient.
TEST_F(ListEmailTest, AValueThatIsNotOneMailboxIsPassedOverAndTold) {
    CountingPass pass =
        Count("bad-cells.csv", "Name,Email\n"
                               "A,\"a@example.com, b@example.com\"\n"
                               "C,c@example.com; d@example.com\n"
                               "E,\"Eve <eve@example.com>, Fred <fred@example.org>\"\n"
                               "G,g h@example.com\n"
                               "H,\"h@example.com\nBcc: all@example.net\"\n"
                               "I,none\n"
                               "J,Di <di@x\n"
                               "K,<x> ed@y\n"
                               "L,\n"
                               "M\n"
                               "N,@x\n"
                               "O,o@\n"
                               "P,p@@x\n"
                               "Q,q@x\n"
                               "R," +
                                   std::string(250, 'r') + "@example.com\n");
    EXPECT_EQ(pass.addresses, Values{"q@x"});
    const std::vector<SkippedRecord> expected = {
        {2, ListSkipNotOneAddress, "a@example.com, b@example.com"},
        {3, ListSkipNotOneAddress, "c@example.com; d@example.com"},
        {4, ListSkipNotOneAddress, "Eve <eve@example.com>, Fred <fred@example.org>"},
        {5, ListSkipNotOneAddress, "g h@example.com"},
        {6, ListSkipNotOneAddress, "h@example.com\r\nBcc: all@example.net"},
        {8, ListSkipNotOneAddress, "none"},
        {9, ListSkipNotOneAddress, "Di <di@x"},
        {10, ListSkipNotOneAddress, "<x> ed@y"},
        {11, ListSkipNoAddress, ""},
        {12, ListSkipNoAddress, ""},
        {13, ListSkipNotOneAddress, "@x"},
        {14, ListSkipNotOneAddress, "o@"},
        {15, ListSkipNotOneAddress, "p@@x"},
        {17, ListSkipNotOneAddress, std::string(250, 'r') + "@example.com"},
    };
    EXPECT_EQ(pass.skips, expected);
    // The sending pass tells the same records, and sends the same one.
}

// What a web page or a word processor brings along (no-break and other
// spaces, zero-width and direction marks, full-width letters, separators),
// comments and encoded-words make an address that is not the one it looks
// like: passed over and told. Letters of any script are an address's own.
TEST_F(ListEmailTest, AnAddressHoldingWhatNoMailboxHoldsIsPassedOver) {
    const std::vector<std::string> refused = {
        "cid@example.com\xC2\xA0",     // U+00A0 inside the quotes, kept by the trim
        "dee@exa\xE2\x80\x8Bmple.com", // U+200B zero-width space
        std::string("\xEF\xBD\x86") + "ay@example.com", // U+FF46 full-width f
        "lee@exa\xE2\x80\xA8mple.com",                  // U+2028 line separator
        "hal@example.com)(x",
        "hal(comment)@example.com",
        "=?utf-8?q?ann?=@example.com",
        "ann@=?utf-8?b?ZXhhbXBsZQ==?=.com",
        "em\xE2\x80\x83@example.com",                    // U+2003 em space
        "ide\xE3\x80\x80@example.com",                   // U+3000 ideographic space
        std::string("\xE2\x80\xAE") + "moc.elpmaxe@ann", // U+202E right-to-left override
        "wj\xE2\x81\xA0@example.com",                    // U+2060 word joiner
        std::string("\xEF\xBB\xBF") + "bom@example.com", // U+FEFF
        "nel\xC2\x85@example.com",                       // U+0085, a C1 control
        "hw@example.\xEF\xBD\xB1",                       // U+FF71 half-width katakana
        "soft\xC2\xADhyphen@example.com",                // U+00AD
    };
    const std::vector<std::string> accepted = {
        std::string("j\xC3\xBCrgen@b\xC3\xBC") + "cher.example", // UTF-8 local part, U-label domain
        "info@xn--bcher-kva.example",
        "\xE7\x94\xA8\xE6\x88\xB7@\xE4\xBE\x8B\xE5\xAD\x90.\xE5\x85\xAC\xE5\x8F\xB8",
        "what?@example.com",
        "a=b@example.com",
    };
    std::string text = "Name,Email\n";
    for (const std::string& address : refused)
        text += "X,\"" + address + "\"\n";
    for (const std::string& address : accepted)
        text += "Y,\"" + address + "\"\n";
    CountingPass pass = Count("foreign.csv", text);
    EXPECT_EQ(pass.addresses, accepted);
    ASSERT_EQ(pass.skips.size(), refused.size());
    for (size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(pass.skips[i].line, static_cast<long>(i + 2)) << refused[i];
        EXPECT_EQ(pass.skips[i].reason, ListSkipNotOneAddress) << refused[i];
        EXPECT_EQ(pass.skips[i].value, refused[i]);
    }
    // The same rules for a value taken on its own (a Cc column's).
    char address[kListAddressSize];
    for (const std::string& value : refused) {
        std::string copy = value;
        EXPECT_EQ(TakeListAddress(copy.data(), address), ListSkipNotOneAddress) << value;
    }
    std::string broken = "bad\xFC@example.com"; // not UTF-8 (in a list it stops the reading)
    EXPECT_EQ(TakeListAddress(broken.data(), address), ListSkipNotOneAddress);
    std::string named = "Cid <cid@example.com\xC2\xA0>";
    EXPECT_EQ(TakeListAddress(named.data(), address), ListSkipNotOneAddress);
}

TEST_F(ListEmailTest, AnAddressThatDoesNotFitIsNeverCut) {
    const std::string fits = std::string(243, 'a') + "@example.com"; // 255 bytes
    EXPECT_EQ(Count("fits.txt", "Email\n" + fits + "\n").addresses, Values{fits});
    // Cut to 255 bytes it would be somebody else's address.
    CountingPass pass = Count("long.txt", "Email\n" + std::string(244, 'a') + "@example.com\n");
    EXPECT_TRUE(pass.addresses.empty());
    ASSERT_EQ(pass.skips.size(), 1u);
    EXPECT_EQ(pass.skips[0].reason, ListSkipNotOneAddress);
}

TEST_F(ListEmailTest, TheSendingPassTellsTheSameRecordsAsTheCountingPass) {
    const std::string path = WriteList("both-passes.csv", "Name,Email\n// note\nA,a@x\n\nB,none\n"
                                                          "\"C\nD\",\nE,e@x\n");
    SelectListDelimiter(path.c_str());
    CountingPass counting = RunCountingPass(path);
    SendingPass sending = RunSendingPass(path, counting.emailColumn);
    EXPECT_EQ(sending.addresses, (Values{"a@x", "e@x"}));
    EXPECT_EQ(counting.skips, sending.skips);
    EXPECT_EQ(sending.skips, (std::vector<SkippedRecord>{{5, ListSkipNotOneAddress, "none"},
                                                         {6, ListSkipNoAddress, ""}}));
}

TEST_F(ListEmailTest, AddressColumnsAreEveryFieldNamedForOne) {
    Record header{"Email Opt-In", "Name", "Email Address", "E-MAIL 2"};
    int columns[8];
    ASSERT_EQ(AddressColumns(header.get(), columns, 8), 3);
    EXPECT_EQ(columns[0], 0);
    EXPECT_EQ(columns[1], 2);
    EXPECT_EQ(columns[2], 3);
    EXPECT_EQ(AddressColumns(header.get(), columns, 1), 1) << "at most the room given";
    Record single{"Whatever"};
    ASSERT_EQ(AddressColumns(single.get(), columns, 8), 1);
    EXPECT_EQ(columns[0], 0);
    Record none{"Name", "Mail"};
    EXPECT_EQ(AddressColumns(none.get(), columns, 8), 0);
}

// ---- The raw-text limit and passes that stop early --------------------------------------------

using ListLimitTest = ListReaderTest;

std::string LineOf(size_t rawLength, const std::string& address) {
    // Name,address padded so that the line with its LF has rawLength bytes.
    return std::string(rawLength - address.size() - 2, 'n') + "," + address + "\n";
}

TEST_F(ListLimitTest, ARecordOf511RawBytesIsRead) {
    CountingPass pass = Count("r511.txt", "Name,Email\n" + LineOf(511, "a@x") + "b,b@x\n");
    EXPECT_EQ(pass.addresses, (Values{"a@x", "b@x"}));
    EXPECT_EQ(pass.stop, ListStopNone);
    EXPECT_EQ(pass.stopLine, 0);
}

TEST_F(ListLimitTest, ARecordOf512RawBytesStopsBothPassesAtItsLine) {
    const std::string path =
        WriteList("r512.txt", "Name,Email\n//comment\nz,z@x\n" + LineOf(512, "a@x") + "b,b@x\n");
    SelectListDelimiter(path.c_str());
    CountingPass counting = RunCountingPass(path);
    EXPECT_EQ(counting.addresses, Values{"z@x"});
    EXPECT_EQ(counting.stop, ListStopTooLong);
    EXPECT_EQ(counting.stopLine, 4);
    SendingPass sending = RunSendingPass(path, counting.emailColumn);
    EXPECT_EQ(sending.addresses, Values{"z@x"});
    EXPECT_EQ(sending.stop, ListStopTooLong);
    EXPECT_EQ(sending.stopLine, 4);
}

// The stop names the line where the record starts, not the one of its lines
// that takes it to 512: a user who opens the file there finds the record.
TEST_F(ListLimitTest, AQuotedRecordThatReaches512StopsAtTheLineWhereItStarts) {
    const std::string path =
        WriteList("r512q.txt", "Name,Email\n//comment\nz,z@x\n\"" + std::string(300, 'q') +
                                   "\n// a comment, even in quotes\n" + std::string(200, 'q') +
                                   "\n" + std::string(20, 'q') + "\",a@x\nb,b@x\n");
    SelectListDelimiter(path.c_str());
    CountingPass counting = RunCountingPass(path);
    EXPECT_EQ(counting.addresses, Values{"z@x"});
    EXPECT_EQ(counting.stop, ListStopTooLong);
    EXPECT_EQ(counting.stopLine, 4);
    SendingPass sending = RunSendingPass(path, counting.emailColumn);
    EXPECT_EQ(sending.stop, ListStopTooLong);
    EXPECT_EQ(sending.stopLine, 4);
    // A comment line before the record's first line is not the record's.
    CountingPass afterComment =
        Count("r512c.txt", "Name,Email\n//comment\n\"" + std::string(300, 'q') + "\n" +
                               std::string(220, 'q') + "\",a@x\n");
    EXPECT_EQ(afterComment.stop, ListStopTooLong);
    EXPECT_EQ(afterComment.stopLine, 3);
}

TEST_F(ListLimitTest, AHeaderOf512RawBytesLeavesNoEmailColumn) {
    CountingPass pass = Count("h512.txt", LineOf(512, "Email") + "a,a@x\n");
    EXPECT_EQ(pass.emailColumn, -1);
    EXPECT_EQ(pass.stop, ListStopTooLong);
    EXPECT_EQ(pass.stopLine, 1);
}

TEST_F(ListLimitTest, AnEmptyFileEndsCleanly) {
    CountingPass pass = Count("empty.csv", "");
    EXPECT_EQ(pass.emailColumn, -1);
    EXPECT_EQ(pass.stop, ListStopNone);
}

TEST_F(ListLimitTest, TheLimitCountsLinesAsTextModeDeliversThem) {
    // 510 characters and CR LF on disk: 511 bytes with its LF.
    const std::string line = std::string(506, 'n') + ",a@x";
    CountingPass pass = Count("crlf511.txt", "Name,Email\r\n" + line + "\r\n");
    EXPECT_EQ(pass.addresses, Values{"a@x"});
    EXPECT_EQ(pass.stop, ListStopNone);
}

// ---- Text mode and byte-order marks ------------------------------------------------------------

using ListEncodingTest = ListReaderTest;

TEST_F(ListEncodingTest, LfAndCrLfFilesReadTheSame) {
    const std::string lf = "Name,Email\n\"Lee,\nAnn\",ann@x\nBo,bo@x\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string lfPath = WriteList("same-lf.csv", lf);
    const std::string crlfPath = WriteList("same-crlf.csv", crlf);
    ListDelimiter = 0;
    CountingPass a = RunCountingPass(lfPath);
    CountingPass b = RunCountingPass(crlfPath);
    EXPECT_EQ(a.records, b.records);
    EXPECT_EQ(a.records[0], (Values{"Lee,\r\nAnn", "ann@x"}));
    SendingPass sa = RunSendingPass(lfPath, a.emailColumn);
    SendingPass sb = RunSendingPass(crlfPath, b.emailColumn);
    EXPECT_EQ(sa.raws, sb.raws);
    EXPECT_EQ(sb.raws[0], "\"Lee,\nAnn\",ann@x\n");
}

TEST_F(ListEncodingTest, AUtf8MarkIsNotPartOfTheFirstFieldName) {
    CountingPass pass =
        Count("bom8.csv", "\xEF\xBB\xBF"
                          "E-Mail,Name\r\nann@x,Ren\xC3\xA9\r\nbo@x,\xE4\xB8\xAD\r\n");
    EXPECT_EQ(pass.header, (Values{"E-Mail", "Name"}));
    EXPECT_EQ(pass.emailColumn, 0);
    EXPECT_EQ(pass.records, (Records{{"ann@x", "Ren\xC3\xA9"}, {"bo@x", "\xE4\xB8\xAD"}}));
}

// Every encoding a list may come in gives the same records, in UTF-8; the
// raw texts (the sent list) are UTF-8 as well.
TEST_F(ListEncodingTest, EveryEncodingGivesTheSameUtf8Records) {
    const std::u16string text = u"Name;E-Mail\r\n\u0141ukasz;\u0142ukasz@example.pl\r\n"
                                u"\u0391\u03BB\u03AD\u03BE\u03B1\u03BD\u03B4\u03C1\u03BF\u03C2;"
                                u"alex@example.gr\r\n\u5F20\u4F1F;zhang@example.cn\r\n"
                                u"\U0001F600 Smile;smile@example.com\r\n";
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | c >> 18);
            utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    const Records expected = {
        {"\xC5\x81ukasz", "\xC5\x82ukasz@example.pl"},
        {"\xCE\x91\xCE\xBB\xCE\xAD\xCE\xBE\xCE\xB1\xCE\xBD\xCE\xB4\xCF\x81\xCE\xBF\xCF\x82",
         "alex@example.gr"},
        {"\xE5\xBC\xA0\xE4\xBC\x9F", "zhang@example.cn"},
        {"\xF0\x9F\x98\x80 Smile", "smile@example.com"}};
    for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8, Utf16File(text)}) {
        const std::string path = WriteList("every.csv", bytes);
        SelectListDelimiter(path.c_str());
        EXPECT_EQ(ListDelimiter, kListSemicolon);
        CountingPass pass = RunCountingPass(path);
        EXPECT_EQ(pass.records, expected);
        SendingPass sending = RunSendingPass(path, pass.emailColumn);
        ASSERT_EQ(sending.raws.size(), 4u);
        EXPECT_EQ(sending.raws[2], "\xE5\xBC\xA0\xE4\xBC\x9F;zhang@example.cn\n");
    }
}

// The record limit counts the file's own encoding, never the UTF-8 its text
// grows to: bytes of a UTF-8 file (150 two-byte characters and 206 more make
// 506, and with ",a@x" and the LF a record of 511), bytes of an ANSI one and
// UTF-16 code units of a UTF-16 one (506 accented letters, 1012 bytes as
// UTF-8, and ",a@x" and the LF: 511).
TEST_F(ListEncodingTest, TheRawLimitCountsTheFilesOwnEncoding) {
    std::string name8;
    for (int i = 0; i < 150; ++i)
        name8 += "\xC3\xA9";
    name8 += std::string(206, 'e');
    std::string accented;
    for (int i = 0; i < 506; ++i)
        accented += "\xC3\xA9";
    std::string faces; // 253 characters beyond U+FFFF: 506 units
    std::u16string faces16;
    for (int i = 0; i < 253; ++i) {
        faces += "\xF0\x9F\x98\x80";
        faces16 += u"\U0001F600";
    }
    const struct {
        std::string file, name;
    } fitting[] = {
        {"\xEF\xBB\xBFName,Email\n" + name8 + ",a@x\n", name8},
        {"Name,Email\n" + name8 + ",a@x\n", name8},
        {"Name,Email\n" + std::string(506, '\xE9') + ",a@x\n", accented},
        {Utf16File(u"Name,Email\r\n" + std::u16string(506, u'\u00E9') + u",a@x\r\n"), accented},
        {Utf16File(u"Name,Email\r\n" + faces16 + u",a@x\r\n"), faces},
    };
    for (const auto& c : fitting) {
        CountingPass fits = Count("conv-fits.csv", c.file);
        EXPECT_EQ(fits.addresses, Values{"a@x"});
        ASSERT_EQ(fits.records.size(), 1u);
        EXPECT_EQ(fits.records[0][0], c.name);
        EXPECT_EQ(fits.stop, ListStopNone);
    }
    // One unit more: 512, and the record is refused whole, never cut inside
    // a character.
    for (const std::string& file :
         {"\xEF\xBB\xBFName,Email\n" + name8 + "\xC3\xA9,a@x\n", "Name,Email\n" + name8 + "e,a@x\n",
          "Name,Email\n" + std::string(507, '\xE9') + ",a@x\n",
          Utf16File(u"Name,Email\r\n" + std::u16string(507, u'\u00E9') + u",a@x\r\n"),
          Utf16File(u"Name,Email\r\n" + faces16 + u"e,a@x\r\n")}) {
        CountingPass stops = Count("conv-stops.csv", file);
        EXPECT_EQ(stops.stop, ListStopTooLong);
        EXPECT_EQ(stops.stopLine, 2);
    }
}

// The sent list holds, as UTF-8, records of lists of any encoding: read as
// the library's own copy, a record of 506 accented letters is read whole,
// which counted in bytes it would not be.
TEST_F(ListEncodingTest, TheLibrarysOwnCopyCountsCharacters) {
    std::string accented;
    for (int i = 0; i < 506; ++i)
        accented += "\xC3\xA9";
    const std::string path = WriteList("copy.txt", "Name,Email\n" + accented + ",a@x\n");
    ListDelimiter = kListComma;
    for (bool copy : {true, false}) {
        ListFile* file = OpenListFile(path.c_str());
        ASSERT_NE(file, nullptr);
        if (copy)
            CountListInCharacters(file);
        ListRecord record;
        EXPECT_EQ(ReadListRecord(file, &record), 1);
        EXPECT_EQ(ReadListRecord(file, &record), copy ? 1 : 0);
        EXPECT_EQ(ListFileStopReason(file), copy ? ListStopNone : ListStopTooLong);
        FreeListRecord(&record);
        CloseListFile(file);
    }
}

} // namespace
