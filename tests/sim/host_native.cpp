// Natively the client runs over the substitute platform, whose MAPI runtime
// is the client's.
#include "automation.h"

#include "control.h"

namespace simtest {

void PreparePlatform() {
    substitute::Reset();
}

size_t LiveMapiBuffers() {
    return substitute::LiveMapiBuffers();
}

} // namespace simtest
