// The mailing-list reader written the plain way over a whole text in memory,
// step by step as its rules read: the reference the streaming reader must
// agree with (the reader's differential test and its fuzz target use it).
// Values and raw texts are given as C strings see them: up to a NUL byte.
#pragma once

#include <string>
#include <vector>

// The text the reading layer delivers for a file's bytes: without a byte-order
// mark, text mode (CR LF reads as LF, Ctrl+Z ends the text); after a UTF-8 or
// UTF-16LE mark, that text converted to the ANSI code page.
std::string ReferenceDeliveredText(const std::string& fileBytes);

// The delimiter chosen for a file: 0 comma, 1 tab.
int ReferenceDelimiter(const std::string& deliveredText, const std::string& path);

struct ReferenceRecord {
    std::vector<std::string> values;
    std::string raw;
};

struct ReferenceList {
    std::vector<ReferenceRecord> records; // every record read, in order
    bool stopped = false;                 // a record's raw text reached 512 bytes
    long stopLine = 0;                    // the physical line where that record starts
};

ReferenceList ReferenceReadRecords(const std::string& deliveredText, int delimiter);

struct ReferenceRecipient {
    std::string address;
    std::string raw;
    std::vector<std::string> values; // the record as the merge sees it
};

struct ReferencePass {
    int emailColumn = -1;
    bool headerRead = false;
    std::string headerRaw;
    std::vector<std::string> header;
    std::vector<ReferenceRecipient> recipients;
    bool stopped = false;
    long stopLine = 0;
};

// One pass of recipients as the counting pass sees them.
ReferencePass ReferenceRecipients(const std::string& deliveredText, int delimiter);
