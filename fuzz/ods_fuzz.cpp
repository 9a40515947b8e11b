// The OpenDocument spreadsheet reader over arbitrary content: the input is
// content.xml of an otherwise sound package. Each table is read to its end:
// rows in order within the sheet's bounds, no row longer than the reader's
// bound, however the input repeats its rows and cells, and a reading that
// stops names its problem.
#include "zip_builder.h"

#include "data/mailing_list.h"
#include "data/ods_sheet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "ods_fuzz: %s\n", what);
        std::abort();
    }
}

constexpr size_t kCellsRead = size_t{1} << 18;

// Reads one table as the list does, checking each row: hidden rows left
// out (their repeats counted at once) unless `includeHidden`, and the
// reading stopped at a row longer than a list's record, where the list
// reader stops.
void ReadTable(const OdsDocument& document, int sheet, bool includeHidden) {
    OdsRows rows;
    if (!rows.Open(document, sheet)) {
        Check(!rows.problem().empty(), "a table refused without a problem");
        return;
    }
    std::vector<std::string> values;
    bool hidden = false;
    long last = 0, row;
    size_t cells = 0;
    while ((row = rows.Next(&values, &hidden)) > 0) {
        Check(row > last && row <= 1048576, "rows out of order");
        Check(!values.empty() && values.size() <= 16384, "a row's values");
        size_t bytes = 0;
        for (const std::string& value : values)
            bytes += value.size();
        Check(bytes <= (size_t{1} << 20), "a row past the bound");
        last = row;
        // Past this many cells a repeat is jumped over, as a hidden one is:
        // its copies are the same row again, and reading a million of them
        // (a few bytes of XML) would spend the run on one input.
        cells += values.size();
        if ((hidden && !includeHidden) || cells > kCellsRead) {
            const long skipped = rows.SkipRepeats();
            Check(skipped >= 0 && skipped <= 1048576 - row, "repeats past the last row");
            last += skipped;
            continue;
        }
        if (bytes + values.size() > kListRawSize)
            return;
    }
    Check(row == 0 || !rows.problem().empty(), "a table stopped without a problem");
    Check(rows.formatNotes().empty(), "a displayed text noted");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZipBuilder zip;
    zip.Add("mimetype", "application/vnd.oasis.opendocument.spreadsheet", false);
    zip.Add("content.xml", std::string(reinterpret_cast<const char*>(data), size), false);
    const std::string bytes = zip.Build();
    OdsDocument document;
    if (!document.OpenBytes(bytes.data(), bytes.size())) {
        Check(!document.problem().empty(), "a document refused without a problem");
        return 0;
    }
    Check(!document.sheets().empty(), "a document of no table opened");
    for (size_t sheet = 0; sheet < document.sheets().size() && sheet < 3; ++sheet)
        ReadTable(document, static_cast<int>(sheet), (size & 1) != 0);
    return 0;
}
