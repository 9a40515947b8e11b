// Natively the client's MAPI runtime is the substitute platform's.
#include "automation.h"

#include "control.h"

namespace simtest {

size_t LiveMapiBuffers() {
    return substitute::LiveMapiBuffers();
}

} // namespace simtest
