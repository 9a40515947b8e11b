// The workbook's own parts, as ECMA-376 (Office Open XML, Part 1
// SpreadsheetML and Part 2 Open Packaging Conventions) places them: the
// package's relationships name the workbook part, whose relationships name
// the sheets, the shared strings and the styles.
#include "workbook.h"

#include "platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Shared strings and styles beyond these are not a list's.
constexpr size_t kMaxSheets = 4096;
constexpr size_t kMaxStyles = 65536;
constexpr size_t kMaxStringBytes = size_t{32} << 20; // one string
constexpr size_t kMaxTableBytes = size_t{1} << 30;   // the whole table

bool EndsWith(const std::string& text, const char* tail) {
    const size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

bool IsTrue(const char* value) {
    return value && (std::strcmp(value, "1") == 0 || std::strcmp(value, "true") == 0);
}

// A relationship's target as a part name: relative to the source part's
// folder unless it starts with '/', with "." and ".." resolved.
std::string ResolveTarget(const std::string& sourcePart, const std::string& target) {
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = target.substr(1);
    } else {
        const size_t slash = sourcePart.rfind('/');
        path = (slash == std::string::npos ? "" : sourcePart.substr(0, slash + 1)) + target;
    }
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string piece = path.substr(at, slash - at);
        if (piece == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        at = slash + 1;
    }
    std::string out;
    for (const std::string& piece : parts)
        out += (out.empty() ? "" : "/") + piece;
    return out;
}

// The relationships part of a part: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string RelationshipsOf(const std::string& part) {
    const size_t slash = part.rfind('/');
    if (slash == std::string::npos)
        return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

} // namespace

// ---- One part's XML ----------------------------------------------------------------

PartXml::~PartXml() {
    XmlPullClose(xml_);
}

int PartXml::Source(void* context, char* buffer, int size) {
    return static_cast<PartXml*>(context)->reader_.Read(buffer, size);
}

bool PartXml::Open(const ZipPackage& package, const PackagePart& part) {
    XmlPullClose(xml_);
    xml_ = nullptr;
    if (!reader_.Open(package, part))
        return false;
    xml_ = XmlPullOpen(&PartXml::Source, this);
    return xml_ != nullptr;
}

std::string PartXml::Problem() const {
    if (reader_.fault() != PackageFault::None)
        return PackageFaultText(reader_.fault());
    if (!xml_)
        return "no XML reader could be made";
    const char* error = XmlPullError(xml_);
    return *error ? std::string("its XML is broken, ") + error : "its XML is broken";
}

// ---- The package document ----------------------------------------------------------

bool PackageDocument::Fail(const std::string& what) {
    if (problem_.empty())
        problem_ = what;
    return false;
}

bool PackageDocument::Open(const char* path, PackageLimits limits) {
    auto file = std::make_unique<FilePackageBytes>();
    if (!file->Open(path))
        return Fail(PackageFaultText(PackageFault::Unreadable));
    bytes_ = std::move(file);
    package_ = ZipPackage(limits);
    return ReadPackage();
}

bool PackageDocument::OpenBytes(const void* data, size_t size, PackageLimits limits) {
    bytes_ = std::make_unique<MemoryPackageBytes>(data, size);
    package_ = ZipPackage(limits);
    return ReadPackage();
}

bool PackageDocument::ReadPackage() {
    if (!package_.Open(bytes_.get()))
        return Fail(PackageFaultText(package_.fault()));
    return ReadParts();
}

int PackageDocument::FirstVisibleSheet() const {
    for (size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].visible)
            return static_cast<int>(i);
    return -1;
}

// ---- The workbook ------------------------------------------------------------------

const NumberFormat& Workbook::StyleFormat(long style) const {
    static const NumberFormat general;
    if (style < 0 || static_cast<size_t>(style) >= styles_.size())
        return general;
    return styles_[static_cast<size_t>(style)];
}

bool Workbook::ReadParts() {
    std::vector<std::string> ids, types, targets;
    if (!ReadRelationships("", &ids, &types, &targets))
        return false;
    std::string workbook;
    for (size_t i = 0; i < types.size(); ++i)
        if (EndsWith(types[i], "/officeDocument"))
            workbook = ResolveTarget("", targets[i]);
    if (workbook.empty())
        return Fail("it holds no workbook");
    if (!ReadWorkbookPart(workbook))
        return false;
    ids.clear(), types.clear(), targets.clear();
    if (!ReadRelationships(workbook, &ids, &types, &targets))
        return false;
    std::string strings, styles;
    for (size_t i = 0; i < types.size(); ++i) {
        const std::string target = ResolveTarget(workbook, targets[i]);
        if (EndsWith(types[i], "/sharedStrings"))
            strings = target;
        else if (EndsWith(types[i], "/styles"))
            styles = target;
        for (WorkbookSheet& sheet : sheets_) {
            if (sheet.part != ids[i])
                continue;
            // A chart sheet or a dialog sheet holds no rows: never a list.
            sheet.part = EndsWith(types[i], "/worksheet") ? target : std::string();
            if (sheet.part.empty())
                sheet.visible = false;
        }
    }
    for (const WorkbookSheet& sheet : sheets_)
        if (!sheet.part.empty() && !package_.Find(sheet.part.c_str()))
            return Fail("its sheet \"" + sheet.name + "\" is missing");
    if (!strings.empty() && !ReadSharedStrings(strings))
        return false;
    if (!styles.empty() && !ReadStyles(styles))
        return false;
    return true;
}

bool Workbook::ReadRelationships(const std::string& part, std::vector<std::string>* ids,
                                 std::vector<std::string>* types,
                                 std::vector<std::string>* targets) {
    const std::string name = part.empty() ? std::string("_rels/.rels") : RelationshipsOf(part);
    const PackagePart* rels = package_.Find(name.c_str());
    if (!rels)
        return Fail(part.empty() ? "it holds no workbook"
                                 : "the workbook's relationships are missing");
    PartXml xml;
    if (!xml.Open(package_, *rels))
        return Fail(xml.Problem());
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0) {
        if (node != XmlPullElement || std::strcmp(XmlPullName(xml.xml()), "Relationship") != 0)
            continue;
        const char* id = XmlPullAttribute(xml.xml(), "Id");
        const char* type = XmlPullAttribute(xml.xml(), "Type");
        const char* target = XmlPullAttribute(xml.xml(), "Target");
        const char* mode = XmlPullAttribute(xml.xml(), "TargetMode");
        if (!id || !type || !target)
            return Fail("its relationships break their schema");
        if (mode && std::strcmp(mode, "External") == 0)
            continue; // a link out of the package: never followed
        ids->push_back(id);
        types->push_back(type);
        targets->push_back(target);
        if (ids->size() > kMaxSheets * 2)
            return Fail("it holds too many parts");
    }
    return node == XmlPullEnd || Fail(xml.Problem());
}

bool Workbook::ReadWorkbookPart(const std::string& name) {
    const PackagePart* part = package_.Find(name.c_str());
    if (!part)
        return Fail("it holds no workbook");
    PartXml xml;
    if (!xml.Open(package_, *part))
        return Fail(xml.Problem());
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0) {
        if (node != XmlPullElement)
            continue;
        const char* element = XmlPullName(xml.xml());
        if (std::strcmp(element, "workbookPr") == 0) {
            date1904_ = IsTrue(XmlPullAttribute(xml.xml(), "date1904"));
        } else if (std::strcmp(element, "calcPr") == 0) {
            computeOnLoad_ = IsTrue(XmlPullAttribute(xml.xml(), "fullCalcOnLoad"));
        } else if (std::strcmp(element, "sheet") == 0) {
            const char* sheetName = XmlPullAttribute(xml.xml(), "name");
            const char* id = XmlPullAttribute(xml.xml(), "id");
            const char* state = XmlPullAttribute(xml.xml(), "state");
            if (!sheetName || !id)
                return Fail("its workbook part breaks its schema");
            WorkbookSheet sheet;
            sheet.name = sheetName;
            sheet.part = id; // the relationship's id until it is resolved
            sheet.visible = !state || std::strcmp(state, "visible") == 0;
            sheets_.push_back(sheet);
            if (sheets_.size() > kMaxSheets)
                return Fail("it holds too many sheets");
        }
    }
    if (node != XmlPullEnd)
        return Fail(xml.Problem());
    if (sheets_.empty())
        return Fail("it holds no sheet");
    return true;
}

bool Workbook::ReadSharedStrings(const std::string& name) {
    const PackagePart* part = package_.Find(name.c_str());
    if (!part)
        return Fail("its shared strings are missing");
    PartXml xml;
    if (!xml.Open(package_, *part))
        return Fail(xml.Problem());
    // The part's stated size bounds the text it holds; what is asked for
    // ahead stays small whatever a package claims.
    strings_.Expect(std::min<size_t>(part->size, size_t{64} << 20));
    // Each si is one string: its t, or the t of each of its runs (r); the
    // phonetic guides (rPh) are not part of the text.
    std::string current;
    bool inItem = false, inText = false;
    int phonetic = 0;
    size_t total = 0;
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0) {
        const char* element = XmlPullName(xml.xml());
        if (node == XmlPullElement) {
            if (std::strcmp(element, "si") == 0) {
                inItem = !XmlPullIsEmpty(xml.xml());
                current.clear();
                if (!inItem)
                    strings_.Add({});
            } else if (std::strcmp(element, "rPh") == 0) {
                phonetic += !XmlPullIsEmpty(xml.xml());
            } else if (std::strcmp(element, "t") == 0) {
                inText = inItem && phonetic == 0 && !XmlPullIsEmpty(xml.xml());
            }
        } else if (node == XmlPullEndElement) {
            if (std::strcmp(element, "si") == 0 && inItem) {
                total += current.size();
                if (total > kMaxTableBytes)
                    return Fail("its shared strings are too large");
                strings_.Add(UnescapeSheetText(current));
                inItem = false;
            } else if (std::strcmp(element, "rPh") == 0 && phonetic > 0) {
                --phonetic;
            } else if (std::strcmp(element, "t") == 0) {
                inText = false;
            }
        } else if (node == XmlPullText && inText) {
            size_t length = 0;
            const char* text = XmlPullValue(xml.xml(), &length);
            if (current.size() + length > kMaxStringBytes)
                return Fail("its shared strings are too large");
            current.append(text, length);
        }
    }
    return node == XmlPullEnd || Fail("its shared strings could not be read: " + xml.Problem());
}

bool Workbook::ReadStyles(const std::string& name) {
    const PackagePart* part = package_.Find(name.c_str());
    if (!part)
        return true; // no styles: every number in the General form
    PartXml xml;
    if (!xml.Open(package_, *part))
        return Fail(xml.Problem());
    std::vector<std::pair<long, std::string>> codes;
    bool inCellXfs = false;
    int node;
    while ((node = XmlPullNext(xml.xml())) > 0) {
        const char* element = XmlPullName(xml.xml());
        if (node == XmlPullEndElement && std::strcmp(element, "cellXfs") == 0)
            inCellXfs = false;
        if (node != XmlPullElement)
            continue;
        if (std::strcmp(element, "numFmt") == 0) {
            const char* id = XmlPullAttribute(xml.xml(), "numFmtId");
            const char* code = XmlPullAttribute(xml.xml(), "formatCode");
            if (!id || !code)
                return Fail("its styles break their schema");
            codes.emplace_back(std::strtol(id, nullptr, 10), code);
            if (codes.size() > kMaxStyles)
                return Fail("it holds too many number formats");
        } else if (std::strcmp(element, "cellXfs") == 0) {
            inCellXfs = !XmlPullIsEmpty(xml.xml());
        } else if (std::strcmp(element, "xf") == 0 && inCellXfs) {
            const char* id = XmlPullAttribute(xml.xml(), "numFmtId");
            NumberFormat format;
            format.id = id ? static_cast<int>(std::strtol(id, nullptr, 10)) : 0;
            for (const auto& code : codes)
                if (code.first == format.id)
                    format.code = code.second;
            styles_.push_back(format);
            if (styles_.size() > kMaxStyles)
                return Fail("it holds too many cell styles");
        }
    }
    return node == XmlPullEnd || Fail("its styles could not be read: " + xml.Problem());
}
