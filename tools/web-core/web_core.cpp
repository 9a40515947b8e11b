// The web add-in's core: the data layer's list reader, record checks, review
// and merge behind a few C calls, for the task pane to call from TypeScript
// when this is built as WebAssembly (and for the native tests, which call the
// same functions). Every answer is one JSON object, UTF-8, valid until the
// next call; texts go in as UTF-8, NUL-terminated, in memory the caller got
// from qv_alloc.
//
// The pane calls qv_start once, puts the list (and the files its records
// name) into the program's file system, then:
//   qv_choose_sheet(list, sheet, hidden)  a workbook's sheet and hidden rows,
//                                         before each review
//   qv_review(list, subject, body, html, sent)
//                                         the counting pass and the review, the
//                                         recipients of the mailing's sent list
//                                         (`sent`, null for none) already mailed
//   qv_copy(index)                        one recipient's copy, for the preview
//   qv_first_copy(), qv_next_copy()       every copy in list order, for sending
#include "web_core.h"

#include "base/utf8.h"
#include "control.h"
#include "data/job_progress.h"
#include "data/list_file.h"
#include "data/mailing_list.h"
#include "data/merged_texts.h"
#include "data/record_checks.h"
#include "data/review.h"
#include "data/workbook_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace {

// A header may name several fields for an address; this many are weighed
// by their usable addresses, as the desktop's counting pass weighs them.
constexpr int kAddressColumnsWeighed = 16;

class Json {
public:
    void Open() { Separate(), text_ += '{', first_ = true; }
    void Close() { text_ += '}', first_ = false; }
    void OpenArray(const char* key) { Key(key), text_ += '[', first_ = true; }
    void CloseArray() { text_ += ']', first_ = false; }
    void Key(const char* key) {
        Separate();
        Quote(key);
        text_ += ':';
        first_ = true;
    }
    void String(const char* key, const char* value) {
        if (key)
            Key(key);
        else
            Separate();
        Quote(value ? value : "");
        first_ = false;
    }
    void Number(const char* key, long long value) {
        Key(key);
        text_ += std::to_string(value);
        first_ = false;
    }
    void NumberItem(long long value) {
        Separate();
        text_ += std::to_string(value);
        first_ = false;
    }
    void Bool(const char* key, bool value) {
        Key(key);
        text_ += value ? "true" : "false";
        first_ = false;
    }
    void ObjectInArray() {
        Separate();
        text_ += '{';
        first_ = true;
    }
    const std::string& Text() const { return text_; }
    void Clear() { text_.clear(), first_ = true; }

private:
    void Separate() {
        if (!first_)
            text_ += ',';
    }
    // UTF-8 passes through; what JSON cannot hold raw is escaped, and so
    // are U+2028 and U+2029, which JavaScript once took as line ends.
    void Quote(const char* s) {
        text_ += '"';
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
            const unsigned char c = *p;
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += static_cast<char>(c);
            } else if (c == '\n') {
                text_ += "\\n";
            } else if (c == '\r') {
                text_ += "\\r";
            } else if (c == '\t') {
                text_ += "\\t";
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                text_ += escaped;
            } else if (c == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
                text_ += p[2] == 0xA8 ? "\\u2028" : "\\u2029";
                p += 2;
            } else {
                text_ += static_cast<char>(c);
            }
        }
        text_ += '"';
    }
    std::string text_;
    bool first_ = true;
};

struct Session {
    std::string listPath;
    std::string subject, body, html;
    bool hasHtml = false;
    int emailColumn = -1;
    long recipients = 0;
    long alreadySent = 0; // mailed by an earlier run (the sent list)
    long skipped = 0;     // passed over, or not mailable as they ask
    MailingList list;
    // The mailing's ledger: the sent list the pane keeps, a record for each
    // copy that went (the header first), taken by address as the desktop's
    // continue takes them.
    SentRecords sent;
    bool hasSent = false;
    char headerRaw[kListRawSize] = "";
    char recordRaw[kListRawSize] = "";
    ListFile* file = nullptr;
    long read = 0;
    long mailed = 0; // copies handed out by the pass under way
    bool reviewBegun = false;
    // How many records of each address (as the review compares them) the
    // copies pass has met: a copy's occurrence tells apart the copies of an
    // address the list holds more than once, and stays the same when the
    // mailing is continued from its sent list.
    std::unordered_map<std::string, long> seen;
    long occurrence = 0;
    char address[kListAddressSize] = "";
    RecordChecks checks;
    MergedTexts texts;
    MailingReview review;
    Json answer;

    void ClosePass() {
        if (file)
            CloseListFile(file);
        file = nullptr;
    }
    bool OpenPass() {
        ClosePass();
        file = OpenListFile(listPath.c_str());
        read = 0;
        mailed = 0;
        return file != nullptr;
    }
    bool Next(bool withHeader) {
        const int got = ReadNextRecipient(&list, file, read > 0 ? 1 : 0, address,
                                          read == 0 ? headerRaw : nullptr, recordRaw,
                                          withHeader ? &list.header : nullptr, &list.current);
        if (got != 1)
            return false;
        ++read;
        return true;
    }
};

Session& TheSession() {
    static Session* session = new Session();
    return *session;
}

const char* Answer(const Json& json) {
    return json.Text().c_str();
}

// An address as the review compares repeats: letter case aside (the reader
// has already taken the blanks around it away).
std::string AddressKey(const char* address) {
    std::string key = address;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// A raw record without the line end the list gave it.
std::string WithoutLineEnd(const char* raw) {
    std::string text = raw;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

const char* Failure(Session& s, const char* why, long line = 0) {
    s.answer.Clear();
    s.answer.Open();
    s.answer.String("error", why);
    if (line > 0)
        s.answer.Number("line", line);
    s.answer.Close();
    return Answer(s.answer);
}

// The review starts once the header is known, before the first record is
// told to it (a record passed over is told while the reader looks for the
// next recipient).
void BeginReview(Session& s) {
    if (s.reviewBegun)
        return;
    s.reviewBegun = true;
    if (!s.review.Begin(&s.list.header, s.list.emailColumn, s.subject.c_str(), s.body.c_str(),
                        s.hasHtml ? s.html.c_str() : nullptr))
        s.review.Clear();
}

void PassedOver(void* context, const ListRecord& record, ListSkipReason reason, const char*) {
    auto& s = *static_cast<Session*>(context);
    BeginReview(s);
    ++s.skipped;
    s.review.AddPassedOver(record, reason);
}

// One pass counting the recipients with the e-mail column as it stands;
// false when the list could not be read to its end.
bool Count(Session& s, bool withHeader) {
    if (!s.OpenPass())
        return false;
    s.recipients = 0;
    s.alreadySent = 0;
    s.skipped = 0;
    s.checks.Forget();
    // A browser reaches no file on another computer, and Exchange Online
    // takes no address with more than ASCII before its @: the records that
    // need either are not mailable from the start, and the review says so.
    s.checks.SetNetworkFiles(NetworkFiles::Refused);
    if (s.hasSent)
        s.sent.GiveBack();
    s.review.Clear();
    s.reviewBegun = false;
    s.list.onSkipped = PassedOver;
    s.list.skipContext = &s;
    while (s.Next(withHeader)) {
        const ListRecord& record = s.list.current;
        BeginReview(s);
        if (s.hasSent && s.sent.Take(s.address)) {
            ++s.alreadySent; // mailed before: not checked again
            s.review.AddRecipient(record, s.address);
            continue;
        }
        if (!s.checks.Usable(s.list.header, s.list.emailColumn, record, s.listPath.c_str()) ||
            !s.checks.AsciiLocalParts(s.address)) {
            char why[96];
            NotBuildableWhy(s.checks.Extras(), why, sizeof why);
            s.review.AddNotBuildable(record, why, s.checks.Extras().value);
            ++s.skipped;
            continue;
        }
        ++s.recipients;
        s.review.AddRecipient(record, s.address);
        s.review.AddAttachmentBytes(record, s.checks.Extras().totalBytes);
        s.review.AddCarried(record, s.checks.Extras());
    }
    s.list.onSkipped = nullptr;
    return ListFileStopReason(s.file) == ListStopNone;
}

void DescribeExtras(Json& json, const RecordExtras& extras) {
    json.OpenArray("cc");
    for (int i = 0; i < extras.count; ++i)
        if (extras.items[i].kind == RecordExtraCc)
            json.String(nullptr, RecordExtraText(&extras, i));
    json.CloseArray();
    json.OpenArray("bcc");
    for (int i = 0; i < extras.count; ++i)
        if (extras.items[i].kind == RecordExtraBcc)
            json.String(nullptr, RecordExtraText(&extras, i));
    json.CloseArray();
    json.OpenArray("attachments");
    for (int i = 0; i < extras.count; ++i) {
        const RecordExtraItem& item = extras.items[i];
        if (item.kind != RecordExtraFile)
            continue;
        json.ObjectInArray();
        json.String("path", RecordExtraText(&extras, i));
        json.String("name", RecordExtraName(&extras, i));
        json.Number("size", static_cast<long long>(item.size));
        json.Bool("outside", item.outside);
        json.Close();
    }
    json.CloseArray();
}

// A record of the pass that cannot be mailed as it asks: told, never passed
// over in silence, so that the pane logs it and counts it as not sent.
const char* NotSentAnswer(Session& s) {
    char why[1024];
    s.checks.NotSentText(s.list.current.line, why, sizeof why);
    s.answer.Clear();
    s.answer.Open();
    s.answer.Bool("notSent", true);
    s.answer.Number("line", s.list.current.line);
    s.answer.String("to", s.address);
    s.answer.String("why", why);
    s.answer.Close();
    return Answer(s.answer);
}

// The copy of the record the pass stands at, merged.
const char* CopyAnswer(Session& s) {
    const ListRecord& record = s.list.current;
    s.answer.Clear();
    s.answer.Open();
    const MergeResult merged = s.texts.Merge(s.list.header, record);
    if (merged != MergeResult::Merged) {
        s.answer.String("error",
                        merged == MergeResult::Failed ? "Mail merge failed" : "not enough memory");
        s.answer.Number("line", record.line);
        s.answer.Close();
        return Answer(s.answer);
    }
    s.answer.Number("index", s.mailed - 1);
    s.answer.Number("line", record.line);
    s.answer.String("to", s.address);
    s.answer.Number("occurrence", s.occurrence);
    s.answer.String("key", (AddressKey(s.address) + "#" + std::to_string(s.occurrence)).c_str());
    // The record as the list holds it, for the pane to add to the sent list
    // once the copy has gone.
    s.answer.String("record", WithoutLineEnd(s.recordRaw).c_str());
    DescribeExtras(s.answer, s.checks.Extras());
    s.answer.String("subject", s.texts.Subject());
    s.answer.String("body", s.texts.Body());
    if (s.texts.HtmlBody())
        s.answer.String("html", s.texts.HtmlBody());
    s.answer.Close();
    return Answer(s.answer);
}

// The mailing's sent list, read with the list's delimiter (it holds the
// list's own records); the reason the mailing cannot go on, or null.
const char* LoadSentList(Session& s, const char* sentList) {
    if (!sentList || !*sentList)
        return nullptr;
    switch (s.sent.Load(sentList)) {
    case SentListOk:
        s.hasSent = true;
        break;
    case SentListMissing:
        return nullptr; // nothing has gone yet
    case SentListBroken:
        return "The mailing's sent list cannot be read to its end: nothing is sent, so that "
               "nobody gets a second copy.";
    case SentListNoMemory:
        return "not enough memory";
    }
    if (!s.sent.HasAddressColumn() && s.sent.Count() > 0)
        return "The mailing's sent list names no e-mail address field.";
    return nullptr;
}

// A header may name several fields for an address ("Email Opt-In" before
// "Email Address"): the one with the most usable addresses is mailed, and
// the list is counted again with it. False when that count could not end.
bool ChooseAddressColumn(Session& s) {
    int columns[kAddressColumnsWeighed];
    const int count = AddressColumns(&s.list.header, columns, kAddressColumnsWeighed);
    if (count < 2)
        return true;
    const int best = BestAddressColumn(s.listPath.c_str(), columns, count);
    if (best < 0 || best == s.list.emailColumn)
        return true;
    s.list.emailColumn = best;
    const bool counted = Count(s, false);
    s.ClosePass();
    return counted;
}

void WriteColumns(Json& json, const ListRecord& header) {
    RecordExtraColumns extra;
    FindRecordExtraColumns(&header, &extra);
    json.Key("columns");
    json.Open();
    const auto names = [&](const char* key, const int* columns, int count) {
        json.OpenArray(key);
        for (int i = 0; i < count; ++i)
            json.String(nullptr, header.values[columns[i]]);
        json.CloseArray();
    };
    names("files", extra.attachment, extra.attachmentCount);
    names("cc", extra.cc, extra.ccCount);
    names("bcc", extra.bcc, extra.bccCount);
    json.Close();
}

// What the copies carry, as the review counted it: the first few of each
// with their copies (the whole count is in "carried").
void WriteTally(Json& json, const char* key, const CarriedTally& carried, bool files) {
    json.OpenArray(key);
    for (int i = 0; i < carried.ShownCount(); ++i) {
        const CarriedTally::Item* item = carried.Shown(i);
        if (!item)
            continue;
        json.ObjectInArray();
        json.String(files ? "path" : "address", carried.Text(i));
        if (!files)
            json.String("kind", item->flags & CarriedTally::kBcc ? "bcc" : "cc");
        json.Number("copies", item->copies);
        json.Number("firstLine", item->firstLine);
        if (files) {
            json.Number("size", static_cast<long long>(item->size));
            json.Bool("outside", (item->flags & CarriedTally::kOutside) != 0);
            json.Bool("network", (item->flags & CarriedTally::kNetwork) != 0);
        }
        json.Close();
    }
    json.CloseArray();
    json.Number(files ? "distinctFiles" : "distinctAddresses",
                static_cast<long long>(carried.Distinct()));
}

void WriteFindings(Json& json, const MailingReview& review) {
    json.OpenArray("findings");
    for (int i = 0; i < review.FindingCount(); ++i) {
        const ReviewFinding& finding = review.Finding(i);
        json.ObjectInArray();
        json.Number("kind", static_cast<int>(finding.kind));
        json.String("subject", finding.subject);
        json.String("suggestion", finding.suggestion);
        json.Number("count", finding.count);
        json.OpenArray("lines");
        for (int k = 0; k < ReviewFinding::kLinesKept && k < finding.count; ++k)
            json.NumberItem(finding.lines[k]);
        json.CloseArray();
        json.Close();
    }
    json.CloseArray();
    static char text[16384];
    review.Describe(text, sizeof text);
    json.String("described", text);
    review.DescribeCarried(text, sizeof text);
    json.String("carried", text);
}

void WriteReview(Session& s, const WorkbookListFacts* workbook) {
    Json& json = s.answer;
    json.Clear();
    json.Open();
    json.Number("recipients", s.recipients);
    json.Number("alreadySent", s.alreadySent);
    json.Number("skipped", s.skipped);
    json.String("header", WithoutLineEnd(s.headerRaw).c_str());
    json.String("emailField", s.list.header.values[s.emailColumn]);
    json.OpenArray("fields");
    for (int i = 0; i < s.list.header.count; ++i)
        json.String(nullptr, s.list.header.values[i]);
    json.CloseArray();
    WriteColumns(json, s.list.header);
    WriteTally(json, "files", s.review.Files(), true);
    WriteTally(json, "extraAddresses", s.review.CopiesTo(), false);
    json.Bool("clean", s.review.Clean());
    json.Bool("incomplete", s.review.Incomplete());
    json.Number("networkCopies", s.review.NetworkCopies());
    WriteFindings(json, s.review);
    if (workbook) {
        json.Key("workbook");
        json.Open();
        json.Number("sheet", workbook->sheet);
        json.Number("hiddenRows", workbook->hiddenRows);
        json.Bool("includeHidden", workbook->includeHidden);
        json.String("notes", DescribeWorkbookNotes(*workbook).c_str());
        json.OpenArray("sheets");
        for (const WorkbookListFacts::Sheet& sheet : workbook->sheets)
            json.String(nullptr, sheet.name.c_str());
        json.CloseArray();
        json.Close();
    }
    json.Close();
}

} // namespace

extern "C" {

void qv_start() {
    substitute::Reset();
    // A long list checks many files: the calls are not kept for a test to read.
    substitute::RecordFileCalls(false);
}

void qv_choose_sheet(const char* listPath, const char* sheetName, int includeHidden) {
    ResetWorkbookChoiceUnless(listPath);
    WorkbookChoice.sheet = -1;
    WorkbookChoice.sheetName = sheetName ? sheetName : "";
    WorkbookChoice.includeHidden = includeHidden != 0;
}

char* qv_alloc(size_t bytes) {
    return static_cast<char*>(std::malloc(bytes ? bytes : 1));
}

void qv_free(char* block) {
    std::free(block);
}

const char* qv_review(const char* listPath, const char* subject, const char* body, const char* html,
                      const char* sentList) {
    Session& s = TheSession();
    s.ClosePass();
    s.review.Clear();
    s.sent.Clear();
    s.hasSent = false;
    s.listPath = listPath ? listPath : "";
    s.subject = subject ? subject : "";
    s.body = body ? body : "";
    s.hasHtml = html != nullptr;
    s.html = html ? html : "";
    s.recipients = 0;
    s.emailColumn = -1;
    s.list.emailColumn = -1;
    ResetWorkbookChoiceUnless(s.listPath.c_str());
    SelectListDelimiter(s.listPath.c_str());
    if (const char* refused = LoadSentList(s, sentList))
        return Failure(s, refused);
    if (!Count(s, true)) {
        if (!s.file)
            return Failure(s, "The mailing list cannot be opened.");
        char why[400];
        std::snprintf(why, sizeof why,
                      "The mailing list could not be read at line %ld (%s). Nothing will be "
                      "sent.",
                      ListFileStopLine(s.file), ListFileStopText(s.file));
        const long line = ListFileStopLine(s.file);
        s.ClosePass();
        return Failure(s, why, line);
    }
    WorkbookListFacts facts;
    const bool workbook = TakeWorkbookFacts(ListFileWorkbook(s.file), &facts);
    s.ClosePass();
    if (s.list.emailColumn < 0)
        return Failure(s, "The mailing list has no field for the e-mail address.");
    if (!ChooseAddressColumn(s))
        return Failure(s, "The mailing list changed while it was read.");
    s.emailColumn = s.list.emailColumn;
    s.texts.SetOriginal(s.subject.c_str(), s.body.c_str(), s.hasHtml ? s.html.c_str() : nullptr);
    if (!s.texts.Reserve(s.hasHtml))
        return Failure(s, "not enough memory");
    WriteReview(s, workbook ? &facts : nullptr);
    return Answer(s.answer);
}

const char* qv_first_copy() {
    Session& s = TheSession();
    if (s.emailColumn < 0)
        return Failure(s, "No list has been reviewed.");
    s.list.emailColumn = s.emailColumn;
    if (!s.OpenPass())
        return Failure(s, "The mailing list cannot be opened.");
    // The columns found afresh from the header this pass reads first; files
    // on other computers are not looked at from the pane.
    s.checks.Forget();
    s.checks.SetNetworkFiles(NetworkFiles::Refused);
    if (s.hasSent)
        s.sent.GiveBack();
    s.seen.clear();
    return qv_next_copy();
}

const char* qv_next_copy() {
    Session& s = TheSession();
    if (!s.file)
        return Failure(s, "No pass is under way.");
    while (s.Next(false)) {
        s.occurrence = ++s.seen[AddressKey(s.address)];
        if (s.hasSent && s.sent.Take(s.address))
            continue;
        if (!s.checks.Usable(s.list.header, s.emailColumn, s.list.current, s.listPath.c_str()) ||
            !s.checks.AsciiLocalParts(s.address))
            return NotSentAnswer(s);
        ++s.mailed;
        return CopyAnswer(s);
    }
    const bool stopped = ListFileStopReason(s.file) != ListStopNone;
    const long line = ListFileStopLine(s.file);
    const std::string why = stopped ? ListFileStopText(s.file) : "";
    s.ClosePass();
    if (stopped)
        return Failure(s, ("The mailing list could not be read (" + why + ").").c_str(), line);
    s.answer.Clear();
    s.answer.Open();
    s.answer.Bool("end", true);
    s.answer.Number("copies", s.mailed);
    s.answer.Close();
    return Answer(s.answer);
}

const char* qv_copy(long index) {
    Session& s = TheSession();
    if (index < 0 || index >= s.recipients)
        return Failure(s, "No such recipient.");
    const char* answer = qv_first_copy();
    while (s.file && s.mailed - 1 < index)
        answer = qv_next_copy();
    s.ClosePass();
    return answer;
}

size_t qv_answer_size() {
    return TheSession().answer.Text().size();
}

} // extern "C"
