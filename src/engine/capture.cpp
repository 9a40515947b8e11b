// Capturing the original: the composed message is saved, and its subject,
// plain body and (when it has one) HTML body are copied for the whole job.
// Which source gives the HTML body depends on the host's version and, on
// hosts 10 and 11, on the body format the host reports.
#include "engine/job_run.h"

#include "client/host_application.h"
#include "engine/message_store.h"

#include <utility>

ComRef<IMessage> AsMessage(const ComRef<IUnknown>& message) {
    return RequireAs<IMessage>(message.Get(), IID_IMessage);
}

namespace {
bool ReadsBodyFormat() {
    return HostVersion >= 10 && HostVersion < 12;
}
} // namespace

bool JobRun::CaptureOriginal() {
    return CaptureSubject() && CaptureBody() && CaptureBodyFormat() && CaptureHtmlBody();
}

bool JobRun::CaptureSubject() {
    SetStatus("Saving Original Message");
    try {
        HostApplication::Save(item_.Get());
    } catch (...) {
        ShowError("Failed saving original message. (caught)");
        return false;
    }

    SetStatus("Getting Original Subject");
    try {
        if (!MessageStore::GetSubject(AsMessage(message_).Get(), &originalSubject_))
            return false;
    } catch (...) {
        ShowError("Failed getting subject and bext body. (caught)");
        return false;
    }
    return static_cast<bool>(originalSubject_);
}

bool JobRun::CaptureBody() {
    SetStatus("Getting Original Body");
    try {
        return MessageStore::ReadBodyStream(AsMessage(message_).Get(), PR_BODY, &originalBody_) ==
               MessageStore::BodyRead::Read;
    } catch (...) {
        ShowError("Failed getting body. (caught)");
        return false;
    }
}

bool JobRun::CaptureBodyFormat() {
    bodyFormat_ = 0;
    if (!ReadsBodyFormat())
        return true;
    try {
        if (FAILED(HostApplication::TryBodyFormat(item_.Get(), &bodyFormat_))) {
            ShowError("Failed getting body format");
            return false;
        }
    } catch (...) {
        ShowError("Caught failure getting body format");
        return false;
    }
    return true;
}

bool JobRun::CaptureHtmlBody() {
    if (bodyFormat_ == olFormatPlain)
        return true; // a plain-text message: the copies get no HTML body
    SetStatus("Getting Original HTML Body");
    try {
        const ULONG tag = HostVersion < 10 ? PR_BODY_HTML : PR_HTML;
        MessageStore::BodyRead read =
            MessageStore::ReadBodyStream(AsMessage(message_).Get(), tag, &originalHtmlBody_);
        if (read == MessageStore::BodyRead::NoMemory)
            return false;
        if (read == MessageStore::BodyRead::None && ReadsBodyFormat() &&
            bodyFormat_ == olFormatHTML) {
            Utf8Text html = HostApplication::HtmlBody(item_.Get());
            if (!html) {
                ShowError("Failed getting HTMLBody");
                return false;
            }
            originalHtmlBody_ = std::move(html);
        }
    } catch (...) {
        ShowError("Failed getting HTML body");
        return false;
    }
    return true;
}
