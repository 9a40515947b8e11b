// A worksheet's rows (SpreadsheetML's sheetData), one at a time: each cell
// by its type, a formula by the value it last gave (the program that saved
// the workbook computed it), a number (and a date written as ISO 8601 text)
// in its style's format. Only the cell that holds a merged area's value has
// one, so a merged area gives its value to its first cell alone. Rows and
// cells must come in order, as the schema has them; a sheet that breaks
// that is not guessed at.
#include "workbook.h"

#include "platform.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr long kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;
constexpr size_t kMaxCellBytes = size_t{32767} * 4; // a cell holds 32,767 characters

// Names here are a letter or a few: compared in line, not through strcmp.
inline bool Is(const char* a, const char* b) {
    while (*b && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

bool ParseNumber(const std::string& text, double* value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

// Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm).
long long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Reads count digits at *p into *value, moving p past them.
bool Digits(const char** p, int count, int* value) {
    *value = 0;
    for (int i = 0; i < count; ++i, ++*p) {
        if (**p < '0' || **p > '9')
            return false;
        *value = *value * 10 + (**p - '0');
    }
    return true;
}

// "hh:mm", "hh:mm:ss" or with a fraction of a second, as a fraction of a day.
bool ReadIsoTime(const char** p, double* fraction) {
    int hour = 0, minute = 0, second = 0;
    if (!Digits(p, 2, &hour) || *(*p)++ != ':' || !Digits(p, 2, &minute))
        return false;
    double seconds = 0;
    if (**p == ':') {
        ++*p;
        if (!Digits(p, 2, &second))
            return false;
        seconds = second;
        if (**p == '.' || **p == ',') {
            double scale = 0.1;
            ++*p;
            if (**p < '0' || **p > '9')
                return false;
            for (; **p >= '0' && **p <= '9'; ++*p, scale /= 10)
                seconds += (**p - '0') * scale;
        }
    }
    if (hour > 24 || minute > 59 || second > 59 || (hour == 24 && (minute || seconds > 0)))
        return false;
    *fraction = (hour * 3600.0 + minute * 60.0 + seconds) / 86400.0;
    return true;
}

// A cell of type d holds its date as ISO 8601 text (what Excel writes in
// Strict Open XML files, or when told to save ISO dates): "2024-03-15",
// "2024-03-15T09:30:00", "09:30:00", a "Z" allowed at the end (the sheet
// knows no time zones). The serial number the same date has in the
// workbook's date system is shown in the cell's format, as a number cell's.
// An offset from UTC, a day that does not exist or a date before the 1900
// system begins is not guessed at.
bool SerialFromIsoDate(const std::string& text, bool date1904, double* serial) {
    const char* p = text.c_str();
    double days = 0;
    const bool hasDate = text.size() >= 10 && text[4] == '-';
    if (hasDate) {
        int year = 0, month = 0, day = 0;
        if (!Digits(&p, 4, &year) || *p++ != '-' || !Digits(&p, 2, &month) || *p++ != '-' ||
            !Digits(&p, 2, &day) || month < 1 || month > 12 || day < 1)
            return false;
        const long long since1970 = DaysFromCivil(year, month, day);
        if (since1970 >= DaysFromCivil(month == 12 ? year + 1 : year, month % 12 + 1, 1))
            return false; // the 30th of February
        if (date1904) {
            days = static_cast<double>(since1970 + 24107); // 1904-01-01 is day 0
        } else {
            // 1900-01-01 is day 1, and the 1900 system counts a 1900-02-29
            // that never was: from March 1900 on the days run one ahead.
            const long long fromEpoch = since1970 + 25569; // from 1899-12-30
            if (fromEpoch < 2)
                return false;
            days = static_cast<double>(fromEpoch < 61 ? fromEpoch - 1 : fromEpoch);
        }
        if (*p == 'T')
            ++p;
        else if (*p && *p != 'Z')
            return false;
    }
    double time = 0;
    if (*p && *p != 'Z' && !ReadIsoTime(&p, &time))
        return false;
    if (*p == 'Z')
        ++p;
    if (*p)
        return false;
    *serial = days + time;
    return true;
}

} // namespace

int WorkbookColumn(const char* reference) {
    if (!reference)
        return -1;
    long column = 0;
    const char* p = reference;
    for (; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); ++p) {
        column = column * 26 + ((*p | 0x20) - 'a' + 1);
        if (column > kMaxColumn)
            return -1;
    }
    if (p == reference)
        return -1;
    for (const char* d = p; *d; ++d)
        if (*d < '0' || *d > '9')
            return -1;
    return static_cast<int>(column - 1);
}

std::string WorkbookColumnName(int column) {
    std::string name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

std::string UnescapeSheetText(const std::string& text) {
    if (text.find("_x") == std::string::npos)
        return text;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            char* end = nullptr;
            const std::string hex = text.substr(i + 2, 4);
            const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
            if (end && *end == '\0' && hex.find_first_of("+- ") == std::string::npos) {
                // A character of the first 128 (CR, tab, the underscore) or
                // beyond, as UTF-8; a NUL is left out, as no list holds one.
                if (code >= 0x800 && (code < 0xD800 || code > 0xDFFF)) {
                    out.push_back(static_cast<char>(0xE0 | code >> 12));
                    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else if (code >= 0x80 && code < 0x800) {
                    out.push_back(static_cast<char>(0xC0 | code >> 6));
                    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
                } else if (code > 0 && code < 0x80) {
                    out.push_back(static_cast<char>(code));
                }
                i += 6;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

namespace {
// Keeps a column's first cell only.
void NoteColumn(std::vector<WorkbookFormatNote>* notes, int column, long row) {
    for (const WorkbookFormatNote& note : *notes)
        if (note.column == column)
            return;
    notes->push_back({column, row});
}
} // namespace

long WorkbookRows::Fail(const std::string& what) {
    if (problem_.empty())
        problem_ = what;
    ended_ = true;
    return -1;
}

bool WorkbookRows::Open(const Workbook& workbook, int sheet) {
    workbook_ = &workbook;
    lastRow_ = 0;
    inData_ = false;
    ended_ = false;
    notes_.clear();
    uncomputed_.clear();
    problem_.clear();
    if (sheet < 0 || static_cast<size_t>(sheet) >= workbook.sheets().size() ||
        workbook.sheets()[static_cast<size_t>(sheet)].part.empty()) {
        Fail("it holds no sheet to read");
        return false;
    }
    const WorkbookSheet& chosen = workbook.sheets()[static_cast<size_t>(sheet)];
    const PackagePart* part = workbook.package().Find(chosen.part.c_str());
    if (!part) {
        Fail("its sheet \"" + chosen.name + "\" is missing");
        return false;
    }
    if (!part_.Open(workbook.package(), *part)) {
        Fail("its sheet \"" + chosen.name + "\" could not be read: " + part_.Problem());
        return false;
    }
    return true;
}

bool WorkbookRows::ReadCellValue(const char* type, long style, long row, int column,
                                 std::string* value) {
    // Each branch reads the raw text before it writes the value over it.
    const std::string& raw = *value;
    if (!type || Is(type, "n") || Is(type, "d")) {
        double number = 0;
        if (raw.empty())
            return true;
        bool shown = true;
        if (type && Is(type, "d")) {
            // A date that cannot be read keeps its text, and the review names it.
            shown = SerialFromIsoDate(raw, workbook_->date1904(), &number);
            if (shown)
                shown = FormatCellNumber(number, workbook_->StyleFormat(style),
                                         workbook_->date1904(), value);
            else
                *value = UnescapeSheetText(raw);
        } else if (!ParseNumber(raw, &number)) {
            return false;
        } else {
            shown = FormatCellNumber(number, workbook_->StyleFormat(style), workbook_->date1904(),
                                     value);
        }
        if (!shown)
            NoteColumn(&notes_, column, row);
        return true;
    }
    if (Is(type, "s")) {
        char* end = nullptr;
        const unsigned long index = std::strtoul(raw.c_str(), &end, 10);
        const auto& strings = workbook_->sharedStrings();
        if (raw.empty() || !end || *end || index >= strings.size())
            return false;
        value->assign(strings[index].data(), strings[index].size());
        return true;
    }
    if (Is(type, "b")) {
        if (raw != "0" && raw != "1")
            return false;
        *value = raw == "1" ? "TRUE" : "FALSE";
        return true;
    }
    if (Is(type, "str") || Is(type, "inlineStr") || Is(type, "e")) {
        *value = UnescapeSheetText(raw); // a formula's text, an error (#N/A)
        return true;
    }
    return false;
}

// Reads one c element, the current node, and stores its value.
bool WorkbookRows::ReadCell(std::vector<std::string>* values, long row, int* column) {
    XmlPull* xml = part_.xml();
    const char* reference = XmlPullAttribute(xml, "r");
    const int at = reference ? WorkbookColumn(reference) : *column + 1;
    if (at < 0 || at <= *column || at >= kMaxColumn)
        return false;
    *column = at;
    const char* t = XmlPullAttribute(xml, "t");
    const std::string type = t ? t : "";
    const char* s = XmlPullAttribute(xml, "s");
    const long style = s ? std::strtol(s, nullptr, 10) : 0;
    if (XmlPullIsEmpty(xml))
        return true;
    std::string text;
    const char* child = "";
    bool inRun = false, formula = false;
    int phonetic = 0;
    for (;;) {
        const int node = XmlPullNext(xml);
        if (node <= 0)
            return false;
        const char* name = XmlPullName(xml);
        if (node == XmlPullElement) {
            formula = formula || Is(name, "f");
            if (Is(name, "v"))
                child = "v";
            else if (Is(name, "t"))
                child = "t";
            else if (Is(name, "rPh"))
                phonetic += !XmlPullIsEmpty(xml);
            else if (Is(name, "r"))
                inRun = true;
            else if (!Is(name, "is") && !Is(name, "rPr") && !inRun)
                child = "";
            if (XmlPullIsEmpty(xml) && !Is(name, "rPh"))
                child = "";
        } else if (node == XmlPullEndElement) {
            if (Is(name, "c"))
                break;
            if (Is(name, "rPh") && phonetic > 0)
                --phonetic;
            if (Is(name, "r"))
                inRun = false;
            child = "";
        } else if (phonetic == 0 && (Is(child, "v") || (Is(child, "t") && type == "inlineStr"))) {
            size_t length = 0;
            const char* piece = XmlPullValue(xml, &length);
            if (text.size() + length > kMaxCellBytes)
                return false;
            text.append(piece, length);
        }
    }
    // A library writing a formula leaves its result out, or writes 0 and
    // asks the spreadsheet program to compute the workbook when it opens it
    // (openpyxl and XlsxWriter do both): what the cell holds is not what
    // the sheet shows. An empty text is a result a formula may give.
    if (formula && (workbook_->computeOnLoad() || (text.empty() && (!t || type == "n"))))
        NoteColumn(&uncomputed_, at, row);
    // The attribute's text went with the reader's next node: its copy is used.
    if (!ReadCellValue(t ? type.c_str() : nullptr, style, row, at, &text))
        return false;
    if (text.empty())
        return true;
    if (values->size() <= static_cast<size_t>(at))
        values->resize(static_cast<size_t>(at) + 1);
    (*values)[static_cast<size_t>(at)] = std::move(text);
    return true;
}

long WorkbookRows::Next(std::vector<std::string>* values, bool* hidden) {
    values->clear();
    *hidden = false;
    if (ended_ || !workbook_)
        return problem_.empty() ? 0 : -1;
    XmlPull* xml = part_.xml();
    for (;;) {
        const int node = XmlPullNext(xml);
        if (node == XmlPullEnd) {
            ended_ = true;
            return 0;
        }
        if (node < 0)
            return Fail("its sheet could not be read: " + part_.Problem());
        const char* name = XmlPullName(xml);
        if (node == XmlPullElement && Is(name, "sheetData")) {
            inData_ = !XmlPullIsEmpty(xml);
            continue;
        }
        if (node == XmlPullEndElement && Is(name, "sheetData")) {
            inData_ = false;
            continue; // the rest of the part is read for its checks, to its end
        }
        if (!inData_ || node != XmlPullElement || !Is(name, "row"))
            continue;
        const char* r = XmlPullAttribute(xml, "r");
        const long row = r ? std::strtol(r, nullptr, 10) : lastRow_ + 1;
        if (row <= lastRow_ || row > kMaxRow)
            return Fail("its sheet breaks its schema at row " + std::to_string(lastRow_ + 1));
        lastRow_ = row;
        const char* hiddenValue = XmlPullAttribute(xml, "hidden");
        *hidden = hiddenValue && (Is(hiddenValue, "1") || Is(hiddenValue, "true"));
        if (XmlPullIsEmpty(xml))
            continue;
        int column = -1;
        for (;;) {
            const int inner = XmlPullNext(xml);
            if (inner < 0)
                return Fail("its sheet could not be read: " + part_.Problem());
            if (inner == XmlPullEnd)
                return Fail("its sheet ends inside row " + std::to_string(row));
            const char* element = XmlPullName(xml);
            if (inner == XmlPullEndElement && Is(element, "row"))
                break;
            if (inner == XmlPullElement && Is(element, "c") && !ReadCell(values, row, &column))
                return Fail(XmlPullError(xml)[0]
                                ? "its sheet could not be read: " + part_.Problem()
                                : "its sheet breaks its schema in cell " +
                                      WorkbookColumnName(column + 1 > 0 ? column : 0) +
                                      std::to_string(row));
        }
        for (const std::string& value : *values)
            if (!value.empty())
                return row;
        values->clear();
        *hidden = false;
    }
}
