// The values through which the rest of the extension reaches the mail client:
// the host's application object, its MAPI session and its version, filled
// when the client installs the extension, and the record of one composed
// message that the compose window, the main dialog and the job share.
#pragma once

#include "client/com_ref.h"

// The host's application object (_Application); empty until an Install.
extern ComRef<IDispatch> ApplicationRef;
// The MAPI session the host gave in the session context; empty until then.
extern ComRef<IMAPISession> MapiSessionRef;
// The leading decimal number of the host's version text; 0.0 until read.
extern double HostVersion;

// The leading decimal number of a version text: blanks skipped, then digits
// with at most one decimal point, up to the first other character. An empty,
// null or non-numeric text gives 0.0 («11.0.0.8312» gives 11.0).
double ParseHostVersion(const char* text);

// Empties the three values, as at load time.
void ResetHostState();

// The window record of a compose window (owned by the compose-window
// integration); the context only points back at it.
struct ComposeInspector;

// One composed message. Reference-counted: the compose window's record holds
// one reference, and whoever works on the message (the main dialog, the job)
// holds its own for as long as it does, so the message stays valid even when
// the user closes or sends the window meanwhile.
class ComposeContext {
public:
    // A context for the compose item, with one reference (the caller's). The
    // item's MAPIOBJECT is read and kept; when it cannot be read the message
    // stays empty. Null when memory is exhausted.
    static ComposeContext* Create(IDispatch* mailItem);

    ULONG AddRef();
    // Releasing the last reference releases the item and the message and
    // frees the context.
    ULONG Release();

    LONG count = 1;
    ComRef<IDispatch> mailItem; // the compose item (_MailItem)
    ComRef<IUnknown> message;   // the same item as an Extended MAPI message
    ComposeInspector* owner = nullptr;
    HWND ownerWindow = nullptr; // parent of the main dialog and the job's message boxes
    LONG emailFieldIndex = -1;  // the e-mail column of the job's mailing list
    // The item's Close or Send event has come: the compose window is gone
    // and the item cannot be copied any more.
    bool itemClosed = false;

private:
    ComposeContext() = default;
    ~ComposeContext() = default;
};

// A counted reference to a context, given back when it goes (or when the
// reference is reset or given another context).
class ComposeContextRef {
public:
    ComposeContextRef() = default;
    // Takes a reference of its own on `context`.
    explicit ComposeContextRef(ComposeContext* context) : context_(context) {
        if (context_)
            context_->AddRef();
    }
    // Takes over the reference the caller owns: the one Create gives.
    static ComposeContextRef Adopt(ComposeContext* context) {
        ComposeContextRef ref;
        ref.context_ = context;
        return ref;
    }
    ComposeContextRef(const ComposeContextRef&) = delete;
    ComposeContextRef& operator=(const ComposeContextRef&) = delete;
    ComposeContextRef(ComposeContextRef&& other) noexcept : context_(other.context_) {
        other.context_ = nullptr;
    }
    ComposeContextRef& operator=(ComposeContextRef&& other) noexcept {
        if (this != &other) {
            Reset();
            context_ = other.context_;
            other.context_ = nullptr;
        }
        return *this;
    }
    ~ComposeContextRef() { Reset(); }

    // Gives the reference back now; the context may be freed here.
    void Reset() {
        if (ComposeContext* context = context_) {
            context_ = nullptr;
            context->Release();
        }
    }
    ComposeContext* operator->() const { return context_; }
    ComposeContext* Get() const { return context_; }
    explicit operator bool() const { return context_ != nullptr; }

private:
    ComposeContext* context_ = nullptr;
};
