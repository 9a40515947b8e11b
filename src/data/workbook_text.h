// A workbook (.xlsx, .xlsm) or an OpenDocument spreadsheet (.ods) as the text of a comma-separated
// list, for the reading layer (list_file.h) to deliver as it delivers a text file's: each row of
// the chosen sheet one line, its values as the sheet shows them, quoted where the list's rules need
// it, so that the reader, the review, the merge and the sent list work unchanged, and a row's raw
// text is a record of the list itself (the 512-byte limit applies to it). A row the sheet has no
// line for, a hidden row and an empty one are an empty line, so that a line number is the sheet's
// row number (a value holding a line break aside).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct WorkbookText;

// Which sheet and which rows a job reads; process-wide, as the delimiter is.
struct WorkbookListChoice {
    int sheet = -1;             // -1: the sheet named below, else the first visible one
    bool includeHidden = false; // rows hidden by a filter or by hand
    std::string path;           // the list the choice was made for
    // The sheet an earlier run of the mailing read, by its name (UTF-8), so
    // that a mailing continued in another process reads the same sheet even
    // when sheets were added or moved since; "" for none.
    std::string sheetName;
};
extern WorkbookListChoice WorkbookChoice;

// Whether the path names a workbook, by its extension (letter case aside).
bool IsWorkbookPath(const char* path);

// Null when the file cannot be opened or memory ran out. A workbook that
// cannot be read is told at the first read, as reading that stops.
WorkbookText* OpenWorkbookText(const char* path);
void CloseWorkbookText(WorkbookText* text);
// Up to capacity bytes of the text: the count, 0 at its end, -1 once
// reading stopped (for the reason WorkbookTextProblem gives).
long ReadWorkbookText(WorkbookText* text, char* out, size_t capacity);
// What is wrong with the workbook, in English ("it is encrypted ..."); "".
const char* WorkbookTextProblem(const WorkbookText* text);
// Rows left out because they were hidden, so far.
long WorkbookTextHiddenRows(const WorkbookText* text);

// What the review tells of a workbook's list once a pass has read it: the
// sheets to choose from, the one read, the hidden rows left out and the
// first cell of each column whose number format was not reproduced.
struct WorkbookListFacts {
    struct Sheet {
        std::string name; // UTF-8
        bool visible = true;
    };
    struct FormatNote {
        std::string column; // "E"
        long row = 0;
    };
    std::vector<Sheet> sheets;
    int sheet = -1; // the one read; -1 when none could be
    long hiddenRows = 0;
    bool includeHidden = false;
    std::vector<FormatNote> formatNotes;
    // Formulas whose results the workbook does not hold, the same way.
    std::vector<FormatNote> uncomputed;
};
// False (the facts emptied) when the workbook was not opened.
bool TakeWorkbookFacts(const WorkbookText* text, WorkbookListFacts* facts);
// What the review says of the cells not read as the sheet shows them: a
// paragraph for the values shown in the General form, one for the formulas
// the workbook holds no result of, each naming the columns' first lines;
// the paragraphs apart by a blank line, "" when there is nothing to say.
std::string DescribeWorkbookNotes(const WorkbookListFacts& facts);
// The choice back at its defaults (the first visible sheet, hidden rows
// left out) when the list is another than the one it was made for, so a
// sheet picked in one workbook is never read in the next.
void ResetWorkbookChoiceUnless(const char* path);
