// A spreadsheet workbook (.xlsx, .xlsm) read as a list: its sheets, and one
// sheet's rows streamed as the cells show them. Opening reads the package's
// directory, the workbook part (the sheets, their visibility, the date
// system), its relationships, the shared strings and the number formats of
// the cell styles; the sheet itself is never held, only its current row.
//
// A workbook is read to its end or not at all: whatever breaks (the
// package, a part, XML that breaks its schema) stops the reading with a
// phrase saying what is wrong (problem()), and no row after it is given.
#pragma once

#include "number_format.h"
#include "zip_package.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct XmlPull;

struct WorkbookSheet {
    std::string name;
    std::string part; // "xl/worksheets/sheet1.xml"
    bool visible = true;
};

// A cell whose number format could not be reproduced: its column's first.
struct WorkbookFormatNote {
    int column = 0; // 0 for A
    long row = 0;   // 1 for the first
};

// One part's XML as it inflates.
class PartXml {
public:
    PartXml() = default;
    PartXml(const PartXml&) = delete;
    PartXml& operator=(const PartXml&) = delete;
    ~PartXml();
    bool Open(const ZipPackage& package, const PackagePart& part);
    XmlPull* xml() const { return xml_; }
    // Why the part could not be read: the package's fault, or the XML's.
    std::string Problem() const;

private:
    static int Source(void* context, char* buffer, int size);
    PartReader reader_;
    XmlPull* xml_ = nullptr;
};

// A workbook's shared-string table, held compactly: the strings one after
// another and where each ends, not a heap block each (a table of two million
// addresses costs its bytes and 4 more a string, not 32 and an allocation).
class SharedStrings {
public:
    size_t size() const { return ends_.size(); }
    std::string_view operator[](size_t i) const {
        const size_t start = i > 0 ? ends_[i - 1] : 0;
        return {text_.data() + start, ends_[i] - start};
    }
    // Room for about `bytes` of text, asked for before the strings come.
    void Expect(size_t bytes) {
        text_.reserve(bytes);
        ends_.reserve(bytes / 16);
    }
    // The table is at most 1 GiB: every end fits 32 bits.
    void Add(std::string_view text) {
        text_.append(text);
        ends_.push_back(static_cast<uint32_t>(text_.size()));
    }

private:
    std::string text_;
    std::vector<uint32_t> ends_;
};

// What a spreadsheet opened as a list has whatever its kind: its package,
// its sheets, and why it cannot be read. Each kind reads its own parts once
// the package's directory is read.
class PackageDocument {
public:
    PackageDocument(const PackageDocument&) = delete;
    PackageDocument& operator=(const PackageDocument&) = delete;
    // False with problem() set when the document cannot be read as a list.
    bool Open(const char* path, PackageLimits limits = PackageLimits());
    // The same over bytes the caller keeps (fuzz targets, tests).
    bool OpenBytes(const void* data, size_t size, PackageLimits limits = PackageLimits());
    const std::string& problem() const { return problem_; }
    const std::vector<WorkbookSheet>& sheets() const { return sheets_; }
    // The first visible sheet, -1 when there is none.
    int FirstVisibleSheet() const;
    const ZipPackage& package() const { return package_; }
    bool Fail(const std::string& what);

protected:
    PackageDocument() = default;
    ~PackageDocument() = default;
    // The document's own parts: false with problem() set.
    virtual bool ReadParts() = 0;
    ZipPackage package_;
    std::vector<WorkbookSheet> sheets_;

private:
    bool ReadPackage();
    std::unique_ptr<PackageBytes> bytes_;
    std::string problem_;
};

class Workbook final : public PackageDocument {
public:
    Workbook() = default;
    bool date1904() const { return date1904_; }
    // The workbook asks to be computed again when it is opened (its writer,
    // a library, computes no formulas): the results it holds are not to be
    // trusted.
    bool computeOnLoad() const { return computeOnLoad_; }
    const SharedStrings& sharedStrings() const { return strings_; }
    // The number format of a cell style (its s attribute), General when unknown.
    const NumberFormat& StyleFormat(long style) const;

private:
    bool ReadParts() override;
    bool ReadRelationships(const std::string& part, std::vector<std::string>* ids,
                           std::vector<std::string>* types, std::vector<std::string>* targets);
    bool ReadWorkbookPart(const std::string& part);
    bool ReadSharedStrings(const std::string& part);
    bool ReadStyles(const std::string& part);
    SharedStrings strings_;
    std::vector<NumberFormat> styles_;
    bool date1904_ = false;
    bool computeOnLoad_ = false;
};

// One sheet's rows, in order.
class WorkbookRows {
public:
    // False with problem() set when the sheet's part cannot be opened.
    bool Open(const Workbook& workbook, int sheet);
    // The next row that holds something: its number (1 for the first) and
    // its values by column, empty ones as ""; hidden tells whether a filter
    // or the user hid it. 0 at the sheet's end, -1 when reading stopped.
    long Next(std::vector<std::string>* values, bool* hidden);
    const std::string& problem() const { return problem_; }
    const std::vector<WorkbookFormatNote>& formatNotes() const { return notes_; }
    // The first cell of each column with a formula whose result the
    // workbook does not hold (never computed, or to be computed again).
    const std::vector<WorkbookFormatNote>& uncomputedNotes() const { return uncomputed_; }

private:
    long Fail(const std::string& what);
    bool ReadCell(std::vector<std::string>* values, long row, int* column);
    bool ReadCellValue(const char* type, long style, long row, int column, std::string* out);
    const Workbook* workbook_ = nullptr;
    PartXml part_;
    long lastRow_ = 0;
    bool inData_ = false;
    bool ended_ = false;
    std::vector<WorkbookFormatNote> notes_;
    std::vector<WorkbookFormatNote> uncomputed_;
    std::string problem_;
};

// Text of a cell reference's column ("AB12" -> 27); -1 when it is none.
int WorkbookColumn(const char* reference);
// The column's letters (0 -> "A").
std::string WorkbookColumnName(int column);
// Text as SpreadsheetML escapes it: "_x000D_" for a CR, "_x005F_" for "_".
std::string UnescapeSheetText(const std::string& text);
