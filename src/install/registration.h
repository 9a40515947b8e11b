// Self-registration as a client extension of the mail client: what the
// library's exports DllRegisterServer and DllUnregisterServer do when the
// system's self-registration tool or the installer calls them.
#pragma once

#include "platform.h"

// Writes the extension value "Quorvel", naming the file of `library`, under
// the machine-wide client-extensions key (which the mail client's own set-up
// creates; it is never created here), rewrites the client's "Outlook Setup
// Extension" value and deletes the client's extension cache, so that the
// client reads its extensions afresh at its next start. S_OK when the
// "Quorvel" value was written; otherwise a failing result, so that no caller
// reports an extension that will never load as registered.
HRESULT RegisterExtension(HMODULE library);

// Deletes the value "Quorvel"; when there was one, rewrites "Outlook Setup
// Extension" and deletes the extension cache. Always S_OK: unregistering
// what is not registered is not a failure, and repeating it is harmless.
HRESULT UnregisterExtension();
