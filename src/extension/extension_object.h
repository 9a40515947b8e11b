// The extension object the mail client loads: ExchEntryPoint makes it, and
// the client installs it in each context it offers (the session, each
// explorer, each item window). It keeps the host's application object, its
// MAPI session and its version for the rest of the extension, and in the
// explorer context adds the Tools-menu entry and the watch on new compose
// windows.
#pragma once

#include "compose/client_object.h"

class TSAddIn final : public ClientObject<IExchExt> {
public:
    TSAddIn();
    ~TSAddIn() override;

    // S_OK stays in the context, S_FALSE declines it.
    HRESULT STDMETHODCALLTYPE Install(LPEXCHEXTCALLBACK callback, ULONG context,
                                      ULONG flags) override;

    ULONG Context() const { return context_; }
    IDispatch* Application() const { return application_.Get(); }
    // Extension objects alive in the process.
    static ULONG LiveCount();

private:
    void Attach(IExchExtCallback* callback);
    void InstallInterface(IExchExtCallback* callback);
    void TraceCount(const char* what, ULONG count) override;

    ComRef<IDispatch> application_;
    ULONG context_ = 0;
};

// The library's factory: a new extension object whose count of 0 stands for
// the reference handed to the client; null when it cannot be made. Runs the
// library's start-up first, once.
extern "C" LPEXCHEXT CALLBACK ExchEntryPoint();
