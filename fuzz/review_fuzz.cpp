// The review over arbitrary header, records and message texts: reading the
// tokens of the subject, the body and an HTML body (tags and comments left
// out, unterminated ones included), suggesting columns, telling records and
// describing the findings into buffers of every size must stay within the
// memory it is given, and its counts must add up.
//
// Input: the header's names, then the subject, the body and the HTML body,
// then records, separated by 0x1E; names and values separated by 0x1F; a
// record's first value is its address.
#include "data/review.h"

#include <cstdint>
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
    for (const std::string& value : Split(part, '\x1F'))
        AddListValue(record, value.data(), value.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts =
        Split(std::string(reinterpret_cast<const char*>(data), size), '\x1E');
    if (parts.size() < 4)
        return 0;
    ListRecord header;
    Fill(&header, parts[0]);
    MailingReview review;
    if (!review.Begin(&header, 0, parts[1].c_str(), parts[2].c_str(),
                      parts[3].empty() ? nullptr : parts[3].c_str()))
        std::abort();
    long told = 0;
    for (size_t i = 4; i < parts.size(); ++i) {
        ListRecord record;
        Fill(&record, parts[i]);
        record.line = static_cast<long>(i);
        if (record.count == 0 || record.values[0][0] == '\0')
            review.AddPassedOver(record, ListSkipNoAddress);
        else if (review.AddRecipient(record, record.values[0]))
            ++told;
        FreeListRecord(&record);
    }
    if (review.Recipients() != told)
        std::abort();
    for (int i = 0; i < review.FindingCount(); ++i)
        if (review.Finding(i).count < 0)
            std::abort();
    // Every size of buffer, each one exactly that large, so that a write past
    // it is caught; the text ends within it.
    for (size_t room : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, size_t{4096}}) {
        std::vector<char> text(room);
        review.Describe(text.data(), room);
        if (std::memchr(text.data(), '\0', room) == nullptr)
            std::abort();
    }
    FreeListRecord(&header);
    return 0;
}
