#include "ui/debug_trace.h"

void DebugTrace(const char*, ...) {}
