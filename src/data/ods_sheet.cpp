// The tables of an OpenDocument spreadsheet, as OASIS OpenDocument 1.2
// (Part 1, chapter 9 "Tables"; Part 3 the package) lays them out: every
// table:table of office:spreadsheet in content.xml, a table hidden when its
// style's table-properties say table:display="false"; rows (table:table-row,
// also inside header rows and row groups) and cells (table:table-cell,
// table:covered-table-cell for the cells a merge covers) with their repeat
// counts; a row hidden when its table:visibility is "collapse" or "filter".
#include "ods_sheet.h"

#include "platform.h"

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

constexpr size_t kMaxSheets = 4096;
constexpr long kMaxRow = 1048576;
constexpr long kMaxColumn = 16384;
constexpr size_t kMaxCellBytes = size_t{32767} * 4;
// No record of a list comes near this; a row past it is a hostile one.
constexpr size_t kMaxRowBytes = size_t{1} << 20;

bool Is(const char* a, const char* b) {
    return a && std::strcmp(a, b) == 0;
}

// A repeat count: 1 when absent, 0 when it is not a positive number.
long Repeats(XmlPull* xml, const char* name) {
    const char* text = XmlPullAttribute(xml, name);
    if (!text)
        return 1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end && *end == '\0' && value > 0 ? value : 0;
}

} // namespace

bool IsOdsPath(const char* path) {
    const size_t length = path ? std::strlen(path) : 0;
    if (length < 4)
        return false;
    std::string tail(path + length - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return tail == ".ods";
}

// ---- The document ------------------------------------------------------------------

bool OdsDocument::ReadParts() {
    // The mimetype part, when there, names what the document is.
    if (const PackagePart* type = package_.Find("mimetype")) {
        PartReader reader;
        char text[128] = "";
        const int got = reader.Open(package_, *type) ? reader.Read(text, sizeof text - 1) : -1;
        if (got < 0)
            return Fail(PackageFaultText(reader.fault()));
        text[got] = '\0';
        if (std::strncmp(text, "application/vnd.oasis.opendocument.spreadsheet", 46) != 0)
            return Fail("it is not a spreadsheet (it holds \"" + std::string(text) + "\")");
    }
    if (!CheckManifest())
        return false;
    if (!content())
        return Fail("it holds no content part (content.xml)");
    return ReadTables();
}

// A document saved with a password has its parts encrypted: the manifest
// gives each such part an encryption-data entry.
bool OdsDocument::CheckManifest() {
    const PackagePart* part = package_.Find("META-INF/manifest.xml");
    if (!part)
        return true;
    PartXml xml;
    if (!xml.Open(package_, *part))
        return Fail(xml.Problem());
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0)
        if (node == XmlPullElement && Is(XmlPullName(xml.xml()), "encryption-data"))
            return Fail(PackageFaultText(PackageFault::Encrypted));
    if (node != XmlPullEnd)
        return Fail("its manifest could not be read: " + xml.Problem());
    return true;
}

// The automatic styles come before the body: the hidden tables' style
// names are known by the time the tables are met.
bool OdsDocument::ReadTables() {
    PartXml xml;
    if (!xml.Open(package_, *content()))
        return Fail("its content could not be read: " + xml.Problem());
    std::set<std::string> hiddenStyles;
    std::string style;    // the table style being read
    int spreadsheet = -2; // its element's depth: its tables are its children
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0) {
        if (node != XmlPullElement)
            continue;
        const char* name = XmlPullName(xml.xml());
        if (Is(name, "style")) {
            const char* family = XmlPullAttribute(xml.xml(), "family");
            const char* styleName = XmlPullAttribute(xml.xml(), "name");
            style = Is(family, "table") && styleName ? styleName : "";
        } else if (Is(name, "table-properties") && !style.empty()) {
            if (Is(XmlPullAttribute(xml.xml(), "display"), "false"))
                hiddenStyles.insert(style);
        } else if (Is(name, "spreadsheet")) {
            spreadsheet = XmlPullDepth(xml.xml());
        } else if (Is(name, "table") && XmlPullDepth(xml.xml()) == spreadsheet + 1) {
            const char* tableName = XmlPullAttribute(xml.xml(), "name");
            const char* tableStyle = XmlPullAttribute(xml.xml(), "style-name");
            WorkbookSheet sheet;
            sheet.name = tableName ? tableName : "";
            sheet.part = "content.xml";
            sheet.visible = !tableStyle || hiddenStyles.count(tableStyle) == 0;
            sheets_.push_back(sheet);
            if (sheets_.size() > kMaxSheets)
                return Fail("it holds too many sheets");
        }
    }
    if (node != XmlPullEnd)
        return Fail("its content could not be read: " + xml.Problem());
    if (sheets_.empty())
        return Fail("it holds no sheet");
    return true;
}

// ---- A table's rows ----------------------------------------------------------------

long OdsRows::Fail(const std::string& what) {
    if (problem_.empty())
        problem_ = what;
    ended_ = true;
    return -1;
}

bool OdsRows::Open(const OdsDocument& document, int sheet) {
    level_ = 0;
    nextRow_ = 1;
    ended_ = false;
    repeated_.clear();
    repeatsLeft_ = 0;
    problem_.clear();
    if (sheet < 0 || static_cast<size_t>(sheet) >= document.sheets().size() ||
        !document.content()) {
        Fail("it holds no sheet to read");
        return false;
    }
    if (!part_.Open(document.package(), *document.content())) {
        Fail("its content could not be read: " + part_.Problem());
        return false;
    }
    // To the chosen table's start (a table inside a cell is not a sheet).
    XmlPull* xml = part_.xml();
    int spreadsheet = -2;
    for (int seen = -1; seen < sheet;) {
        const int node = XmlPullNext(xml);
        if (node <= 0) {
            Fail("its content could not be read: " + part_.Problem());
            return false;
        }
        if (node != XmlPullElement)
            continue;
        if (Is(XmlPullName(xml), "spreadsheet"))
            spreadsheet = XmlPullDepth(xml);
        else if (Is(XmlPullName(xml), "table") && XmlPullDepth(xml) == spreadsheet + 1 &&
                 ++seen == sheet && XmlPullIsEmpty(xml))
            FinishDocument();
    }
    return true;
}

// The rest of the part is read for its checks, to its end.
bool OdsRows::FinishDocument() {
    ended_ = true;
    XmlPull* xml = part_.xml();
    int node;
    while ((node = XmlPullNext(xml)) > 0) {
    }
    if (node == XmlPullEnd)
        return true;
    Fail("its content could not be read: " + part_.Problem());
    return false;
}

// The paragraphs a cell shows, joined by line breaks, to the cell's end;
// whatever else it holds (a note, a drawing, a table) is not its text. Levels are counted here, not
// asked of the reader, so an end tag needs no depth of its own.
bool OdsRows::ReadShownText(std::string* text, bool* shown) {
    XmlPull* xml = part_.xml();
    int level = 0, skipFrom = -1, paragraphs = 0, inParagraph = 0;
    for (;;) {
        const int node = XmlPullNext(xml);
        if (node <= 0)
            return false;
        const char* name = XmlPullName(xml);
        if (node == XmlPullEndElement) {
            if (level-- == 0)
                return true;
            if (level == skipFrom)
                skipFrom = -1;
            else if (skipFrom < 0 && (Is(name, "p") || Is(name, "h")))
                --inParagraph;
            continue;
        }
        if (node == XmlPullElement && !XmlPullIsEmpty(xml))
            ++level;
        if (skipFrom >= 0)
            continue;
        if (node == XmlPullElement) {
            const bool empty = XmlPullIsEmpty(xml);
            const bool paragraph = Is(name, "p") || Is(name, "h");
            if (inParagraph == 0 && !paragraph) {
                if (!empty)
                    skipFrom = level - 1;
            } else if (paragraph) {
                *shown = true;
                if (paragraphs++ > 0)
                    *text += '\n';
                inParagraph += !empty;
            } else if (inParagraph > 0 && Is(name, "s")) {
                const long spaces = Repeats(xml, "c");
                text->append(static_cast<size_t>(spaces > 0 && spaces < 1024 ? spaces : 1), ' ');
            } else if (inParagraph > 0 && Is(name, "tab")) {
                *text += '\t';
            } else if (inParagraph > 0 && Is(name, "line-break")) {
                *text += '\n';
            }
        } else if (node == XmlPullText && inParagraph > 0) {
            size_t length = 0;
            const char* piece = XmlPullValue(xml, &length);
            text->append(piece, length);
        }
        if (text->size() > kMaxCellBytes)
            return false;
    }
}

// One cell, the current node: the text it shows, else its typed value.
bool OdsRows::ReadCell(std::vector<std::string>* values, long* column, bool covered) {
    XmlPull* xml = part_.xml();
    const long repeats = Repeats(xml, "number-columns-repeated");
    if (repeats == 0)
        return false;
    std::string typed;
    if (const char* type = XmlPullAttribute(xml, "value-type")) {
        const char* value = Is(type, "date")      ? XmlPullAttribute(xml, "date-value")
                            : Is(type, "time")    ? XmlPullAttribute(xml, "time-value")
                            : Is(type, "boolean") ? XmlPullAttribute(xml, "boolean-value")
                            : Is(type, "string")  ? XmlPullAttribute(xml, "string-value")
                                                  : XmlPullAttribute(xml, "value");
        typed = value ? value : "";
        if (Is(type, "boolean"))
            typed = Is(value, "true") ? "TRUE" : "FALSE";
    }
    std::string text;
    bool shown = false;
    if (!XmlPullIsEmpty(xml) && !ReadShownText(&text, &shown))
        return false;
    if (!shown)
        text = typed;
    if (covered)
        text.clear(); // a merged area's value is its first cell's alone
    const long first = *column;
    const bool beyond = repeats > kMaxColumn - first;
    *column = beyond ? kMaxColumn : first + repeats;
    if (text.empty())
        return true;
    if (beyond)
        return false; // a value repeated past the last column
    size_t bytes = 0;
    for (const std::string& value : *values)
        bytes += value.size();
    if (bytes + text.size() * static_cast<size_t>(repeats) > kMaxRowBytes)
        return false;
    values->resize(static_cast<size_t>(*column));
    for (long c = first; c < *column; ++c)
        (*values)[static_cast<size_t>(c)] = text;
    return true;
}

// The cells of one table-row, the current node.
bool OdsRows::ReadRow(std::vector<std::string>* values) {
    XmlPull* xml = part_.xml();
    if (XmlPullIsEmpty(xml))
        return true;
    long column = 0;
    for (;;) {
        const int node = XmlPullNext(xml);
        if (node <= 0)
            return false;
        const char* name = XmlPullName(xml);
        if (node == XmlPullEndElement && Is(name, "table-row"))
            return true;
        if (node != XmlPullElement)
            continue;
        const bool covered = Is(name, "covered-table-cell");
        if ((covered || Is(name, "table-cell")) && !ReadCell(values, &column, covered))
            return false;
    }
}

long OdsRows::SkipRepeats() {
    const long skipped = repeatsLeft_;
    nextRow_ += repeatsLeft_;
    repeatsLeft_ = 0;
    return skipped;
}

long OdsRows::Next(std::vector<std::string>* values, bool* hidden) {
    *hidden = false;
    if (repeatsLeft_ > 0) {
        // Assigned over the row given last, whose strings keep their room:
        // a row repeated a million times allocates nothing more.
        --repeatsLeft_;
        *values = repeated_;
        *hidden = repeatedHidden_;
        return nextRow_++;
    }
    values->clear();
    if (ended_)
        return problem_.empty() ? 0 : -1;
    XmlPull* xml = part_.xml();
    for (;;) {
        const int node = XmlPullNext(xml);
        if (node <= 0)
            return Fail("its content could not be read: " + part_.Problem());
        if (node == XmlPullEndElement && level_-- == 0)
            return FinishDocument() ? 0 : -1;
        if (node != XmlPullElement)
            continue;
        if (!Is(XmlPullName(xml), "table-row")) {
            level_ += !XmlPullIsEmpty(xml); // header rows, row groups, columns
            continue;
        }
        const long row = nextRow_;
        const long repeats = Repeats(xml, "number-rows-repeated");
        const char* visibility = XmlPullAttribute(xml, "visibility");
        const bool rowHidden = Is(visibility, "collapse") || Is(visibility, "filter");
        if (repeats == 0 || !ReadRow(values))
            return Fail(XmlPullError(xml)[0]
                            ? "its content could not be read: " + part_.Problem()
                            : "its sheet breaks its schema at row " + std::to_string(row));
        bool empty = true;
        for (const std::string& value : *values)
            empty = empty && value.empty();
        if (empty) {
            // Empty rows are counted, however many; past the last one they
            // are what a program writes to fill the sheet.
            nextRow_ = repeats > kMaxRow + 1 - row ? kMaxRow + 1 : row + repeats;
            values->clear();
            continue;
        }
        if (repeats > kMaxRow + 1 - row)
            return Fail("its sheet breaks its schema at row " + std::to_string(row));
        *hidden = rowHidden;
        if (repeats > 1) {
            repeated_ = *values;
            repeatedHidden_ = rowHidden;
            repeatsLeft_ = repeats - 1;
        }
        nextRow_ = row + 1;
        return row;
    }
}
