// One recipient's texts: the original's subject, plain body and HTML body
// with the record's values merged in (into the HTML as text, escaped), the
// subject on one line (FlattenSubjectLines). The
// buffers grow as a copy needs and are kept from one copy to the next.
#pragma once

#include "data/mailing_list.h"
#include "platform.h"

#include <cstddef>

// A text buffer regrown for every message.
class MergeBuffer {
public:
    MergeBuffer() = default;
    MergeBuffer(const MergeBuffer&) = delete;
    MergeBuffer& operator=(const MergeBuffer&) = delete;
    ~MergeBuffer() { Free(); }
    bool Resize(size_t bytes);
    void Free();
    char* Get() const { return text_; }
    explicit operator bool() const { return text_ != nullptr; }

private:
    char* text_ = nullptr;
};

// A record whose storage goes with it.
struct OwnedRecord : ListRecord {
    OwnedRecord() = default;
    OwnedRecord(const OwnedRecord&) = delete;
    OwnedRecord& operator=(const OwnedRecord&) = delete;
    ~OwnedRecord() { FreeListRecord(this); }
};

enum class MergeResult {
    Merged,
    Failed,   // a value does not merge within the limits (the user is told)
    NoMemory, // memory for the text ran out (the job ends without a word)
};

// `original` with the record's values merged into `merged`; into an HTML
// body (`html`) as text, escaped through `escaped`.
MergeResult MergeRecord(const char* original, const ListRecord& header, const ListRecord& record,
                        bool html, OwnedRecord* escaped, MergeBuffer* merged);

class MergedTexts {
public:
    // The originals the copies are made from; `html` null when there is none.
    void SetOriginal(const char* subject, const char* body, const char* html);
    // Room for the texts as they stand (the HTML body's too, `withHtml`);
    // false when memory runs out.
    bool Reserve(bool withHtml);
    // Merges the record into all three; Failed or NoMemory at the first that
    // does not merge.
    MergeResult Merge(const ListRecord& header, const ListRecord& record);
    // The subject and plain body alone, for the review's preview.
    MergeResult MergeForPreview(const ListRecord& header, const ListRecord& record);
    // `mark` put before the merged subject (a test copy's).
    bool MarkSubject(const char* mark);

    const char* Subject() const { return subject_.Get(); }
    const char* Body() const { return body_.Get(); }
    // Null when the copies get no HTML body.
    const char* HtmlBody() const { return html_ ? htmlBody_.Get() : nullptr; }

private:
    const char* originalSubject_ = "";
    const char* originalBody_ = "";
    const char* html_ = nullptr;
    MergeBuffer subject_, body_, htmlBody_;
    OwnedRecord escaped_;
};
