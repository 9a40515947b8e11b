#include "data/record_checks.h"

#include "base/data_paths.h"
#include "base/utf8.h"
#include "data/attachment_paths.h"
#include "data/merge.h"

#include <cstdio>
#include <cstring>

namespace {
// The most of a path or value a log line shows.
constexpr size_t kShownExtraSize = 400;
} // namespace

void NotBuildableWhy(const RecordExtras& extras, char* why, size_t size) {
    const RecordExtrasReason reason = extras.reason;
    const char* what = reason == RecordCcNotAddresses    ? "its Cc"
                       : reason == RecordBccNotAddresses ? "its Bcc"
                       : reason == RecordValueTooLong    ? "a value"
                       : reason == RecordAddressNotAscii ? "an address"
                                                         : "an attachment";
    std::snprintf(why, size, "%s %s", what, RecordExtrasReasonText(reason));
}

bool RecordChecks::Usable(const ListRecord& header, int emailColumn, const ListRecord& record,
                          const char* listPath) {
    if (!columnsFound_) {
        FindRecordExtraColumns(&header, &columns_);
        // A list of one column called "Cc" mails its values: they are the
        // addresses, not copies to them.
        if (emailColumn == 0 && header.count == 1)
            columns_ = RecordExtraColumns();
        FindPlaces(listPath);
        columnsFound_ = true;
    }
    // A value the merge cannot take would stop the mailing at this record
    // with nothing but "Mail merge failed"; both passes refuse the record
    // instead, so the review names it before the first copy and the sending
    // pass logs it and goes on.
    const int tooLong = FieldOverMergeLimit(&header, &record);
    if (tooLong >= 0) {
        RefuseTooLong(header.values[tooLong]);
        return false;
    }
    return CheckRecordExtras(&columns_, &record, &places_, &extras_) == RecordExtrasOk;
}

namespace {
// The local part ends at the last @: a quoted one may hold another.
bool AsciiBeforeAt(const char* address) {
    const char* at = std::strrchr(address, '@');
    for (const char* p = address; at && p < at; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}
} // namespace

bool RecordChecks::AsciiLocalParts(const char* to) {
    const char* refused = to && !AsciiBeforeAt(to) ? to : nullptr;
    for (int i = 0; !refused && i < extras_.count; ++i)
        if (extras_.items[i].kind != RecordExtraFile &&
            !AsciiBeforeAt(RecordExtraText(&extras_, i)))
            refused = RecordExtraText(&extras_, i);
    if (!refused)
        return true;
    Refuse(RecordAddressNotAscii, refused);
    return false;
}

void RecordChecks::RefuseTooLong(const char* fieldName) {
    Refuse(RecordValueTooLong, fieldName);
}

// The record is not mailed: what it carries is dropped, its reason kept.
void RecordChecks::Refuse(RecordExtrasReason reason, const char* value) {
    extras_.reason = reason;
    CopyUtf8(extras_.value, sizeof extras_.value, value);
    extras_.fileCount = extras_.ccCount = extras_.bccCount = 0;
    extras_.networkFiles = 0;
    extras_.count = 0;
    extras_.totalBytes = 0;
    extras_.blockUsed = 0;
}

// The places files are compared with, each as a full path resolved the way
// a file's own is, so that "..\appdata\Quorvel\tosent.txt" meets the sent
// list however it is written.
void RecordChecks::FindPlaces(const char* listPath) {
    char text[3 * 260];
    ListFolderUtf8(listPath, text, sizeof text);
    FullAttachmentPath("", text, listFolder_, sizeof listFolder_);
    AnsiToUtf8(listPath, text, sizeof text);
    FullAttachmentPath("", text, listPath_, sizeof listPath_);
    ListFolderUtf8(DataPaths.sentList, text, sizeof text);
    FullAttachmentPath("", text, dataFolder_, sizeof dataFolder_);
    places_.listFolder = listFolder_;
    places_.listPath = listPath_;
    places_.dataFolder = dataFolder_;
}

void RecordChecks::CarriedText(char* text, size_t size) const {
    DescribeRecordExtras(&extras_, true, "; ", text, size);
}

const char* RecordChecks::WhatFailed() const {
    return extras_.reason == RecordCcNotAddresses    ? "Cc"
           : extras_.reason == RecordBccNotAddresses ? "Bcc"
           : extras_.reason == RecordValueTooLong    ? "the value of"
           : extras_.reason == RecordAddressNotAscii ? "the address"
                                                     : "the attachment";
}

void RecordChecks::NotSentText(long line, char* text, size_t size) const {
    char shown[kShownExtraSize];
    CopyForLogLine(shown, sizeof shown, extras_.value);
    std::snprintf(text, size, "Not sent: line %ld, %s \"%s\" %s", line, WhatFailed(), shown,
                  RecordExtrasReasonText(extras_.reason));
}
