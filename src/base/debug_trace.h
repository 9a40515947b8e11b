// Diagnostic trace points. The delivered library produces no output from
// them; they stay in the code as markers of the host's calls into it, and the
// format checks keep their arguments honest.
#pragma once

#include "platform.h"

void DebugTrace(const char* format, ...) QV_PRINTF_FORMAT(1, 2);
