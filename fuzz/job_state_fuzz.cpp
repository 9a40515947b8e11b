// What a continued mailing reads back, over arbitrary bytes: the job state
// file (a kill may cut it anywhere, a user may edit it) must read as found,
// unreadable or absent without reading out of bounds; the sent list must
// hold exactly the records the reader reads from it after its header, each
// taken exactly as often as it stands there, and none of any other text.
#include "control.h"
#include "data/job_progress.h"
#include "data/list_address.h"
#include "data/mailing_list.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

void CheckSentList(const std::string& path) {
    SentRecords sent;
    const SentListRead read = sent.Load(path.c_str());
    // The same file through the reader: the header, then each record's
    // address in every column named for one.
    ListFile* file = OpenListFile(path.c_str());
    Expect(file != nullptr, "the sent list does not open");
    ListRecord record;
    ListRecord header;
    int columns[16];
    int columnCount = 0;
    std::vector<std::vector<std::string>> addresses; // per candidate column
    long records = 0;
    bool first = true;
    while (ReadListRecord(file, first ? &header : &record)) {
        if (first) {
            first = false;
            columnCount = AddressColumns(&header, columns, 16);
            addresses.resize(static_cast<size_t>(columnCount));
            continue;
        }
        ++records;
        for (int c = 0; c < columnCount; ++c) {
            char address[kListAddressSize];
            if (columns[c] < record.count &&
                TakeListAddress(record.values[columns[c]], address) == 0)
                addresses[static_cast<size_t>(c)].push_back(address);
        }
    }
    const bool stopped = ListFileStopReason(file) != ListStopNone;
    CloseListFile(file);
    FreeListRecord(&record);
    FreeListRecord(&header);
    if (stopped) {
        Expect(read == SentListBroken, "a list the reader stops in was taken");
        Expect(sent.Count() == 0, "a broken sent list holds records");
        return;
    }
    Expect(read == SentListOk, "a readable sent list was refused");
    Expect(sent.Count() == records, "the number of records");
    Expect(sent.HasAddressColumn() == (columnCount > 0), "the address column");
    // The sent list holds exactly the addresses of one of the columns named
    // for an address, each as often as it stands there.
    bool matched = columnCount == 0;
    for (int c = 0; c < columnCount && !matched; ++c) {
        sent.GiveBack();
        bool all = true;
        for (const std::string& address : addresses[static_cast<size_t>(c)])
            all = sent.Take(address.c_str()) && all;
        for (const std::string& address : addresses[static_cast<size_t>(c)])
            all = !sent.Take(address.c_str()) && all;
        matched = all;
    }
    Expect(matched, "the addresses held are those of no address column");
    Expect(!sent.Take("no record of the fuzzer"), "a text never held is taken");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Once for the whole run; the record of file calls (each input's opens)
    // would grow until it alone ran the fuzzer out of memory.
    static const bool ready = (substitute::Reset(), substitute::RecordFileCalls(false), true);
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
