// The start and end blocks of the job logs: the current job's log (emptied
// for every job) and the job history (appended to). Each block is a few lines
// written through a text-mode stream, so every line ends in CR LF on disk.
#pragma once

#include "platform.h"

// The start block: when (`now`: one moment for both logs of a job, so that
// they tell the same start), which version, the subject before merging, the
// mailing list and its delimiter, the number of recipients the counting pass
// found, and the options in force. Flushes the stream.
void WriteJobLogHeader(CrtFile* log, const char* subject, int count, const char* listPath,
                       const SYSTEMTIME& now);

// The end block: the result (completed non-zero when every counted recipient
// was sent), the number of messages sent, and when the job ended.
void WriteJobLogFooter(CrtFile* log, int completed, int sent);
