// The MAPI helper functions of a mail client's provider (MAPIAllocateBuffer
// and its chains, HrQueryAllRows, FreeProws, FreePadrlist, OpenStreamOnFile)
// written over plain Win32 calls. Natively they are the substitute platform's
// mapi32; for the Windows build the simulated mail client ships them as its
// own mapi32.dll. These extra entry points let tests make allocations fail
// and count what is still allocated.
#pragma once

#include "platform.h" // the build's own, also when built into the client's mapi32.dll

extern "C" {
void STDAPICALLTYPE MapiRuntimeReset();
void STDAPICALLTYPE MapiRuntimeFailAllocationAt(unsigned n);
unsigned STDAPICALLTYPE MapiRuntimeAllocationCount();
size_t STDAPICALLTYPE MapiRuntimeLiveBuffers();
}
