// The job's counting pass over a mailing list, shared by the benchmark that
// times it and the program that measures its memory, so both measure the
// same work.
#pragma once

#include "data/list_file.h"

// Reads every recipient of the list at `path`, keeping the header record and
// its raw text, as the job's first pass does. Returns the number of
// recipients, or -1 when the file cannot be opened; `stop` (when given)
// receives why reading stopped early, if it did. ListDelimiter must be chosen.
long CountingPass(const char* path, ListStopReason* stop);
