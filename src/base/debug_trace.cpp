#include "base/debug_trace.h"

void DebugTrace(const char*, ...) {}
