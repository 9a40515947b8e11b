// Everything is kept as UTF-8: the subject and the plain body are read as
// Unicode, and the HTML body is decoded from the code page its bytes are in,
// so that no character the user wrote is lost on the way to the copies.
#include "engine/original_message.h"

#include "client/client_call.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "engine/mailing_job.h"
#include "engine/message_store.h"
#include "engine/store_text.h"

#include <cstring>

ComRef<IMessage> AsMessage(IUnknown* message) {
    return RequireAs<IMessage>(message, IID_IMessage);
}

namespace {
constexpr UINT kErrorFlags = MB_ICONEXCLAMATION;

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

bool OriginalMessage::Capture(IDispatch* item, IUnknown* message, JobPump* pump) {
    return CaptureSubject(item, message, pump) && CaptureBody(message, pump) &&
           CaptureBodyFormat(item, pump) && CaptureHtmlBody(item, message, pump);
}

bool OriginalMessage::CaptureSubject(IDispatch* item, IUnknown* message, JobPump* pump) {
    SetStatusText("Saving Original Message");
    if (FAILED(ClientCall("Save", [&] { HostApplication::Save(item); }))) {
        pump->Say("Failed saving original message. (caught)", kErrorFlags);
        return false;
    }
    SetStatusText("Getting Original Subject");
    bool read = false;
    if (FAILED(ClientCall("GetSubject", [&] {
            read = MessageStore::GetSubject(AsMessage(message).Get(), &subject_);
        }))) {
        pump->Say("Failed getting subject and bext body. (caught)", kErrorFlags);
        return false;
    }
    return read && subject_;
}

bool OriginalMessage::CaptureBody(IUnknown* message, JobPump* pump) {
    SetStatusText("Getting Original Body");
    bool read = false;
    if (FAILED(ClientCall("ReadBodyStream(PR_BODY_W)", [&] {
            // PR_BODY_W: UTF-16LE bytes.
            Utf8Text wide;
            size_t length = 0;
            if (MessageStore::ReadBodyStream(AsMessage(message).Get(), PR_BODY_W, &wide, &length) !=
                MessageStore::BodyRead::Read)
                return;
            body_ = StoreText::FromUtf16Bytes(wide.Get(), length);
            read = static_cast<bool>(body_);
        }))) {
        pump->Say("Failed getting body. (caught)", kErrorFlags);
        return false;
    }
    return read;
}

bool OriginalMessage::CaptureBodyFormat(IDispatch* item, JobPump* pump) {
    bodyFormat_ = 0;
    if (!ReadsBodyFormat())
        return true;
    HRESULT result = S_OK;
    if (FAILED(ClientCall("BodyFormat",
                          [&] { result = HostApplication::TryBodyFormat(item, &bodyFormat_); }))) {
        pump->Say("Caught failure getting body format", kErrorFlags);
        return false;
    }
    if (FAILED(result)) {
        pump->Say("Failed getting body format", kErrorFlags);
        return false;
    }
    return true;
}

bool OriginalMessage::CaptureHtmlBody(IDispatch* item, IUnknown* message, JobPump* pump) {
    if (bodyFormat_ == olFormatPlain)
        return true; // a plain-text message: the copies get no HTML body
    SetStatusText("Getting Original HTML Body");
    enum class Outcome { Read, Ends, NoHtmlBody };
    Outcome outcome = Outcome::Read;
    const HRESULT called = ClientCall("HTML body", [&] {
        const ULONG tag = HostVersion < 10 ? PR_BODY_HTML : PR_HTML;
        MessageStore::BodyRead read = ReadHtmlBody(AsMessage(message).Get(), tag, &htmlBody_);
        if (read == MessageStore::BodyRead::NoMemory) {
            outcome = Outcome::Ends;
            return;
        }
        if (read != MessageStore::BodyRead::None || !ReadsBodyFormat() ||
            bodyFormat_ != olFormatHTML)
            return;
        Utf8Text html = HostApplication::HtmlBody(item);
        if (!html) {
            outcome = Outcome::NoHtmlBody;
            return;
        }
        // A wide string: whatever charset it states is no longer its own.
        htmlBody_ = StoreText::HtmlToUtf8(html.Get(), std::strlen(html.Get()), CP_UTF8);
        if (!htmlBody_)
            outcome = Outcome::Ends;
    });
    if (FAILED(called)) {
        pump->Say("Failed getting HTML body", kErrorFlags);
        return false;
    }
    if (outcome == Outcome::NoHtmlBody)
        pump->Say("Failed getting HTMLBody", kErrorFlags);
    return outcome == Outcome::Read;
}
