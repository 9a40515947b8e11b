// What a continued mailing reads back, over arbitrary bytes: the job state
// file (a kill may cut it anywhere, a user may edit it) must read as found,
// unreadable or absent without reading out of bounds; the sent list must
// hold exactly the records the reader reads from it after its header, each
// taken exactly as often as it stands there, and none of any other text.
#include "control.h"
#include "data/job_progress.h"
#include "data/mailing_list.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "job_state_fuzz: %s\n", what);
        std::abort();
    }
}

void Write(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(substitute::HostPath(path).c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The record's text as the sent list matches it: without its line break.
std::string Key(const char* raw) {
    std::string text = raw;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

void CheckSentList(const std::string& path) {
    SentRecords sent;
    const SentListRead read = sent.Load(path.c_str());
    // The same file through the reader: the header, then the records.
    ListFile* file = OpenListFile(path.c_str());
    Expect(file != nullptr, "the sent list does not open");
    ListRecord record;
    std::map<std::string, long> expected;
    long records = 0;
    bool header = true;
    std::string headerText;
    while (ReadListRecord(file, &record)) {
        if (header) {
            headerText = record.raw;
            header = false;
            continue;
        }
        ++expected[Key(record.raw)];
        ++records;
    }
    const bool stopped = ListFileStopReason(file) != ListStopNone;
    CloseListFile(file);
    FreeListRecord(&record);
    if (stopped) {
        Expect(read == SentListBroken, "a list the reader stops in was taken");
        Expect(sent.Count() == 0, "a broken sent list holds records");
        return;
    }
    Expect(read == SentListOk, "a readable sent list was refused");
    Expect(sent.Count() == records, "the number of records");
    Expect(header || sent.HeaderIs(headerText.c_str()), "the header");
    for (const auto& [text, count] : expected) {
        const std::string raw = text + "\n";
        for (long i = 0; i < count; ++i)
            Expect(sent.Take(raw.c_str()), "a record held is not taken");
        Expect(!sent.Take(raw.c_str()), "a record is taken more often than it stands");
    }
    Expect(!sent.Take("no record of the fuzzer\n"), "a text never held is taken");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (substitute::Reset(), true);
    (void)ready;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks the file; the sent list is read as a comma list.
    if (!bytes.empty() && (bytes[0] & 1)) {
        Write("C:\\JobState.txt", bytes.substr(1));
        LastJob job;
        const LastJobRead read = ReadLastJob("C:\\JobState.txt", &job);
        Expect(read == LastJobFound || read == LastJobUnreadable, "the job state's reading");
        if (read == LastJobFound) {
            Expect(job.subject != nullptr, "a found job without its subject");
            Expect(IsSameMailing(job, job.listPath, job.subject), "a job is not its own mailing");
            Expect(!job.hasDoubt || job.doubtLine > 0, "a record in doubt at no line");
        }
        return 0;
    }
    ListDelimiter = kListComma;
    Write("C:\\tosent.txt", bytes.empty() ? bytes : bytes.substr(1));
    CheckSentList("C:\\tosent.txt");
    return 0;
}
