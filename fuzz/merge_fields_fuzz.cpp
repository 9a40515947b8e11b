// The merge over arbitrary header, record and text: measuring and replacing
// must give what the plain field-by-field merge gives (tests/support/
// reference_merge), byte for byte and failures included, and never write
// outside the room it is given; measuring under a ceiling near the text's
// size must fail where the plain merge fails.
//
// Input: one byte choosing the room, then the header's names, the record's
// values and the text, separated by 0x1E; names and values separated by 0x1F.
#include "reference_merge.h"

#include "data/merge.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        size_t next = s.find(separator, at);
        parts.push_back(s.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            return parts;
        at = next + 1;
    }
}

void Fill(ListRecord* record, const std::string& part) {
    if (part.empty())
        return;
    for (const std::string& value : Split(part, '\x1F'))
        AddListValue(record, value.data(), value.size());
}

struct Outcome {
    int result;
    int need;
    std::string text;
};

// Runs one merge in a buffer of exactly the room given (or of the text, if
// larger), so that a write past the room is caught.
Outcome Run(int (*merge)(char*, int, const ListRecord*, const ListRecord*, int*),
            const std::string& text, int capacity, const ListRecord& header,
            const ListRecord& record, bool measure) {
    const size_t room = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    std::vector<char> buffer(room > text.size() ? room : text.size() + 1);
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    Outcome o{0, -1, ""};
    o.result = merge(buffer.data(), capacity, &header, &record, measure ? &o.need : nullptr);
    o.text = buffer.data();
    return o;
}

void Compare(const std::string& text, int capacity, const ListRecord& header,
             const ListRecord& record, bool measure) {
    const Outcome expected = Run(ReferenceMergeFields, text, capacity, header, record, measure);
    const Outcome actual = Run(MergeFields, text, capacity, header, record, measure);
    if (actual.result != expected.result || actual.text != expected.text ||
        actual.need != expected.need) {
        std::fprintf(stderr, "merge_fields_fuzz: %s differs (result %d/%d, need %d/%d)\n",
                     measure ? "measuring" : "replacing", actual.result, expected.result,
                     actual.need, expected.need);
        std::abort();
    }
}

// Measuring under a ceiling near the text's size, so that a count that
// would pass it is met with short inputs.
void CompareWithin(const std::string& text, int ceiling, const ListRecord& header,
                   const ListRecord& record) {
    std::string expectedText = text, actualText = text;
    int expectedNeed = -1, actualNeed = -1;
    const int expected = ReferenceMergeFieldsWithin(expectedText.data(), 0, &header, &record,
                                                    &expectedNeed, ceiling);
    const int actual =
        MergeFieldsWithin(actualText.data(), 0, &header, &record, &actualNeed, ceiling);
    if (actual != expected || actualNeed != expectedNeed || actualNeed > ceiling ||
        actualText != text) {
        std::fprintf(stderr,
                     "merge_fields_fuzz: measuring within %d differs (result %d/%d, need %d/%d)\n",
                     ceiling, actual, expected, actualNeed, expectedNeed);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned choice = data[0];
    const std::vector<std::string> parts =
        Split(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), '\x1E');
    ListRecord header;
    ListRecord record;
    Fill(&header, parts[0]);
    if (parts.size() > 1)
        Fill(&record, parts[1]);
    std::string text = parts.size() > 2 ? parts[2] : "";
    text = text.c_str(); // a text ends at its NUL

    Compare(text, 0, header, record, true);
    int need = 0;
    std::string copy = text;
    const bool measured = ReferenceMergeFields(copy.data(), 0, &header, &record, &need) != 0;
    const int length = static_cast<int>(text.size());
    const int ceiling = length + static_cast<int>(choice) * 4 - 64;
    CompareWithin(text, ceiling > kMergeMinimumNeed ? ceiling : kMergeMinimumNeed, header, record);
    switch (choice % 3) {
    case 0: // the job's room
        if (measured)
            Compare(text, need + 1, header, record, false);
        break;
    case 1: // little room: substitutions fail part way
        Compare(text, length + static_cast<int>(choice / 3) - 20, header, record, false);
        break;
    default: // plenty of room
        Compare(text, length + 8192, header, record, false);
        break;
    }
    FreeListRecord(&header);
    FreeListRecord(&record);
    return 0;
}
