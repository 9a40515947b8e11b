// The project's heap, with allocation failures on demand.
#include "internal.h"

#include <chrono>
#include <cstdlib>

namespace substitute {
namespace {
struct MemoryState {
    unsigned calls = 0;
    unsigned failAt = 0; // absolute call number that fails; 0 = none
};
MemoryState& State() {
    static MemoryState state;
    return state;
}
bool NextCallFails() {
    MemoryState& s = State();
    ++s.calls;
    if (s.failAt && s.calls == s.failAt) {
        s.failAt = 0;
        return true;
    }
    return false;
}
} // namespace

void FailAllocationAt(unsigned n) {
    State().failAt = n ? State().calls + n : 0;
}
unsigned AllocationCount() {
    return State().calls;
}

namespace detail {
void ResetMemory() {
    State() = MemoryState{};
}
} // namespace detail
} // namespace substitute

void* MemAlloc(size_t bytes) {
    if (substitute::NextCallFails())
        return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void* MemRealloc(void* block, size_t bytes) {
    if (substitute::NextCallFails())
        return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

void MemFree(void* block) {
    std::free(block);
}

// The host's own steady clock: the virtual one stands still while code runs.
uint64_t RealMicroseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}
