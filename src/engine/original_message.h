// The composed message as the job found it: saved, and its subject, plain
// body and (when it has one) HTML body copied for the whole job, as UTF-8.
// Which source gives the HTML body depends on the host's version and, on
// hosts 10 and 11, on the body format the host reports.
#pragma once

#include "client/com_ref.h"
#include "engine/job_pump.h"

class OriginalMessage {
public:
    // Reads the message of compose item `item` and its store `message`.
    // False, the user told where a message box belongs, when the job ends.
    bool Capture(IDispatch* item, IUnknown* message, JobPump* pump);

    const char* Subject() const { return subject_.Get(); }
    const char* Body() const { return body_.Get(); }
    // Null when the copies get no HTML body.
    const char* HtmlBody() const { return htmlBody_ ? htmlBody_.Get() : nullptr; }
    // The HTML body, for the tokens the editor split to be mended in place.
    char* MutableHtmlBody() { return htmlBody_ ? htmlBody_.Get() : nullptr; }

private:
    bool CaptureSubject(IDispatch* item, IUnknown* message, JobPump* pump);
    bool CaptureBody(IUnknown* message, JobPump* pump);
    bool CaptureBodyFormat(IDispatch* item, JobPump* pump);
    bool CaptureHtmlBody(IDispatch* item, IUnknown* message, JobPump* pump);

    Utf8Text subject_, body_, htmlBody_;
    LONG bodyFormat_ = 0;
};

// The store message of an item as IMessage; a message that is missing or not
// an IMessage raises, as using it would (call it inside ClientCall).
ComRef<IMessage> AsMessage(IUnknown* message);
