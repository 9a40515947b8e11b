// Records and list files for the reader and merge tests, in both builds.
#pragma once

#include "data/mailing_list.h"

#include <initializer_list>
#include <string>
#include <vector>

// A ListRecord that frees itself.
class Record {
public:
    Record() = default;
    Record(std::initializer_list<std::string> values);
    explicit Record(const std::vector<std::string>& values);
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { FreeListRecord(&record_); }
    ListRecord* get() { return &record_; }
    const ListRecord* get() const { return &record_; }
    std::vector<std::string> Values() const;

private:
    ListRecord record_;
};

// The values of a record as C strings see them.
std::vector<std::string> ValuesOf(const ListRecord& record);

// A list file in the temporary folder, written with exactly these bytes;
// returns its Windows path.
std::string WriteList(const std::string& name, const std::string& bytes);
// The bytes of a UTF-16LE file holding `text`: the byte-order mark, then each
// unit low byte first.
std::string Utf16File(const std::u16string& text);

// An open list file that closes itself.
class OpenList {
public:
    explicit OpenList(const std::string& path) : file_(OpenListFile(path.c_str())) {}
    OpenList(const OpenList&) = delete;
    OpenList& operator=(const OpenList&) = delete;
    ~OpenList() { CloseListFile(file_); }
    ListFile* get() const { return file_; }

private:
    ListFile* file_;
};

// Every record ReadListRecord returns for the file, with the delimiter set.
std::vector<std::vector<std::string>> ReadAllRecords(const std::string& path, int delimiter);

// A record a pass passed over: its line, why, and the e-mail column's value.
struct SkippedRecord {
    long line;
    ListSkipReason reason;
    std::string value;
    bool operator==(const SkippedRecord& other) const {
        return line == other.line && reason == other.reason && value == other.value;
    }
};
// Collects what ReadNextRecipient tells a list's onSkipped.
void CollectSkips(MailingList* list, std::vector<SkippedRecord>* skips);

// One counting pass as the job runs it.
struct CountingPass {
    int emailColumn = -1;
    std::string headerRaw;
    std::vector<std::string> header;
    std::vector<std::string> addresses;
    std::vector<std::vector<std::string>> records; // as the merge sees them
    std::vector<SkippedRecord> skips;
    ListStopReason stop = ListStopNone;
    long stopLine = 0;
};
CountingPass RunCountingPass(const std::string& path);

// The sending pass that follows it: the record raw texts and addresses.
struct SendingPass {
    std::vector<std::string> addresses;
    std::vector<std::string> raws;
    std::vector<SkippedRecord> skips;
    ListStopReason stop = ListStopNone;
    long stopLine = 0;
};
SendingPass RunSendingPass(const std::string& path, int emailColumn);
