// The mailing-list reader over arbitrary file bytes: the delimiter choice,
// every record, the counting pass and the sending pass must agree with the
// plain whole-text reading (tests/support/reference_list), and nothing may
// read or write out of bounds. The input is read from memory, not from disk.
#include "reference_list.h"

#include "control.h"
#include "data/mailing_list.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "list_reader_fuzz: %s differs from the reference\n", what);
        std::abort();
    }
}

std::vector<std::string> Values(const ListRecord& record) {
    std::vector<std::string> values;
    for (int i = 0; i < record.count; ++i)
        values.emplace_back(record.values[i]);
    return values;
}

void CheckRecords(const std::string& path, const ReferenceText& delivered) {
    const ReferenceList expected = ReferenceReadRecords(delivered, ListDelimiter);
    ListFile* file = OpenListFile(path.c_str());
    Expect(file != nullptr, "opening");
    ListRecord record;
    size_t n = 0;
    while (ReadListRecord(file, &record)) {
        Expect(n < expected.records.size(), "the number of records");
        Expect(Values(record) == expected.records[n].values, "a record's values");
        Expect(record.raw == expected.records[n].raw, "a record's raw text");
        Expect(record.line == expected.records[n].line, "a record's line");
        Expect(record.count < record.capacity, "the value array");
        ++n;
    }
    Expect(n == expected.records.size(), "the number of records");
    Expect(ListFileStopReason(file) == expected.stopReason, "the stop");
    Expect(ListFileStopLine(file) == expected.stopLine, "the stop line");
    CloseListFile(file);
    FreeListRecord(&record);
}

struct Skip {
    long line;
    int reason;
    std::string value;
};

void CollectSkip(void* context, const ListRecord& record, ListSkipReason reason,
                 const char* value) {
    static_cast<std::vector<Skip>*>(context)->push_back({record.line, reason, value});
}

void CheckSkips(const std::vector<Skip>& skips, const ReferencePass& expected) {
    Expect(skips.size() == expected.skips.size(), "the number of records passed over");
    for (size_t i = 0; i < skips.size(); ++i) {
        Expect(skips[i].line == expected.skips[i].line, "a passed-over record's line");
        Expect(skips[i].reason == expected.skips[i].reason, "why a record was passed over");
        Expect(skips[i].value == expected.skips[i].value, "a passed-over record's value");
    }
}

void CheckPasses(const std::string& path, const ReferenceText& delivered) {
    const ReferencePass expected = ReferenceRecipients(delivered, ListDelimiter);
    MailingList list;
    std::vector<Skip> skips;
    list.onSkipped = CollectSkip;
    list.skipContext = &skips;
    ListFile* file = OpenListFile(path.c_str());
    char address[kListAddressSize];
    char headerRaw[kListRawSize] = "";
    int calls = 0;
    while (ReadNextRecipient(&list, file, calls, address, calls == 0 ? headerRaw : nullptr, nullptr,
                             &list.header, &list.current)) {
        const size_t i = static_cast<size_t>(calls++);
        Expect(i < expected.recipients.size(), "the number of recipients");
        Expect(address == expected.recipients[i].address, "an address");
        Expect(Values(list.current) == expected.recipients[i].values, "a recipient's values");
    }
    Expect(static_cast<size_t>(calls) == expected.recipients.size(), "the number of recipients");
    Expect(list.emailColumn == expected.emailColumn, "the e-mail column");
    Expect(headerRaw == expected.headerRaw, "the header's raw text");
    Expect(ListFileStopLine(file) == expected.stopLine, "the counting pass's stop line");
    CheckSkips(skips, expected);
    skips.clear();
    CloseListFile(file);

    // The sending pass: the same recipients with their raw texts.
    file = OpenListFile(path.c_str());
    char recordRaw[kListRawSize];
    size_t sent = 0;
    for (int n = 0;
         ReadNextRecipient(&list, file, n, address, nullptr, recordRaw, nullptr, &list.current);
         ++n, ++sent) {
        Expect(sent < expected.recipients.size(), "the sending pass's recipients");
        Expect(address == expected.recipients[sent].address, "a sent address");
        Expect(recordRaw == expected.recipients[sent].raw, "a sent raw text");
    }
    Expect(sent == expected.recipients.size(), "the sending pass's recipients");
    CheckSkips(skips, expected);
    CloseListFile(file);
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Once for the whole run; the record of file calls (each input's opens)
    // would grow until it alone ran the fuzzer out of memory.
    static const bool ready = (substitute::Reset(), substitute::RecordFileCalls(false), true);
    (void)ready;
    // The name decides the delimiter when the text holds both or neither.
    const std::string path = size % 2 ? "C:\\list.csv" : "C:\\list.txt";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Read from memory: the reader opens the list four times or more per
    // input, and a disk file each time would cost most of the run.
    substitute::SetMemoryFile(path, bytes);

    const ReferenceText delivered = ReferenceDeliveredText(bytes);
    SelectListDelimiter(path.c_str());
    Expect(ListDelimiter == ReferenceDelimiter(delivered.text, path), "the delimiter");
    CheckRecords(path, delivered);
    CheckPasses(path, delivered);
    return 0;
}
