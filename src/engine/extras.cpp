// A record's attachments, Cc and Bcc: checked as the record is read in
// either pass, the ones that cannot be mailed as asked passed over (and
// logged in the sending pass); the files attached to the record's copy.
#include "engine/job_run.h"

#include "base/utf8.h"
#include "client/host_application.h"

#include <cstdio>

namespace {
// The most of a path or value a log line shows.
constexpr size_t kShownExtraSize = 400;
} // namespace

bool JobRun::ExtrasUsable(bool logNotSent) {
    if (!extraColumnsFound_) {
        // The header is read in the counting pass and kept for the job.
        FindRecordExtraColumns(&list_.header, &extraColumns_);
        // A list of one column called "Cc" mails its values: they are the
        // addresses, not copies to them.
        if (list_.emailColumn == 0 && list_.header.count == 1)
            extraColumns_ = RecordExtraColumns();
        ListFolderUtf8(MailingJob::jobListPath, listFolder_, sizeof listFolder_);
        extraColumnsFound_ = true;
    }
    const RecordExtrasReason reason =
        CheckRecordExtras(&extraColumns_, &list_.current, listFolder_, &extras_);
    if (reason == RecordExtrasOk)
        return true;
    if (logNotSent) {
        char shown[kShownExtraSize];
        CopyForLogLine(shown, sizeof shown, extras_.value);
        const char* what = reason == RecordCcNotAddresses    ? "Cc"
                           : reason == RecordBccNotAddresses ? "Bcc"
                                                             : "the attachment";
        char text[kShownExtraSize + 128];
        std::snprintf(text, sizeof text, "Not sent: line %ld, %s \"%s\" %s", list_.current.line,
                      what, shown, RecordExtrasReasonText(reason));
        Log(text);
    }
    return false;
}

bool JobRun::AttachRecordFiles() {
    if (extras_.fileCount == 0)
        return true;
    step_ = JobStep::AttachingFiles;
    SetProgressStatus("Attaching Files", MailingJob::sentCount + 1, recipientCount_);
    ComRef<IMessage> message = AsMessage(copyMessage_);
    for (int i = 0; i < extras_.count; ++i) {
        if (extras_.items[i].kind != RecordExtraFile)
            continue;
        const char* path = RecordExtraText(&extras_, i);
        HRESULT storeResult = S_OK;
        const MessageStore::AttachResult result = MessageStore::AttachFile(
            message.Get(), path, RecordExtraName(&extras_, i), &storeResult);
        if (result == MessageStore::AttachResult::Attached)
            continue;
        char shown[kShownExtraSize];
        CopyForLogLine(shown, sizeof shown, path);
        char why[64];
        switch (result) {
        case MessageStore::AttachResult::FileTooLarge:
            std::snprintf(why, sizeof why, "is larger than 2 GB");
            break;
        case MessageStore::AttachResult::StoreFailed:
            std::snprintf(why, sizeof why, "could not be attached (0x%08X)",
                          static_cast<unsigned>(static_cast<ULONG>(storeResult)));
            break;
        case MessageStore::AttachResult::NoMemory:
            std::snprintf(why, sizeof why, "could not be attached: not enough memory");
            break;
        default:
            std::snprintf(why, sizeof why, "cannot be read");
            break;
        }
        char text[kShownExtraSize + 128];
        std::snprintf(text, sizeof text, "Not sent: line %ld, the attachment \"%s\" %s",
                      list_.current.line, shown, why);
        Log(text);
        message.Reset();
        DeleteCopy();
        return false;
    }
    // The attachments saved with the message before the client moves it.
    const HRESULT saved = MessageStore::SaveMessage(message.Get());
    if (FAILED(saved)) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "Not sent: line %ld, its attachments could not be saved (0x%08X)",
                      list_.current.line, static_cast<unsigned>(static_cast<ULONG>(saved)));
        Log(text);
        message.Reset();
        DeleteCopy();
        return false;
    }
    return true;
}

// A copy that lacks a file its record names must not go, nor wait in the
// drafts to be sent by hand: it is deleted. Should the client refuse, the
// log says so.
void JobRun::DeleteCopy() {
    copyMessage_.Reset();
    try {
        HostApplication::Delete(copyItem_.Get());
    } catch (...) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "The unfinished copy for message %d could not be deleted from the Drafts",
                      MailingJob::sentCount + 1);
        Log(text);
    }
    copyItem_.Reset();
}
