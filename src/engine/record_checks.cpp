#include "engine/record_checks.h"

#include "base/utf8.h"

#include <cstdio>

namespace {
// The most of a path or value a log line shows.
constexpr size_t kShownExtraSize = 400;
} // namespace

bool RecordChecks::Usable(const ListRecord& header, int emailColumn, const ListRecord& record,
                          const char* listPath) {
    if (!columnsFound_) {
        FindRecordExtraColumns(&header, &columns_);
        // A list of one column called "Cc" mails its values: they are the
        // addresses, not copies to them.
        if (emailColumn == 0 && header.count == 1)
            columns_ = RecordExtraColumns();
        ListFolderUtf8(listPath, listFolder_, sizeof listFolder_);
        columnsFound_ = true;
    }
    return CheckRecordExtras(&columns_, &record, listFolder_, &extras_) == RecordExtrasOk;
}

const char* RecordChecks::WhatFailed() const {
    return extras_.reason == RecordCcNotAddresses    ? "Cc"
           : extras_.reason == RecordBccNotAddresses ? "Bcc"
                                                     : "the attachment";
}

void RecordChecks::NotSentText(long line, char* text, size_t size) const {
    char shown[kShownExtraSize];
    CopyForLogLine(shown, sizeof shown, extras_.value);
    std::snprintf(text, size, "Not sent: line %ld, %s \"%s\" %s", line, WhatFailed(), shown,
                  RecordExtrasReasonText(extras_.reason));
}
