// OpenDocument spreadsheets: one written by odfpy (tests/workbook/make-workbooks)
// read table by table as the spreadsheet shows it, delivered to the list
// reader as a workbook's sheet is; and documents a stranger could send,
// refused in bounded memory and time with what is wrong.
#include "test_support.h"
#include "zip_builder.h"

#include "data/list_file.h"
#include "data/ods_sheet.h"
#include "data/workbook_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Values = std::vector<std::string>;

struct Row {
    long number;
    bool hidden;
    Values values;
};

class OdsTest : public PlatformTest {
protected:
    void TearDown() override {
        WorkbookChoice = WorkbookListChoice();
        PlatformTest::TearDown();
    }
    // The rows of a table, and the problem that ended them ("" at the end).
    static std::vector<Row> Rows(const OdsDocument& document, int sheet, std::string* problem) {
        std::vector<Row> out;
        OdsRows rows;
        if (!rows.Open(document, sheet)) {
            *problem = rows.problem();
            return out;
        }
        Row row;
        while ((row.number = rows.Next(&row.values, &row.hidden)) > 0)
            out.push_back(row);
        *problem = row.number < 0 ? rows.problem() : "";
        EXPECT_TRUE(rows.formatNotes().empty());
        return out;
    }
    // A document of this content.xml, and the problem reading its first table gives.
    static std::string ContentProblem(const std::string& content,
                                      std::vector<Row>* rows = nullptr) {
        ZipBuilder zip;
        zip.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet", false);
        zip.Add("content.xml", content);
        const std::string bytes = zip.Build();
        OdsDocument document;
        if (!document.OpenBytes(bytes.data(), bytes.size()))
            return document.problem();
        std::string problem;
        std::vector<Row> read = Rows(document, document.FirstVisibleSheet(), &problem);
        if (rows)
            *rows = read;
        return problem;
    }
};

std::string Content(const std::string& tables) {
    return "<?xml version=\"1.0\"?><office:document-content "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
           "<office:spreadsheet>" +
           tables + "</office:spreadsheet></office:body></office:document-content>";
}

TEST_F(OdsTest, ATableWrittenByOdfpyReadsAsTheSpreadsheetShowsIt) {
    OdsDocument document;
    ASSERT_TRUE(document.Open((std::string(QV_TEST_WORKBOOKS) + "people.ods").c_str()))
        << document.problem();
    ASSERT_EQ(document.sheets().size(), 3u);
    EXPECT_EQ(document.sheets()[0].name, "Old");
    EXPECT_FALSE(document.sheets()[0].visible); // its style hides the table
    EXPECT_TRUE(document.sheets()[1].visible && document.sheets()[2].visible);
    EXPECT_EQ(document.sheets()[2].name, "Tercera");
    EXPECT_EQ(document.FirstVisibleSheet(), 1);

    std::string problem;
    const std::vector<Row> rows = Rows(document, 1, &problem);
    EXPECT_EQ(problem, "");
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0].number, 2); // the empty first row holds nothing
    EXPECT_EQ(rows[0].values,
              (Values{"Name", "E-Mail", "Born", "Amount", "Share", "Member", "", "", "City"}));
    // Numbers, dates and truth values as they are shown, not as stored.
    EXPECT_EQ(rows[1].values, (Values{"Ann Lee", "ann@example.com", "01/02/1990", "1,234.50",
                                      "12.5%", "TRUE", "", "", "Z\xC3\xBCrich"}));
    EXPECT_EQ(rows[2].values[0], "Bo  Jr."); // text:s c="2"
    EXPECT_EQ(rows[2].values[8], "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1");
    EXPECT_TRUE(rows[3].hidden && rows[4].hidden); // collapsed, filtered out
    EXPECT_EQ(rows[3].number, 5);
    EXPECT_EQ(rows[4].number, 6);
    EXPECT_FALSE(rows[2].hidden || rows[5].hidden);
    // A note is not the cell's text; a number written without its text is its value.
    EXPECT_EQ(rows[5].values[0], "Cy");
    EXPECT_EQ(rows[5].values[4], "42");
    EXPECT_EQ(rows[5].values[8], "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80");
    // A repeated row is each of its rows; the empty ones after it count.
    EXPECT_EQ(rows[6].number, 8);
    EXPECT_EQ(rows[7].number, 9);
    EXPECT_EQ(rows[7].values, (Values{"Twin", "twin@example.com"}));
    // The merged area's value is its first cell's; the covered one gives nothing.
    EXPECT_EQ(rows[8].number, 13);
    EXPECT_EQ(rows[8].values, (Values{"Merged over two", "", "last@example.com"}));

    const std::vector<Row> third = Rows(document, 2, &problem);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[1].values, Values{"third@example.com"});
}

TEST_F(OdsTest, TheListReaderTakesItsSheetAsItTakesAWorkbooks) {
    const std::string path = std::string(QV_TEST_WORKBOOKS) + "people.ods";
    EXPECT_TRUE(IsWorkbookPath("C:\\Lists\\People.ODS"));
    ListFile* file = OpenListFile(path.c_str());
    ASSERT_NE(file, nullptr);
    std::vector<std::pair<long, std::string>> lines;
    const char* line;
    size_t length;
    while (ReadListLine(file, &line, &length))
        if (length > 1)
            lines.emplace_back(ListFileLineNumber(file), std::string(line, length));
    EXPECT_EQ(ListFileStopReason(file), ListStopNone);
    ASSERT_EQ(lines.size(), 7u); // the two hidden rows left out
    EXPECT_EQ(lines[1],
              std::make_pair(3L, std::string("Ann Lee,ann@example.com,01/02/1990,"
                                             "\"1,234.50\",12.5%,TRUE,,,Z\xC3\xBCrich\n")));
    EXPECT_EQ(lines[3].first, 7L);
    EXPECT_EQ(WorkbookTextHiddenRows(ListFileWorkbook(file)), 2);
    WorkbookListFacts facts;
    ASSERT_TRUE(TakeWorkbookFacts(ListFileWorkbook(file), &facts));
    EXPECT_EQ(facts.sheet, 1);
    EXPECT_EQ(facts.sheets.size(), 3u);
    EXPECT_FALSE(facts.sheets[0].visible);
    CloseListFile(file);
}

TEST_F(OdsTest, RepeatsAreCountedNotStoredAndAHostileOneIsRefused) {
    // A million empty cells in each of a million rows: counted, nothing held.
    std::vector<Row> rows;
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row>"
                                     "<table:table-cell><text:p>E-Mail</text:p></table:table-cell>"
                                     "</table:table-row><table:table-row "
                                     "table:number-rows-repeated=\"2000000000\"><table:table-cell "
                                     "table:number-columns-repeated=\"2000000000\"/>"
                                     "</table:table-row></table:table>"),
                             &rows),
              "");
    ASSERT_EQ(rows.size(), 1u);
    // A value repeated across a row stops at the sheet's last column.
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row>"
                                     "<table:table-cell table:number-columns-repeated=\"100000\">"
                                     "<text:p>x</text:p></table:table-cell></table:table-row>"
                                     "</table:table>")),
              "its sheet breaks its schema at row 1");
    // A row that holds something, repeated past the sheet's last row.
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row "
                                     "table:number-rows-repeated=\"2000000\"><table:table-cell>"
                                     "<text:p>x</text:p></table:table-cell></table:table-row>"
                                     "</table:table>")),
              "its sheet breaks its schema at row 1");
    // Too many bytes in one row however they are repeated.
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row>"
                                     "<table:table-cell table:number-columns-repeated=\"16000\">"
                                     "<text:p>" +
                                     std::string(100, 'y') +
                                     "</text:p></table:table-cell></table:table-row>"
                                     "</table:table>")),
              "its sheet breaks its schema at row 1");
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row "
                                     "table:number-rows-repeated=\"-3\"/></table:table>")),
              "its sheet breaks its schema at row 1");
}

// A few hundred bytes of content.xml: a hidden row of 16,384 cells repeated
// to the sheet's end. Left out, it is counted at once; copied row by row it
// kept the counting pass busy for 23 s (each pass of every mailing).
TEST_F(OdsTest, AHiddenRowRepeatedToTheSheetsEndIsCountedAtOnce) {
    ZipBuilder zip;
    zip.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet", false);
    zip.Add("content.xml",
            Content("<table:table table:name=\"A\"><table:table-row><table:table-cell>"
                    "<text:p>E-Mail</text:p></table:table-cell></table:table-row>"
                    "<table:table-row><table:table-cell><text:p>ann@example.com</text:p>"
                    "</table:table-cell></table:table-row><table:table-row "
                    "table:visibility=\"collapse\" table:number-rows-repeated=\"1048574\">"
                    "<table:table-cell table:number-columns-repeated=\"16384\"><text:p>x</text:p>"
                    "</table:table-cell></table:table-row></table:table>"));
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "bomb.ods";
    WriteFileBytes(path, zip.Build());
    ListFile* file = OpenListFile(path.c_str());
    ASSERT_NE(file, nullptr);
    std::vector<std::string> lines;
    const char* line;
    size_t length;
    while (ReadListLine(file, &line, &length))
        lines.emplace_back(line, length);
    EXPECT_EQ(ListFileStopReason(file), ListStopNone);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "ann@example.com\n");
    EXPECT_EQ(WorkbookTextHiddenRows(ListFileWorkbook(file)), 1048574);
    CloseListFile(file);
}

TEST_F(OdsTest, ADocumentThatIsNoSpreadsheetOrBreaksItsXmlIsRefusedWithWhatIsWrong) {
    // A document type declaration and its entities are never processed.
    std::string declared = Content("<table:table table:name=\"A\"/>");
    declared.insert(21, "<!DOCTYPE d [<!ENTITY e \"boom\">]>");
    EXPECT_EQ(ContentProblem(declared).rfind("its content could not be read: its XML is broken", 0),
              0u);
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row>"
                                     "<table:table-cell><text:p>&e;</text:p></table:table-cell>"
                                     "</table:table-row></table:table>"))
                  .rfind("its content could not be read: its XML is broken", 0),
              0u);
    // Cut short inside the table, the reading stops: nothing of it is trusted.
    const std::string whole = Content("<table:table table:name=\"A\"><table:table-row>"
                                      "<table:table-cell><text:p>a@b.c</text:p>"
                                      "</table:table-cell></table:table-row></table:table>");
    EXPECT_EQ(ContentProblem(whole.substr(0, whole.size() - 60))
                  .rfind("its content could not be read", 0),
              0u);
    EXPECT_EQ(ContentProblem(Content("")), "it holds no sheet");
    // A table inside a cell is that cell's content, not a sheet.
    std::vector<Row> rows;
    EXPECT_EQ(ContentProblem(Content("<table:table table:name=\"A\"><table:table-row>"
                                     "<table:table-cell><table:table table:name=\"In\">"
                                     "<table:table-row><table:table-cell><text:p>in</text:p>"
                                     "</table:table-cell></table:table-row></table:table>"
                                     "<text:p>out@example.com</text:p></table:table-cell>"
                                     "</table:table-row></table:table>"),
                             &rows),
              "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].values, Values{"out@example.com"});

    ZipBuilder text;
    text.Add("mimetype", "application/vnd.oasis.opendocument.text", false);
    text.Add("content.xml", Content(""));
    const std::string textBytes = text.Build();
    OdsDocument document;
    EXPECT_FALSE(document.OpenBytes(textBytes.data(), textBytes.size()));
    EXPECT_EQ(document.problem(),
              "it is not a spreadsheet (it holds \"application/vnd.oasis.opendocument.text\")");

    ZipBuilder locked;
    locked.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet", false);
    locked.Add("META-INF/manifest.xml",
               "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:"
               "manifest:1.0\"><manifest:file-entry manifest:full-path=\"content.xml\">"
               "<manifest:encryption-data/></manifest:file-entry></manifest:manifest>");
    locked.Add("content.xml", std::string(64, '\x9C'));
    const std::string lockedBytes = locked.Build();
    OdsDocument encrypted;
    EXPECT_FALSE(encrypted.OpenBytes(lockedBytes.data(), lockedBytes.size()));
    EXPECT_EQ(encrypted.problem(), "it is encrypted (protected with a password)");
}

} // namespace
