#include "client/host_state.h"

#include "client/host_application.h"

#include <new>

ComRef<IDispatch> ApplicationRef;
ComRef<IMAPISession> MapiSessionRef;
double HostVersion = 0.0;

double ParseHostVersion(const char* text) {
    if (!text)
        return 0.0;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    double whole = 0.0;
    double fraction = 0.0;
    double scale = 1.0;
    bool point = false;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (point) {
                scale *= 10.0;
                fraction = fraction * 10.0 + (*p - '0');
            } else {
                whole = whole * 10.0 + (*p - '0');
            }
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return whole + fraction / scale;
}

void ResetHostState() {
    ApplicationRef.Reset();
    MapiSessionRef.Reset();
    HostVersion = 0.0;
}

ComposeContext* ComposeContext::Create(IDispatch* mailItem) {
    ComposeContext* context = new (std::nothrow) ComposeContext;
    if (!context)
        return nullptr;
    context->mailItem = ComRef<IDispatch>::Share(mailItem);
    try {
        context->message = HostApplication::MapiObject(mailItem);
    } catch (const HostError&) {
        context->message.Reset();
    }
    return context;
}

ULONG ComposeContext::AddRef() {
    return static_cast<ULONG>(++count);
}

ULONG ComposeContext::Release() {
    LONG left = --count;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}
