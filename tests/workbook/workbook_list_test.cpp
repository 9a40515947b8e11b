// A workbook named as the mailing list: the reading layer delivers its sheet
// as comma-separated lines at the sheet's row numbers, which the reader
// takes as it takes a text list; one that cannot be read stops the pass.
#include "test_support.h"

#include "data/list_file.h"
#include "data/mailing_list.h"
#include "data/workbook_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WorkbookListTest : public PlatformTest {
protected:
    void TearDown() override {
        WorkbookChoice = WorkbookListChoice();
        PlatformTest::TearDown();
    }
};

// The lines delivered, numbered by their physical line.
std::vector<std::pair<long, std::string>> Lines(const std::string& path,
                                                ListFile** keep = nullptr) {
    std::vector<std::pair<long, std::string>> lines;
    ListFile* file = OpenListFile(path.c_str());
    EXPECT_NE(file, nullptr);
    if (!file)
        return lines;
    const char* line;
    size_t length;
    while (ReadListLine(file, &line, &length))
        if (length > 1)
            lines.emplace_back(ListFileLineNumber(file), std::string(line, length));
    if (keep)
        *keep = file;
    else
        CloseListFile(file);
    return lines;
}

TEST_F(WorkbookListTest, ASheetIsDeliveredAsCommaSeparatedLinesAtItsRowNumbers) {
    const std::string path = std::string(QV_TEST_WORKBOOKS) + "people.xlsx";
    ListDelimiter = -1;
    SelectListDelimiter(path.c_str()); // its values hold semicolons and tabs of their own
    EXPECT_EQ(ListDelimiter, 0);
    ListFile* file = nullptr;
    const auto lines = Lines(path, &file);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], std::make_pair(2L, std::string("Name,E-Mail,Joined,Share,Amount,Code,"
                                                       "Twice,City\n")));
    EXPECT_EQ(lines[1].second, "Ann Lee,ann@example.com,2025-01-01 0:00,12.5%,\"1,234,567.89\","
                               "00042,2469135.782,Z\xC3\xBC"
                               "rich\n");
    EXPECT_EQ(lines[2].second.substr(0, 25), "\"Bo, Jr.\",bo@example.com,");
    EXPECT_EQ(lines[3].first, 6L); // the hidden row 5 left out, its line empty
    EXPECT_EQ(lines[3].second.substr(0, 25), "\"Cy \"\"Q\"\"\",cy@example.com");
    EXPECT_EQ(lines[5].first, 10L);
    EXPECT_EQ(ListFileStopReason(file), ListStopNone);
    CloseListFile(file);

    WorkbookChoice.includeHidden = true;
    EXPECT_EQ(Lines(path).size(), 8u);
    WorkbookChoice.sheet = 0;
    const auto old = Lines(path);
    ASSERT_EQ(old.size(), 2u);
    EXPECT_EQ(old[1].second, "Old,old@example.com\n");
}

// Every record's values, as the mailing reads them.
std::vector<std::vector<std::string>> Records(const std::string& path) {
    std::vector<std::vector<std::string>> records;
    ListDelimiter = kListComma;
    ListFile* file = OpenListFile(path.c_str());
    EXPECT_NE(file, nullptr) << path;
    if (!file)
        return records;
    ListRecord record;
    while (ReadListRecord(file, &record))
        records.emplace_back(record.values, record.values + record.count);
    EXPECT_EQ(ListFileStopReason(file), ListStopNone) << path << ": " << ListFileStopDetail(file);
    FreeListRecord(&record);
    CloseListFile(file);
    return records;
}

// A sheet LibreOffice Calc saved as .xlsx and as .ods, and exported as CSV
// with each cell as it shows it: dates, times, currencies, colours, elapsed
// hours, fractions, the engineering form, formulas' results (a string, an
// error, a date), booleans, cells of several lines, every script.
TEST_F(WorkbookListTest, WorkbooksCalcSavedReadAsItsOwnExportOfThemAsShown) {
    const std::string folder = QV_CALC_WORKBOOKS;
    const auto shown = Records(folder + "formats.csv");
    ASSERT_EQ(shown.size(), 31u);
    ASSERT_EQ(shown[0].size(), 25u);
    for (const std::string workbook : {"formats.xlsx", "formats.ods"}) {
        SCOPED_TRACE(workbook);
        const auto read = Records(folder + workbook);
        ASSERT_EQ(read.size(), shown.size());
        for (size_t r = 0; r < read.size(); ++r) {
            for (size_t c = 0; c < shown[r].size(); ++c) {
                std::string expected = shown[r][c];
                // Wine's XmlLite turns a character reference to a line break
                // in text into a space (attribute values' normalization, which
                // Windows' reader keeps to attributes); Calc's .xlsx writes a
                // cell's line break as one.
                for (size_t at; UnderWine() && workbook == "formats.xlsx" &&
                                (at = expected.find("\r\n")) != std::string::npos;)
                    expected.replace(at, 2, " ");
                EXPECT_EQ(c < read[r].size() ? read[r][c] : "", expected)
                    << "row " << r + 1 << ", " << shown[0][c];
            }
        }
    }
}

TEST_F(WorkbookListTest, AWorkbookThatCannotBeReadStopsAtItsFirstLineWithWhatIsWrong) {
    WriteFileBytes("C:\\locked.xlsx",
                   std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(1024, '\0'));
    ListFile* file = nullptr;
    EXPECT_TRUE(Lines("C:\\locked.xlsx", &file).empty());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ListFileStopReason(file), ListStopWorkbook);
    EXPECT_EQ(ListFileStopLine(file), 1);
    EXPECT_STREQ(ListFileStopDetail(file), "it is encrypted (protected with a password)");
    CloseListFile(file);
    // A list that is not there does not open, as a text list does not.
    EXPECT_EQ(OpenListFile("C:\\lists\\missing.xlsx"), nullptr);
    EXPECT_TRUE(IsWorkbookPath("C:\\A.XLSM"));
    EXPECT_FALSE(IsWorkbookPath("C:\\a.xlsx.csv"));
}

} // namespace
