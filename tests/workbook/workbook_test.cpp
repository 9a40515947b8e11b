// Workbooks written by openpyxl and laid out as Excel writes them
// (tests/workbook/make-workbooks, run by the build), read row by row as the
// spreadsheet shows them; and workbooks broken in each way a stranger's
// could be, refused with what is wrong.
#include "test_support.h"
#include "zip_builder.h"

#include "data/workbook.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using WorkbookTest = PlatformTest;

std::string Path(const char* name) {
    return std::string(QV_TEST_WORKBOOKS) + name;
}

struct Row {
    long number;
    bool hidden;
    std::vector<std::string> values;
};

std::vector<Row> Rows(const Workbook& workbook, int sheet, WorkbookRows* rows) {
    std::vector<Row> out;
    EXPECT_TRUE(rows->Open(workbook, sheet)) << rows->problem();
    Row row;
    while ((row.number = rows->Next(&row.values, &row.hidden)) > 0)
        out.push_back(row);
    EXPECT_EQ(row.number, 0) << rows->problem();
    return out;
}

using Values = std::vector<std::string>;

TEST_F(WorkbookTest, ASheetWrittenByOpenpyxlReadsAsItShows) {
    Workbook workbook;
    ASSERT_TRUE(workbook.Open(Path("people.xlsx").c_str())) << workbook.problem();
    ASSERT_EQ(workbook.sheets().size(), 3u);
    EXPECT_EQ(workbook.sheets()[0].name, "Old list");
    EXPECT_EQ(workbook.sheets()[2].name, "M\xC3\xA1s");
    EXPECT_FALSE(workbook.sheets()[0].visible);
    EXPECT_EQ(workbook.FirstVisibleSheet(), 1);
    EXPECT_FALSE(workbook.date1904());
    WorkbookRows reader;
    const std::vector<Row> rows = Rows(workbook, 1, &reader);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].number, 2); // the empty first row holds nothing
    EXPECT_EQ(rows[0].values,
              (Values{"Name", "E-Mail", "Joined", "Share", "Amount", "Code", "Twice", "City"}));
    EXPECT_EQ(rows[1].values, (Values{"Ann Lee", "ann@example.com", "2025-01-01 0:00", "12.5%",
                                      "1,234,567.89", "00042", "2469135.782", "Z\xC3\xBCrich"}));
    EXPECT_EQ(rows[2].values,
              (Values{"Bo, Jr.", "bo@example.com", "2024-02-29 18:30", "100.0%", "-5.00", "007",
                      "-10", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"}));
    // Hidden by hand and by the filter: told, not dropped, by the reader.
    EXPECT_EQ(rows[3].number, 5);
    EXPECT_TRUE(rows[3].hidden);
    EXPECT_FALSE(rows[4].hidden);
    EXPECT_EQ(rows[4].values, (Values{"Cy \"Q\"", "cy@example.com", "", "", "0", "x", "0",
                                      "\xE6\x9D\xB1\xE4\xBA\xAC"}));
    EXPECT_EQ(rows[5].number, 7);
    EXPECT_TRUE(rows[5].hidden);
    EXPECT_EQ(rows[6].values.back(), "\xE0\xA4\xA6\xE0\xA4\xBF\xE0\xA4\xB2\xE0\xA5\x8D\xE0\xA4\xB2"
                                     "\xE0\xA5\x80 \xF0\x9F\x98\x80");
    // A merged area's value is its first cell's alone.
    EXPECT_EQ(rows[7].number, 10);
    EXPECT_EQ(rows[7].values, (Values{"Merged over two", "", "", "", "", "", "", "x"}));
    // The conditional format is shown in the General form and named: column E, row 6.
    ASSERT_EQ(reader.formatNotes().size(), 1u);
    EXPECT_EQ(reader.formatNotes()[0].column, 4);
    EXPECT_EQ(reader.formatNotes()[0].row, 6);
    const std::vector<Row> old = Rows(workbook, 0, &reader);
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(old[1].values, (Values{"Old", "old@example.com"}));
}

TEST_F(WorkbookTest, DatesOfTheNineteenOFourSystem) {
    Workbook workbook;
    ASSERT_TRUE(workbook.Open(Path("mac-dates.xlsx").c_str())) << workbook.problem();
    EXPECT_TRUE(workbook.date1904());
    WorkbookRows reader;
    const std::vector<Row> rows = Rows(workbook, 0, &reader);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].values, (Values{"a@example.com", "01.01.1904", "9:05:07 AM"}));
    EXPECT_EQ(rows[2].values, (Values{"b@example.com", "31 December 2025", "23:59"}));
}

TEST_F(WorkbookTest, DatesWrittenAsIsoTextShowInTheirCellsFormat) {
    Workbook workbook;
    ASSERT_TRUE(workbook.Open(Path("iso-dates.xlsx").c_str())) << workbook.problem();
    WorkbookRows reader;
    const std::vector<Row> rows = Rows(workbook, 0, &reader);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1].values, (Values{"iso0@example.com", "Thursday, 1 March 1900",
                                      "29.02.24 18:30:05", "12:00 AM", "1"}));
    EXPECT_EQ(rows[2].values, (Values{"iso1@example.com", "Wednesday, 31 December 2025",
                                      "31.12.99 23:59:59", "1:05 PM", "59"}));
    EXPECT_EQ(rows[3].values, (Values{"iso2@example.com", "Tuesday, 29 February 2000",
                                      "01.01.00 00:00:00", "11:59 PM", "61"}));
    // Under General a date shows its serial number, as a number cell's would.
    EXPECT_EQ(rows[4].values, (Values{"iso3@example.com", "Friday, 15 March 2024",
                                      "15.03.24 00:00:00", "12:00 PM", "45366.5"}));
    EXPECT_TRUE(reader.formatNotes().empty());
}

TEST_F(WorkbookTest, SharedStringsRichTextTypesAndSheetsAsExcelWritesThem) {
    Workbook workbook;
    ASSERT_TRUE(workbook.Open(Path("shared-strings.xlsx").c_str())) << workbook.problem();
    ASSERT_EQ(workbook.sheets().size(), 3u);
    EXPECT_FALSE(workbook.sheets()[0].visible); // a chart sheet is never a list
    EXPECT_EQ(workbook.FirstVisibleSheet(), 1);
    EXPECT_EQ(workbook.sheets()[2].part, "xl/worksheets/sheet2.xml");
    WorkbookRows reader;
    const std::vector<Row> rows = Rows(workbook, 1, &reader);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].values,
              (Values{"Ann", "ann@example.com", "Bold and plain", "No. 007", "TRUE"}));
    // Phonetic guides are no part of the text; a formula shows its result.
    EXPECT_EQ(rows[2].values,
              (Values{"Bob", "bob@example.com", "\xE6\x9D\xB1\xE4\xBA\xAC", "ab", "#N/A"}));
    EXPECT_EQ(rows[3].values, (Values{"line\r\nbreak", "inline@example.com", "", "01-01-25"}));
    EXPECT_TRUE(reader.formatNotes().empty());
    const std::vector<Row> second = Rows(workbook, 2, &reader);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1].number, 2); // rows and cells without references follow on
    EXPECT_EQ(second[1].values, (Values{"second@example.com"}));
}

// A package of the minimal parts, with the sheet given.
std::string MinimalWorkbook(const std::string& sheet, const std::string& strings = "",
                            const std::string& workbookXml = "") {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    ZipBuilder zip;
    zip.Add("_rels/.rels", "<Relationships><Relationship Id=\"r\" Type=\"" + rel +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.Add("xl/workbook.xml", workbookXml.empty()
                                   ? "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                                         "\"><sheets><sheet name=\"S\" sheetId=\"1\" "
                                         "r:id=\"rId1\"/></sheets></workbook>"
                                   : workbookXml);
    zip.Add("xl/_rels/workbook.xml.rels",
            "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
                "Type=\"" +
                rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
    if (!strings.empty())
        zip.Add("xl/sharedStrings.xml", strings);
    if (!sheet.empty())
        zip.Add("xl/worksheets/sheet1.xml", sheet);
    return zip.Build();
}

// The problem reading the workbook gave: at its opening or at a row.
std::string Problem(const std::string& bytes) {
    Workbook workbook;
    if (!workbook.OpenBytes(bytes.data(), bytes.size()))
        return workbook.problem();
    WorkbookRows rows;
    if (!rows.Open(workbook, 0))
        return rows.problem();
    std::vector<std::string> values;
    bool hidden;
    long got;
    while ((got = rows.Next(&values, &hidden)) > 0) {
    }
    return got == 0 ? "" : rows.problem();
}

// A library computes no formulas: openpyxl leaves their results out,
// XlsxWriter writes 0; both ask the spreadsheet program to compute the
// workbook when it opens it. The cells are read as they are, and named.
TEST_F(WorkbookTest, FormulasTheWorkbookHoldsNoResultOfAreNamed) {
    Workbook workbook;
    ASSERT_TRUE(workbook.Open(Path("uncomputed.xlsx").c_str())) << workbook.problem();
    EXPECT_TRUE(workbook.computeOnLoad());
    WorkbookRows reader;
    std::vector<Row> rows = Rows(workbook, 0, &reader);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].values, (Values{"Ann", "ann@example.com", "", "plain"}));
    ASSERT_EQ(reader.uncomputedNotes().size(), 2u);
    EXPECT_EQ(reader.uncomputedNotes()[0].column, 2);
    EXPECT_EQ(reader.uncomputedNotes()[0].row, 2);
    EXPECT_EQ(reader.uncomputedNotes()[1].column, 3);
    EXPECT_EQ(reader.uncomputedNotes()[1].row, 3);
    EXPECT_TRUE(reader.formatNotes().empty());

    const std::string cells = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><f>2+3</f><v>0</v>"
                              "</c><c r=\"B1\" t=\"str\"><f>\"\"</f><v></v></c></row></sheetData>"
                              "</worksheet>";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    for (const bool computeOnLoad : {true, false}) {
        SCOPED_TRACE(computeOnLoad);
        const std::string bytes = MinimalWorkbook(
            cells, "<sst/>",
            "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
                "<calcPr calcId=\"124519\"" +
                (computeOnLoad ? " fullCalcOnLoad=\"1\"" : "") + "/></workbook>");
        Workbook written;
        ASSERT_TRUE(written.OpenBytes(bytes.data(), bytes.size())) << written.problem();
        rows = Rows(written, 0, &reader);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].values, Values{"0"});
        // Saved by a spreadsheet program, 0 is the result and "" one a
        // formula may give: nothing to tell.
        ASSERT_EQ(reader.uncomputedNotes().size(), computeOnLoad ? 2u : 0u);
    }
}

TEST_F(WorkbookTest, AnIsoDateThatCannotBeReadKeepsItsTextAndIsNamed) {
    const char* const cells[][2] = {
        {"2024-02-30", "2024-02-30"},      // no such day
        {"2024-03-15T10:00:00+02:00", ""}, // an offset the sheet has no place for
        {"1899-12-31", ""},                // before the 1900 system begins
        {"24:00:00", "1"},                 // the day's end is the next day's start
        {"2024-03-15T25:00", ""},          // no such hour
        {"2024-03-15Z", "45366"},          // UTC, which is what a sheet shows
        {"09:30", "0.395833333333333"},
        {"tomorrow", "tomorrow"},
    };
    for (const auto& cell : cells) {
        SCOPED_TRACE(cell[0]);
        const std::string bytes =
            MinimalWorkbook("<worksheet><sheetData><row r=\"1\"><c r=\"B1\" t=\"d\"><v>" +
                                std::string(cell[0]) + "</v></c></row></sheetData></worksheet>",
                            "<sst/>");
        Workbook workbook;
        ASSERT_TRUE(workbook.OpenBytes(bytes.data(), bytes.size())) << workbook.problem();
        WorkbookRows reader;
        const std::vector<Row> rows = Rows(workbook, 0, &reader);
        ASSERT_EQ(rows.size(), 1u);
        const std::string expected = cell[1][0] ? cell[1] : cell[0];
        EXPECT_EQ(rows[0].values, (Values{"", expected}));
        const bool read = cell[1][0] && std::string(cell[1]) != cell[0];
        EXPECT_EQ(reader.formatNotes().size(), read ? 0u : 1u);
    }
}

TEST_F(WorkbookTest, BrokenWorkbooksAreRefusedWithWhatIsWrong) {
    const std::string sst = "<sst><si><t>E-Mail</t></si></sst>";
    const std::string good = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                             "</row></sheetData></worksheet>";
    EXPECT_EQ(Problem(MinimalWorkbook(good, sst)), "");
    EXPECT_EQ(Problem(MinimalWorkbook("", sst)), "its sheet \"S\" is missing");
    EXPECT_EQ(Problem(MinimalWorkbook(good)), "its shared strings are missing");
    EXPECT_EQ(Problem("Name,E-Mail\n"), "it is not a workbook (no ZIP package)");
    EXPECT_EQ(Problem(MinimalWorkbook(good, sst, "<workbook><sheets/></workbook>")),
              "it holds no sheet");
    const char* schemaBreaks[] = {
        "<worksheet><sheetData><row r=\"2\"/><row r=\"1\"/></sheetData></worksheet>",
        "<worksheet><sheetData><row r=\"1048577\"/></sheetData></worksheet>",
        "<worksheet><sheetData><row><c r=\"B1\"/><c r=\"A1\"/></row></sheetData></worksheet>",
        "<worksheet><sheetData><row><c r=\"XFE1\"/></row></sheetData></worksheet>",
        "<worksheet><sheetData><row><c t=\"s\"><v>1</v></c></row></sheetData></worksheet>",
        "<worksheet><sheetData><row><c><v>12abc</v></c></row></sheetData></worksheet>",
        "<worksheet><sheetData><row><c t=\"b\"><v>2</v></c></row></sheetData></worksheet>",
        "<worksheet><sheetData><row><c t=\"x\"><v>2</v></c></row></sheetData></worksheet>",
    };
    for (const char* sheet : schemaBreaks) {
        SCOPED_TRACE(sheet);
        EXPECT_EQ(Problem(MinimalWorkbook(sheet, sst)).rfind("its sheet breaks its schema", 0), 0u);
    }
    // Broken XML after the rows: the sheet is read to its end, or not at all.
    const std::string cut = "<worksheet><sheetData><row><c t=\"s\"><v>0</v></c></row>"
                            "</sheetData><mergeCells></worksheet>";
    EXPECT_EQ(Problem(MinimalWorkbook(cut, sst)).rfind("its sheet could not be read: its XML", 0),
              0u);
    const std::string dtd = "<!DOCTYPE sst [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                            "<sst><si><t>&e;</t></si></sst>";
    EXPECT_NE(Problem(MinimalWorkbook(good, dtd)).find("DTD"), std::string::npos);
}

TEST_F(WorkbookTest, ColumnReferencesAndEscapedText) {
    EXPECT_EQ(WorkbookColumn("A1"), 0);
    EXPECT_EQ(WorkbookColumn("z9"), 25);
    EXPECT_EQ(WorkbookColumn("AB12"), 27);
    EXPECT_EQ(WorkbookColumn("XFD1048576"), 16383);
    EXPECT_EQ(WorkbookColumn("XFE1"), -1);
    EXPECT_EQ(WorkbookColumn("1A"), -1);
    EXPECT_EQ(WorkbookColumn("A1:B2"), -1);
    EXPECT_EQ(WorkbookColumnName(0), "A");
    EXPECT_EQ(WorkbookColumnName(27), "AB");
    EXPECT_EQ(WorkbookColumnName(16383), "XFD");
    EXPECT_EQ(UnescapeSheetText("a_x000D_b_x005F_x000D_"), "a\rb_x000D_");
    EXPECT_EQ(UnescapeSheetText("_x00E9__x4E2D__x0000_"), "\xC3\xA9\xE4\xB8\xAD");
    EXPECT_EQ(UnescapeSheetText("_xZZZZ_ _x12_"), "_xZZZZ_ _x12_");
}

} // namespace
