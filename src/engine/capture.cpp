// Capturing the original: the composed message is saved, and its subject,
// plain body and (when it has one) HTML body are copied for the whole job.
// Which source gives the HTML body depends on the host's version and, on
// hosts 10 and 11, on the body format the host reports.
//
// Everything is kept as UTF-8: the subject and the plain body are read as
// Unicode, and the HTML body is decoded from the code page its bytes are in,
// so that no character the user wrote is lost on the way to the copies.
#include "engine/job_run.h"

#include "client/host_application.h"
#include "engine/message_store.h"
#include "engine/store_text.h"

#include <cstring>

ComRef<IMessage> AsMessage(const ComRef<IUnknown>& message) {
    return RequireAs<IMessage>(message.Get(), IID_IMessage);
}

namespace {
bool ReadsBodyFormat() {
    return HostVersion >= 10 && HostVersion < 12;
}

// The HTML's bytes are in the code page the store gives for the message; a
// store that gives none leaves the document's own declaration, and then the
// ANSI code page. The copy is written through the host's HTMLBody, a wide
// string the client encodes itself, so the declaration is made utf-8 to
// agree with the text the job holds.
MessageStore::BodyRead ReadHtmlBody(IMessage* message, ULONG tag, Utf8Text* html) {
    Utf8Text bytes;
    MessageStore::BodyRead read = MessageStore::ReadBodyStream(message, tag, &bytes);
    if (read != MessageStore::BodyRead::Read)
        return read;
    const size_t length = std::strlen(bytes.Get());
    UINT codePage = MessageStore::GetInternetCodePage(message);
    if (codePage == 0)
        codePage = StoreText::DeclaredCodePage(bytes.Get(), length);
    if (codePage == 0)
        codePage = CP_ACP;
    *html = StoreText::HtmlToUtf8(bytes.Get(), length, codePage);
    return *html ? read : MessageStore::BodyRead::NoMemory;
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
        // PR_BODY_W: UTF-16LE bytes.
        Utf8Text wide;
        size_t length = 0;
        if (MessageStore::ReadBodyStream(AsMessage(message_).Get(), PR_BODY_W, &wide, &length) !=
            MessageStore::BodyRead::Read)
            return false;
        originalBody_ = StoreText::FromUtf16Bytes(wide.Get(), length);
        return static_cast<bool>(originalBody_);
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
            ReadHtmlBody(AsMessage(message_).Get(), tag, &originalHtmlBody_);
        if (read == MessageStore::BodyRead::NoMemory)
            return false;
        if (read == MessageStore::BodyRead::None && ReadsBodyFormat() &&
            bodyFormat_ == olFormatHTML) {
            Utf8Text html = HostApplication::HtmlBody(item_.Get());
            if (!html) {
                ShowError("Failed getting HTMLBody");
                return false;
            }
            // A wide string: whatever charset it states is no longer its own.
            originalHtmlBody_ = StoreText::HtmlToUtf8(html.Get(), std::strlen(html.Get()), CP_UTF8);
            if (!originalHtmlBody_)
                return false;
        }
    } catch (...) {
        ShowError("Failed getting HTML body");
        return false;
    }
    return true;
}
