// The workbook reader over arbitrary part texts: the input's first byte
// picks which part of an otherwise sound workbook it replaces (the sheet,
// the shared strings, the styles, the workbook part); the rest is that
// part's XML. Every row must come in order, within the sheet's bounds, and
// a reading must end either cleanly or with a problem named.
#include "zip_builder.h"

#include "data/workbook.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kRel[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "workbook_fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string parts[4] = {
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\">"
        "<v>45658.5</v></c></row></sheetData></worksheet>",
        "<sst><si><t>E-Mail</t></si><si><r><t>a</t></r><rPh><t>b</t></rPh></si></sst>",
        "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd h:mm\"/>"
        "</numFmts><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/></cellXfs></styleSheet>",
        std::string("<workbook xmlns:r=\"") + kRel +
            "\"><workbookPr date1904=\"1\"/><sheets><sheet name=\"S\" sheetId=\"1\" "
            "r:id=\"rId1\"/></sheets></workbook>",
    };
    parts[data[0] % 4].assign(reinterpret_cast<const char*>(data + 1), size - 1);
    ZipBuilder zip;
    zip.Add("_rels/.rels",
            std::string("<Relationships><Relationship Id=\"a\" Type=\"") + kRel +
                "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>",
            false);
    zip.Add("xl/workbook.xml", parts[3], false);
    zip.Add("xl/_rels/workbook.xml.rels",
            std::string("<Relationships><Relationship Id=\"rId1\" Type=\"") + kRel +
                "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
                "Type=\"" +
                kRel +
                "/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" "
                "Type=\"" +
                kRel + "/styles\" Target=\"styles.xml\"/></Relationships>",
            false);
    zip.Add("xl/worksheets/sheet1.xml", parts[0], false);
    zip.Add("xl/sharedStrings.xml", parts[1], false);
    zip.Add("xl/styles.xml", parts[2], false);
    const std::string bytes = zip.Build();
    Workbook workbook;
    if (!workbook.OpenBytes(bytes.data(), bytes.size())) {
        Check(!workbook.problem().empty(), "a workbook refused without a problem");
        return 0;
    }
    for (size_t sheet = 0; sheet < workbook.sheets().size() && sheet < 2; ++sheet) {
        WorkbookRows rows;
        if (!rows.Open(workbook, static_cast<int>(sheet))) {
            Check(!rows.problem().empty(), "a sheet refused without a problem");
            continue;
        }
        std::vector<std::string> values;
        bool hidden = false;
        long last = 0, row;
        while ((row = rows.Next(&values, &hidden)) > 0) {
            Check(row > last && row <= 1048576, "rows out of order");
            Check(!values.empty() && values.size() <= 16384, "a row's values");
            last = row;
        }
        Check(row == 0 || !rows.problem().empty(), "a sheet stopped without a problem");
        // A sheet that stopped part-way is refused whole (nothing of it is
        // sent), and a note of the row it stopped in names a row never
        // delivered: the notes must hold for a sheet read to its end.
        if (row == 0)
            for (const WorkbookFormatNote& note : rows.formatNotes())
                Check(note.row >= 1 && note.row <= last && note.column >= 0, "a format note");
    }
    return 0;
}
