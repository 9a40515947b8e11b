// The one boundary where a failing client call becomes a result. The client
// wrappers (HostApplication, QueryAs, RequireAs, Bstr) raise a HostError; code
// above the client layer makes its calls through ClientCall, which returns
// the call's HRESULT instead and traces the failure once, with the call's
// name and the file and line it was made from. Nothing raised crosses it.
#pragma once

#include "client/com_ref.h"

#include <new>

// Traces a failing client call: "<call> failed (0x...) at <file>:<line>".
void TraceClientFailure(const char* call, HRESULT result, const char* file, int line);

// Runs `call` (a function of no arguments) and returns S_OK, or the code of
// the HostError it raised (E_OUTOFMEMORY when memory ran out on the way).
template <class Call>
HRESULT ClientCall(const char* name, Call&& call, const char* file = __builtin_FILE(),
                   int line = __builtin_LINE()) {
    try {
        call();
        return S_OK;
    } catch (const HostError& error) {
        const HRESULT code = FAILED(error.Code()) ? error.Code() : E_FAIL;
        TraceClientFailure(name, code, file, line);
        return code;
    } catch (const std::bad_alloc&) {
        TraceClientFailure(name, E_OUTOFMEMORY, file, line);
        return E_OUTOFMEMORY;
    }
}
