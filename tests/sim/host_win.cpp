// On Windows the client's MAPI runtime is its own mapi32.dll, loaded in place
// of the system's; its counters are reached by name.
#include "automation.h"

namespace simtest {

void PreparePlatform() {}

size_t LiveMapiBuffers() {
    HMODULE mapi = GetModuleHandleA("mapi32.dll");
    FARPROC entry = mapi ? GetProcAddress(mapi, "MapiRuntimeLiveBuffers") : nullptr;
    if (!entry)
        return static_cast<size_t>(-1);
    using Counter = size_t(STDAPICALLTYPE*)();
    return reinterpret_cast<Counter>(reinterpret_cast<void*>(entry))();
}

} // namespace simtest
