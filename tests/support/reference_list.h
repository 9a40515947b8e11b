// The mailing-list reader written the plain way over a whole text in memory,
// step by step as its rules read: the reference the streaming reader must
// agree with (the reader's differential test and its fuzz target use it).
// Values and raw texts are given as C strings see them: up to a NUL byte.
#pragma once

#include <string>
#include <vector>

// The text the reading layer delivers for a file's bytes, in UTF-8: after a
// UTF-8 mark, the text-mode text (CR LF reads as LF, Ctrl+Z ends the text);
// after a UTF-16LE mark, its units with CR LF as LF; without a mark, the
// text-mode text as it is when it is UTF-8 beyond ASCII, else converted from
// the ANSI code page. A NUL, or text the mark's encoding does not allow, ends
// the text before the line that holds it. Lines end in an LF, or in a CR that
// no LF follows.
struct ReferenceText {
    std::string text;
    int fault = 0; // 0, or the ListStopReason that ends the text early
    // What the record limit counts: bytes of a UTF-8 file (false); else
    // UTF-16 code units, which are the bytes of the single-byte ANSI code
    // page the substitute converts from (true).
    bool countsUnits = false;
};
ReferenceText ReferenceDeliveredText(const std::string& fileBytes);

// The delimiter chosen for a file: 0 comma, 1 tab, 2 semicolon.
int ReferenceDelimiter(const std::string& deliveredText, const std::string& path);

struct ReferenceRecord {
    std::vector<std::string> values;
    std::string raw;
    long line = 0; // where the record starts
};

struct ReferenceList {
    std::vector<ReferenceRecord> records; // every record read, in order
    int stopReason = 0;                   // the ListStopReason of a pass that stops early
    long stopLine = 0;                    // the physical line where that record starts
};

ReferenceList ReferenceReadRecords(const ReferenceText& delivered, int delimiter);

struct ReferenceRecipient {
    std::string address;
    std::string raw;
    std::vector<std::string> values; // the record as the merge sees it
};

struct ReferenceSkip {
    long line;
    int reason; // a ListSkipReason
    std::string value;
};

struct ReferencePass {
    int emailColumn = -1;
    bool headerRead = false;
    std::string headerRaw;
    std::vector<std::string> header;
    std::vector<ReferenceRecipient> recipients;
    std::vector<ReferenceSkip> skips;
    int stopReason = 0;
    long stopLine = 0;
};

// One pass of recipients as the counting pass sees them.
ReferencePass ReferenceRecipients(const ReferenceText& delivered, int delimiter);
