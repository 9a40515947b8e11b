// An OpenDocument spreadsheet (.ods) read as a list, with the same calls as
// the Office Open XML workbook (workbook.h): its tables as sheets, and one
// table's rows streamed as the cells show them. The package is the same ZIP
// container; all the tables are in content.xml, whose automatic styles say
// which tables are hidden. Opening reads that part once for the tables'
// names; the rows are read from it again, one row held at a time.
//
// A cell's value is its displayed text (the paragraphs the program wrote
// as the cell shows it, numbers and dates in their format), or, for a cell
// written without one, its typed value. Repeated rows and columns are
// counted, not stored: an empty cell repeated a million times costs nothing,
// and a repeated one that holds something stops at the sheet's last column.
#pragma once

#include "workbook.h"

class OdsDocument final : public PackageDocument {
public:
    OdsDocument() = default;
    const PackagePart* content() const { return package_.Find("content.xml"); }

private:
    bool ReadParts() override;
    bool CheckManifest();
    bool ReadTables();
};

// One table's rows, in order.
class OdsRows {
public:
    // False with problem() set when the table cannot be opened.
    bool Open(const OdsDocument& document, int sheet);
    // As WorkbookRows::Next: the next row that holds something, its number
    // (1 for the first) and values by column; hidden for a row collapsed or
    // filtered out. 0 at the table's end, -1 when reading stopped.
    long Next(std::vector<std::string>* values, bool* hidden);
    // Drops the repeats still to come of the row Next gave last, and says
    // how many there were: a reader that leaves hidden rows out counts a
    // hidden row repeated a million times at once, not row by row.
    long SkipRepeats();
    const std::string& problem() const { return problem_; }
    // Displayed texts need no format: always empty.
    const std::vector<WorkbookFormatNote>& formatNotes() const { return notes_; }

private:
    long Fail(const std::string& what);
    bool ReadRow(std::vector<std::string>* values);
    bool ReadCell(std::vector<std::string>* values, long* column, bool covered);
    bool ReadShownText(std::string* text, bool* shown);
    bool FinishDocument();
    PartXml part_;
    int level_ = 0; // elements open inside the table
    long nextRow_ = 1;
    bool ended_ = false;
    // A row that holds something, repeated: given again until used up.
    std::vector<std::string> repeated_;
    long repeatsLeft_ = 0;
    bool repeatedHidden_ = false;
    std::vector<WorkbookFormatNote> notes_;
    std::string problem_;
};

// Whether the path names an OpenDocument spreadsheet (letter case aside).
bool IsOdsPath(const char* path);
