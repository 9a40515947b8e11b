// Activation contexts: the library's own manifest (resource 2), made active
// around the calls that create windows and open common dialogs.
#include "windows_internal.h"

#include <string>

namespace substitute::detail {
namespace {

const HANDLE kActivationContext = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x20040));

} // namespace

void RecordManifestCall(const char* call) {
    State().manifestCalls.push_back(std::string(call) +
                                    (State().activeContexts > 0 ? " (active)" : " (none)"));
}

} // namespace substitute::detail

namespace substitute {

using namespace detail;

const std::vector<std::string>& ManifestCalls() {
    return State().manifestCalls;
}

unsigned ActivationContextsCreated() {
    return State().contextsCreated;
}

void FailActivation(DWORD error) {
    State().activationError = error;
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

HANDLE WINAPI CreateActCtxA(const ACTCTXA* context) {
    const DWORD wanted = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    if (!context || context->cbSize != sizeof(ACTCTXA) || (context->dwFlags & wanted) != wanted ||
        context->lpResourceName != MAKEINTRESOURCEA(2) || context->hModule != LibraryModule()) {
        Fault("CreateActCtxA not from the library's manifest resource 2");
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ++State().contextsCreated;
    return kActivationContext;
}

BOOL WINAPI ActivateActCtx(HANDLE context, ULONG_PTR* cookie) {
    if (State().activationError) {
        SetLastError(State().activationError);
        return FALSE;
    }
    if (context != kActivationContext) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *cookie = static_cast<ULONG_PTR>(++State().activeContexts);
    return TRUE;
}

BOOL WINAPI DeactivateActCtx(DWORD, ULONG_PTR cookie) {
    if (cookie != static_cast<ULONG_PTR>(State().activeContexts)) {
        Fault("DeactivateActCtx out of order");
        return FALSE;
    }
    --State().activeContexts;
    return TRUE;
}
