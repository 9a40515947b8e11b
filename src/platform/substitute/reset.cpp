#include "internal.h"
#include "mapi_runtime.h"

namespace substitute {

void Reset() {
    detail::ResetClock();
    detail::ResetWindows();
    detail::ResetRegistry();
    detail::ResetFiles();
    detail::ResetResources();
    detail::ResetMemory();
    detail::ResetText();
    detail::ResetHelpViewer();
    detail::ResetFace();
    MapiRuntimeReset();
}

void FailMapiAllocationAt(unsigned n) {
    MapiRuntimeFailAllocationAt(n);
}
unsigned MapiAllocationCount() {
    return MapiRuntimeAllocationCount();
}
size_t LiveMapiBuffers() {
    return MapiRuntimeLiveBuffers();
}

} // namespace substitute
