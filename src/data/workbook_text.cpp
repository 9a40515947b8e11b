// Rows become lines of a comma-separated list: a value is quoted when it
// holds a comma, a quote (doubled inside), a line break, a tab or a
// semicolon, and when it starts with "//", which would make its line a
// comment. Only one row is ever held, besides what the caller has not yet
// taken of it.
#include "workbook_text.h"

#include "ods_sheet.h"
#include "workbook.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

WorkbookListChoice WorkbookChoice;

struct WorkbookText {
    std::string path;
    Workbook workbook;
    WorkbookRows rows;
    bool ods = false; // an OpenDocument spreadsheet: read by the two below
    OdsDocument document;
    OdsRows odsRows;
    bool opened = false;
    bool ended = false;
    bool failed = false;
    long lastRow = 0;
    long hidden = 0;
    int sheet = -1;
    std::string pending;
    size_t taken = 0;
    std::string problem;
    std::vector<std::string> values;
};

namespace {

bool NeedsQuotes(const std::string& value) {
    // One look at each byte: find_first_of looks for each of the six in turn.
    for (const char c : value)
        if (c == ',' || c == '"' || c == '\r' || c == '\n' || c == '\t' || c == ';')
            return true;
    return value.rfind("//", 0) == 0;
}

void AppendRow(std::string* out, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out->push_back(',');
        const std::string& value = values[i];
        if (!NeedsQuotes(value)) {
            out->append(value);
            continue;
        }
        out->push_back('"');
        for (char c : value) {
            if (c == '"')
                out->push_back('"');
            out->push_back(c);
        }
        out->push_back('"');
    }
    out->push_back('\n');
}

bool Fail(WorkbookText* text, const std::string& problem) {
    text->failed = true;
    text->problem = problem;
    return false;
}

const std::vector<WorkbookSheet>& Sheets(const WorkbookText* text) {
    return text->ods ? text->document.sheets() : text->workbook.sheets();
}

// The chosen sheet, else the one of the name an earlier run read, else the
// first visible one; -1 when there is none.
template <class Book> int ChosenSheet(const Book& book) {
    const int sheet = WorkbookChoice.sheet;
    if (sheet >= 0 && static_cast<size_t>(sheet) < book.sheets().size())
        return sheet;
    if (!WorkbookChoice.sheetName.empty())
        for (size_t i = 0; i < book.sheets().size(); ++i)
            if (book.sheets()[i].name == WorkbookChoice.sheetName)
                return static_cast<int>(i);
    return book.FirstVisibleSheet();
}

template <class Book, class Rows> bool OpenRows(WorkbookText* text, Book* book, Rows* rows) {
    if (!book->Open(text->path.c_str()))
        return Fail(text, book->problem());
    const int sheet = ChosenSheet(*book);
    if (sheet < 0)
        return Fail(text, "it holds no visible sheet");
    text->sheet = sheet;
    if (!rows->Open(*book, sheet))
        return Fail(text, rows->problem());
    return true;
}

bool OpenSheet(WorkbookText* text) {
    text->opened = true;
    if (text->ods)
        return OpenRows(text, &text->document, &text->odsRows);
    return OpenRows(text, &text->workbook, &text->rows);
}

// Appends the next row's line (and the empty lines before it) to pending.
bool NextRow(WorkbookText* text) {
    bool hidden = false;
    for (;;) {
        const long row = text->ods ? text->odsRows.Next(&text->values, &hidden)
                                   : text->rows.Next(&text->values, &hidden);
        if (row < 0)
            return Fail(text, text->ods ? text->odsRows.problem() : text->rows.problem());
        if (row == 0) {
            text->ended = true;
            return false;
        }
        if (hidden && !WorkbookChoice.includeHidden) {
            // A repeated row costs its copies only when they are read: a
            // hidden one left out is counted at once, however often it
            // repeats (a few bytes of content.xml could else keep the
            // client busy for minutes).
            text->hidden += 1 + (text->ods ? text->odsRows.SkipRepeats() : 0);
            continue;
        }
        text->pending.append(static_cast<size_t>(row - text->lastRow - 1), '\n');
        text->lastRow = row;
        AppendRow(&text->pending, text->values);
        return true;
    }
}

} // namespace

bool IsWorkbookPath(const char* path) {
    const size_t length = path ? std::strlen(path) : 0;
    if (length < 5)
        return false;
    std::string tail(path + length - 5);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return tail == ".xlsx" || tail == ".xlsm" || IsOdsPath(path);
}

WorkbookText* OpenWorkbookText(const char* path) {
    auto* text = new (std::nothrow) WorkbookText;
    if (!text)
        return nullptr;
    text->path = path;
    text->ods = IsOdsPath(path);
    // The file must at least open; what it holds is looked at on the first read.
    FilePackageBytes probe;
    if (!probe.Open(path)) {
        delete text;
        return nullptr;
    }
    return text;
}

void CloseWorkbookText(WorkbookText* text) {
    delete text;
}

long ReadWorkbookText(WorkbookText* text, char* out, size_t capacity) {
    if (!text || text->failed)
        return -1;
    if (!text->opened && !OpenSheet(text))
        return -1;
    size_t filled = 0;
    while (filled < capacity) {
        if (text->taken == text->pending.size()) {
            text->pending.clear();
            text->taken = 0;
            if (text->ended || !NextRow(text))
                break;
        }
        const size_t n = std::min(capacity - filled, text->pending.size() - text->taken);
        std::memcpy(out + filled, text->pending.data() + text->taken, n);
        text->taken += n;
        filled += n;
    }
    // Nothing is delivered of a workbook that stops: its rows before the
    // stop were read, but the list as a whole cannot be trusted.
    if (text->failed)
        return -1;
    return static_cast<long>(filled);
}

const char* WorkbookTextProblem(const WorkbookText* text) {
    return text ? text->problem.c_str() : "";
}

long WorkbookTextHiddenRows(const WorkbookText* text) {
    return text ? text->hidden : 0;
}

bool TakeWorkbookFacts(const WorkbookText* text, WorkbookListFacts* facts) {
    *facts = WorkbookListFacts();
    if (!text || !text->opened)
        return false;
    for (const WorkbookSheet& sheet : Sheets(text))
        facts->sheets.push_back(WorkbookListFacts::Sheet{sheet.name, sheet.visible});
    facts->sheet = text->sheet;
    facts->hiddenRows = text->hidden;
    facts->includeHidden = WorkbookChoice.includeHidden;
    for (const WorkbookFormatNote& note :
         text->ods ? text->odsRows.formatNotes() : text->rows.formatNotes())
        facts->formatNotes.push_back(
            WorkbookListFacts::FormatNote{WorkbookColumnName(note.column), note.row});
    if (!text->ods)
        for (const WorkbookFormatNote& note : text->rows.uncomputedNotes())
            facts->uncomputed.push_back(
                WorkbookListFacts::FormatNote{WorkbookColumnName(note.column), note.row});
    return true;
}

namespace {
void NameColumns(const std::vector<WorkbookListFacts::FormatNote>& notes, const char* lead,
                 std::string* said) {
    if (notes.empty())
        return;
    *said += said->empty() ? lead : std::string("\n\n") + lead;
    for (size_t i = 0; i < notes.size(); ++i)
        *said += (i == 0 ? "column " : ", column ") + notes[i].column + " from line " +
                 std::to_string(notes[i].row);
    *said += ".";
}
} // namespace

std::string DescribeWorkbookNotes(const WorkbookListFacts& facts) {
    std::string said;
    NameColumns(facts.formatNotes,
                "Shown in the General form, their number format not being one Quorvel "
                "reproduces: ",
                &said);
    NameColumns(facts.uncomputed,
                "Formulas the workbook holds no result of (the program that wrote it does not "
                "compute them; open the workbook in a spreadsheet program and save it): ",
                &said);
    return said;
}

void ResetWorkbookChoiceUnless(const char* path) {
    if (path && WorkbookChoice.path == path)
        return;
    WorkbookChoice = WorkbookListChoice();
    WorkbookChoice.path = path ? path : "";
}
