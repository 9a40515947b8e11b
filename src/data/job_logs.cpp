#include "data/job_logs.h"

#include "base/messages.h"
#include "base/utf8.h"
#include "data/mailing_list.h"
#include "data/settings.h"

#include <cstring>

void WriteJobLogHeader(CrtFile* log, const char* subject, int count, const char* listPath,
                       const SYSTEMTIME& now) {
    int major = 0, minor = 0;
    GetFileVersion(&major, &minor);
    const char* delimiter = ListDelimiter == kListComma       ? "Comma"
                            : ListDelimiter == kListTab       ? "Tab"
                            : ListDelimiter == kListSemicolon ? "Semicolon"
                                                              : "Unknown";

    CrtPrintf(log, "Job Started: (%d/%d/%d %d:%02d.%02d)\n", now.wMonth, now.wDay, now.wYear,
              now.wHour, now.wMinute, now.wSecond);
    CrtPrintf(log, "\t%s version: %d.%d\n", kProductName, major, minor);
    // A subject or a path that held a line break would start a line of its own.
    const size_t subjectSize = (subject ? std::strlen(subject) : 0) + 4;
    char* oneLine = static_cast<char*>(MemAlloc(subjectSize));
    if (oneLine)
        CopyForLogLine(oneLine, subjectSize, subject);
    CrtPrintf(log, "\tSubject: %s\n", oneLine ? oneLine : "");
    MemFree(oneLine);
    char path[3 * MAX_PATH + 4];
    CopyForLogLine(path, sizeof path, listPath);
    CrtPrintf(log, "\tMailing List: %s\n", path);
    CrtPrintf(log, "\t\tDelimiter: %s\n", delimiter);
    CrtPrintf(log, "\t\tEmails In File: %d\n", count);
    CrtPrintf(log, "\tOptions:\n");
    CrtPrintf(log, "\t\tPause: %d\n", JobOptions.Pause);
    if (JobOptions.DoSendRecv)
        CrtPrintf(log, "\t\tSend/Receive every %d messages\n", JobOptions.SendRecvCount);
    else
        CrtPrintf(log, "\t\tSend/Receive off\n");
    CrtPrintf(log, "\t\tSave Original: %d\n", JobOptions.SaveOrig);
    CrtFlush(log);
}

void WriteJobLogFooter(CrtFile* log, int completed, int sent) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    CrtPrintf(log, "\tResult: %s\n",
              completed ? "Completed Successfully" : "Incomplete (See Current Job Log)");
    CrtPrintf(log, "\tE-Mails Sent: %d\n", sent);
    CrtPrintf(log, "Job Ended : (%d/%d/%d %d:%02d.%02d)\n", now.wMonth, now.wDay, now.wYear,
              now.wHour, now.wMinute, now.wSecond);
}
