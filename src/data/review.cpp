#include "data/review.h"

#include "data/review_internal.h"

#include "base/utf8.h"
#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kFirstAddressSlots = 1024;
// A token longer than this is no field name anyone typed; it is shown cut.
constexpr size_t kTokenShown = 120;

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(const char* value) {
    for (; *value; ++value)
        if (*value != ' ' && *value != '\t')
            return false;
    return true;
}

// The header field `name` (length n) names, letter case aside; -1 for none.
int FieldNamed(const ListRecord* header, const char* name, size_t n) {
    for (int i = 0; i < header->count; ++i) {
        const char* field = header->values[i];
        if (std::strlen(field) != n)
            continue;
        size_t k = 0;
        while (k < n && UpperAscii(field[k]) == UpperAscii(name[k]))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

// The edit distance (insertions, deletions, substitutions, and swaps of two
// neighbours) between two short texts, letter case aside; capped at 99.
int Distance(const char* a, size_t n, const char* b, size_t m) {
    constexpr size_t kMost = 64;
    if (n > kMost || m > kMost)
        return 99;
    static thread_local int rows[3][kMost + 1];
    int* before = rows[0];
    int* last = rows[1];
    int* now = rows[2];
    for (size_t j = 0; j <= m; ++j)
        last[j] = static_cast<int>(j);
    for (size_t i = 1; i <= n; ++i) {
        now[0] = static_cast<int>(i);
        for (size_t j = 1; j <= m; ++j) {
            const bool same = UpperAscii(a[i - 1]) == UpperAscii(b[j - 1]);
            int best = last[j - 1] + (same ? 0 : 1);
            if (last[j] + 1 < best)
                best = last[j] + 1;
            if (now[j - 1] + 1 < best)
                best = now[j - 1] + 1;
            if (i > 1 && j > 1 && UpperAscii(a[i - 1]) == UpperAscii(b[j - 2]) &&
                UpperAscii(a[i - 2]) == UpperAscii(b[j - 1]) && before[j - 2] + 1 < best)
                best = before[j - 2] + 1;
            now[j] = best;
        }
        int* spare = before;
        before = last;
        last = now;
        now = spare;
    }
    return last[m];
}

// The first "cc" in [p, end), or null. Bounded scans only: a body of
// millions of tokens must cost time in proportion to its length.
const char* FindDouble(const char* p, const char* end, char c) {
    while (p < end) {
        const auto* at = static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
        if (!at || at + 1 >= end)
            return nullptr;
        if (at[1] == c)
            return at;
        p = at + 1;
    }
    return nullptr;
}

// A token's text with the markup of an HTML body left out: tags, comments.
size_t WithoutMarkup(const char* text, size_t n, char* out, size_t size) {
    size_t used = 0;
    for (size_t i = 0; i < n;) {
        if (text[i] == '<') {
            const bool comment = n - i >= 4 && std::memcmp(text + i, "<!--", 4) == 0;
            const char* end =
                comment ? nullptr : static_cast<const char*>(std::memchr(text + i, '>', n - i));
            if (comment) {
                for (size_t k = i + 4; k + 3 <= n; ++k)
                    if (std::memcmp(text + k, "-->", 3) == 0) {
                        end = text + k + 2;
                        break;
                    }
            }
            if (end) {
                i = static_cast<size_t>(end - text) + 1;
                continue;
            }
        }
        if (used + 1 < size)
            out[used++] = text[i];
        ++i;
    }
    out[used < size ? used : size - 1] = '\0';
    return used;
}

const char* const kWhat[] = {
    "have no e-mail address and will not be mailed",
    "have a value in the e-mail column that is not one e-mail address, and will not be mailed",
    "repeat an address of an earlier record: that recipient gets more than one copy",
    "",
    "",
    "",
};

} // namespace

uint64_t ReviewTextHash(const char* text) {
    // Folded a piece at a time: addresses and paths are short, but a
    // Cc value may be long.
    char piece[256];
    uint64_t hash = 14695981039346656037ULL;
    for (const char* p = text; *p;) {
        const size_t n = Utf8Prefix(p, std::strlen(p), sizeof piece - 1);
        std::memcpy(piece, p, n);
        piece[n] = '\0';
        FoldLetterCase(piece, piece, n + 1);
        for (size_t i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(piece[i])) * 1099511628211ULL;
        p += n;
    }
    return hash ? hash : 1;
}

bool MailingReview::Begin(const ListRecord* header, int emailColumn, const char* subject,
                          const char* body, const char* html) {
    Clear();
    emailColumn_ = emailColumn;
    FindColumns(header, emailColumn);
    const char* texts[] = {subject, body, html};
    for (int t = 0; t < 3; ++t) {
        const char* text = texts[t];
        if (!text)
            continue;
        const char* end = text + std::strlen(text);
        for (const char* open = FindDouble(text, end, '['); open;
             open = FindDouble(open + 2, end, '[')) {
            const char* close = FindDouble(open + 2, end, ']');
            if (!close)
                break;
            // "[[[[x]]" is "[[" before a token: the token is the last "[[".
            const char* inner = open + 2;
            for (const char* again = FindDouble(inner, close, '['); again;
                 again = FindDouble(inner, close, '['))
                inner = again + 2;
            char name[512];
            const size_t n =
                t == 2 ? WithoutMarkup(inner, static_cast<size_t>(close - inner), name, sizeof name)
                       : static_cast<size_t>(close - inner);
            if (t != 2) {
                const size_t kept = n < sizeof name ? n : sizeof name - 1;
                std::memcpy(name, inner, kept);
                name[kept] = '\0';
            }
            open = close;
            const int field = n < sizeof name ? FieldNamed(header, name, n) : -1;
            if (field >= 0) {
                bool known = false;
                for (int u = 0; u < usedCount_; ++u)
                    known = known || usedFields_[u] == field;
                if (!known && usedCount_ < kFindingsKept && field != emailColumn) {
                    CopyUtf8(usedNames_[usedCount_], sizeof usedNames_[0], header->values[field]);
                    usedFields_[usedCount_++] = field;
                }
                continue;
            }
            char shown[kTokenShown + 8];
            CopyForLogLine(shown, sizeof shown, name);
            ReviewFinding* finding = FindingFor(ReviewFindingKind::UnknownToken, shown);
            if (!finding)
                continue;
            if (finding->count++ == 0) {
                int best = 99;
                const size_t length = std::strlen(name);
                for (int i = 0; i < header->count; ++i) {
                    const char* field = header->values[i];
                    const int d = Distance(name, length, field, std::strlen(field));
                    const int allowed = length < 8 ? 1 : length < 16 ? 2 : 3;
                    if (d <= allowed && d < best) {
                        best = d;
                        CopyUtf8(finding->suggestion, sizeof finding->suggestion, field);
                    }
                }
            }
        }
    }
    return true;
}

ReviewFinding* MailingReview::FindingFor(ReviewFindingKind kind, const char* subject) {
    for (int i = 0; i < findingCount_; ++i)
        if (findings_[i].kind == kind && std::strcmp(findings_[i].subject, subject) == 0)
            return &findings_[i];
    if (findingCount_ == kFindingsKept)
        return nullptr;
    ReviewFinding* finding = &findings_[findingCount_++];
    *finding = ReviewFinding();
    finding->kind = kind;
    CopyUtf8(finding->subject, sizeof finding->subject, subject);
    return finding;
}

void MailingReview::Note(ReviewFinding* finding, long line, long firstLine, const char* value) {
    if (!finding)
        return;
    if (finding->count < ReviewFinding::kLinesKept) {
        finding->lines[finding->count] = line;
        finding->firstLines[finding->count] = firstLine;
        if (value)
            CopyForLogLine(finding->values[finding->count], sizeof finding->values[0], value);
    }
    ++finding->count;
}

void MailingReview::AddNotBuildable(const ListRecord& record, const char* why, const char* value) {
    Note(FindingFor(ReviewFindingKind::NotBuildable, why), record.line, 0, value);
}

void MailingReview::AddAttachmentBytes(const ListRecord& record, uint64_t bytes) {
    if (bytes <= kLargeAttachmentBytes)
        return;
    char size[32];
    std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    Note(FindingFor(ReviewFindingKind::LargeAttachments, ""), record.line, 0, size);
}

void MailingReview::AddPassedOver(const ListRecord& record, ListSkipReason reason) {
    Note(FindingFor(reason == ListSkipNoAddress ? ReviewFindingKind::NoAddress
                                                : ReviewFindingKind::NotOneAddress,
                    ""),
         record.line, 0);
}

bool MailingReview::AddRecipient(const ListRecord& record, const char* address) {
    ++recipients_;
    for (int u = 0; u < usedCount_; ++u) {
        const int field = usedFields_[u];
        if (field < record.count && !IsBlank(record.values[field]))
            continue;
        Note(FindingFor(ReviewFindingKind::EmptyField, usedNames_[u]), record.line, 0);
    }
    long firstLine = 0;
    if (!SeenAddress(ReviewTextHash(address), record.line, &firstLine))
        return !incomplete_;
    Note(FindingFor(ReviewFindingKind::RepeatedAddress, ""), record.line, firstLine);
    return true;
}

void MailingReview::AddComposedRecipient(const char* address) {
    ReviewFinding* finding = FindingFor(ReviewFindingKind::OnComposed, address);
    if (finding)
        ++finding->count;
}

bool MailingReview::SeenAddress(uint64_t hash, long line, long* firstLine) {
    if ((addressesUsed_ + 1) * 4 > addressSlots_ * 3 && !GrowAddresses()) {
        incomplete_ = true;
        return false;
    }
    size_t at = static_cast<size_t>(hash) & (addressSlots_ - 1);
    while (addresses_[at].hash != 0) {
        if (addresses_[at].hash == hash) {
            *firstLine = addresses_[at].line;
            return true;
        }
        at = (at + 1) & (addressSlots_ - 1);
    }
    addresses_[at].hash = hash;
    addresses_[at].line = line;
    ++addressesUsed_;
    return false;
}

bool MailingReview::GrowAddresses() {
    const size_t slots = addressSlots_ ? addressSlots_ * 2 : kFirstAddressSlots;
    auto* grown = static_cast<AddressSlot*>(MemAlloc(slots * sizeof(AddressSlot)));
    if (!grown)
        return false;
    std::memset(grown, 0, slots * sizeof(AddressSlot));
    for (size_t i = 0; i < addressSlots_; ++i) {
        if (addresses_[i].hash == 0)
            continue;
        size_t at = static_cast<size_t>(addresses_[i].hash) & (slots - 1);
        while (grown[at].hash != 0)
            at = (at + 1) & (slots - 1);
        grown[at] = addresses_[i];
    }
    MemFree(addresses_);
    addresses_ = grown;
    addressSlots_ = slots;
    return true;
}

void MailingReview::Clear() {
    MemFree(addresses_);
    addresses_ = nullptr;
    addressSlots_ = 0;
    addressesUsed_ = 0;
    findingCount_ = 0;
    recipients_ = 0;
    incomplete_ = false;
    usedCount_ = 0;
    emailColumn_ = -1;
    files_.Clear();
    copiesTo_.Clear();
    networkCopies_ = 0;
    checkedCopies_ = 0;
    columns_[0] = '\0';
    addressColumns_ = 0;
}

size_t MailingReview::MemoryBytes() const {
    return addressSlots_ * sizeof(AddressSlot);
}

void ReviewWriter::operator()(const char* format, ...) {
    if (used_ + 1 >= size_)
        return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text_ + used_, size_ - used_, format, args);
    va_end(args);
    if (n > 0)
        used_ +=
            static_cast<size_t>(n) < size_ - used_ ? static_cast<size_t>(n) : size_ - used_ - 1;
}

namespace {

void WriteLines(ReviewWriter& out, const ReviewFinding& f, bool withFirst,
                bool withValues = false) {
    const long shown = f.count < ReviewFinding::kLinesKept ? f.count : ReviewFinding::kLinesKept;
    out(shown == 1 ? ": line " : ": lines ");
    for (long i = 0; i < shown; ++i) {
        out(i ? ", %ld" : "%ld", f.lines[i]);
        if (withFirst)
            out(" (as line %ld)", f.firstLines[i]);
        if (withValues)
            out(" (%s)", f.values[i]);
    }
    if (f.count > shown)
        out(" and %ld more", f.count - shown);
    out(".");
}

} // namespace

void MailingReview::Describe(char* text, size_t size) const {
    ReviewWriter out(text, size);
    bool first = true;
    auto paragraph = [&] {
        if (!first)
            out("\r\n\r\n");
        first = false;
    };
    // Kinds in the order a user would mend them: what will not be mailed,
    // then what will be mailed wrongly.
    static const ReviewFindingKind kOrder[] = {
        ReviewFindingKind::NoAddress,    ReviewFindingKind::NotOneAddress,
        ReviewFindingKind::NotBuildable, ReviewFindingKind::RepeatedAddress,
        ReviewFindingKind::EmptyField,   ReviewFindingKind::UnknownToken,
        ReviewFindingKind::OnComposed,   ReviewFindingKind::LargeAttachments};
    for (const ReviewFindingKind kindInOrder : kOrder) {
        const int kind = static_cast<int>(kindInOrder);
        for (int i = 0; i < findingCount_; ++i) {
            const ReviewFinding& f = findings_[i];
            if (f.kind != kindInOrder)
                continue;
            paragraph();
            const bool one = f.count == 1;
            switch (f.kind) {
            case ReviewFindingKind::NoAddress:
            case ReviewFindingKind::NotOneAddress:
            case ReviewFindingKind::RepeatedAddress: {
                char what[160];
                std::snprintf(what, sizeof what, "%s", kWhat[kind]);
                if (one) {
                    // "have" / "repeat" read for one record as "has" / "repeats".
                    if (std::strncmp(what, "have", 4) == 0)
                        std::snprintf(what, sizeof what, "has%s", kWhat[kind] + 4);
                    else
                        std::snprintf(what, sizeof what, "repeats%s", kWhat[kind] + 6);
                }
                out("%ld record%s %s", f.count, one ? "" : "s", what);
                WriteLines(out, f, f.kind == ReviewFindingKind::RepeatedAddress);
                break;
            }
            case ReviewFindingKind::EmptyField:
                out("\"%s\" is used in the message but empty for %ld recipient%s, who get%s the "
                    "message with nothing in its place",
                    f.subject, f.count, one ? "" : "s", one ? "s" : "");
                WriteLines(out, f, false);
                break;
            case ReviewFindingKind::UnknownToken:
                out("\"[[%s]]\" in the message names no column of the list", f.subject);
                if (f.suggestion[0])
                    out(" (did you mean \"%s\"?)", f.suggestion);
                out(": it is sent as typed.");
                break;
            case ReviewFindingKind::NotBuildable:
                out("%ld record%s will not be mailed because %s", f.count, one ? "" : "s",
                    f.subject);
                WriteLines(out, f, false, true);
                break;
            case ReviewFindingKind::LargeAttachments:
                out("%ld cop%s carr%s attachments of more than 25 MB in all, which many "
                    "providers refuse",
                    f.count, one ? "y" : "ies", one ? "ies" : "y");
                WriteLines(out, f, false, true);
                break;
            case ReviewFindingKind::OnComposed:
                out("%s is already a recipient of the composed message: every copy goes to it "
                    "too.",
                    f.subject);
                break;
            default:
                break;
            }
        }
    }
    if (incomplete_) {
        paragraph();
        out("Memory ran short: not every record could be checked for repeated addresses.");
    }
}
