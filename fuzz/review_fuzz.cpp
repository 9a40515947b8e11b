// The review over arbitrary header, records and message texts: reading the
// tokens of the subject, the body and an HTML body (tags and comments left
// out, unterminated ones included), suggesting columns, telling records and
// describing the findings into buffers of every size must stay within the
// memory it is given, and its counts must add up. Every value is also taken
// as a file name: its form told and its full path resolved against a
// drive, a share and no folder (never longer than its room, no "." or ".."
// left in a full path, resolving it again changes nothing), and each
// record's values are told to the review as the files, Cc and Bcc its copy
// carries, so that the tallies and their description are fuzzed too. A
// record with a value too long to merge is told as the job tells it, and the
// subject is made one line as a merged one is: no line break is left in it,
// and it never grows.
//
// Input: the header's names, then the subject, the body and the HTML body,
// then records, separated by 0x1E; names and values separated by 0x1F; a
// record's first value is its address.
#include "data/attachment_paths.h"
#include "data/merge.h"
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

// The path rules over one value, whatever it holds.
void ResolvePaths(const std::string& value) {
    // Devices and the like are refused before they are resolved.
    const AttachmentPathKind kind = KindOfAttachmentPath(value.c_str());
    const bool file = kind == AttachmentPathKind::Local || kind == AttachmentPathKind::Network;
    // One folder a value, by turns (a drive, a share, none), in every
    // room: the values of an input meet all three, and resolving each value
    // against all three made this most of the target's time.
    const size_t turn = value.size() % 3;
    size_t folderIndex = 0;
    for (const char* folder : {"C:\\Lists", "\\\\srv\\share\\lists", ""}) {
        if (folderIndex++ != turn)
            continue;
        for (size_t room : {size_t{1}, size_t{16}, size_t{2048}}) {
            // The small rooms exactly that large, so that a write past them is caught.
            static char wide[2048];
            char one[1], sixteen[16];
            char* out = room == 1 ? one : room == 16 ? sixteen : wide;
            const size_t n = FullAttachmentPath(folder, value.c_str(), out, room);
            if (n >= room || (n > 0 && std::strlen(out) != n))
                std::abort();
            if (n == 0 || room < sizeof wide)
                continue;
            const std::string full(out, n);
            if (full.find('/') != std::string::npos)
                std::abort();
            if (!folder[0] || !file)
                continue;
            // A full path holds no "." or ".." component and is its own resolution.
            const std::string wrapped = "\\" + full + "\\";
            if (wrapped.find("\\.\\") != std::string::npos ||
                wrapped.find("\\..\\") != std::string::npos)
                std::abort();
            static char again[2048];
            const size_t m = FullAttachmentPath("", full.c_str(), again, sizeof again);
            if (m != n || std::memcmp(again, full.data(), n) != 0)
                std::abort();
            if (AttachmentPathIsUnder(full.c_str(), full.c_str()) ||
                !SameAttachmentPath(full.c_str(), full.c_str()))
                std::abort();
        }
    }
}

// The record's values after its address as what its copy carries: by turns
// a file, a Cc and a Bcc address.
void TellCarried(MailingReview& review, const ListRecord& record) {
    static RecordExtras extras; // large: reused, as the job reuses its own
    extras.count = extras.networkFiles = 0;
    std::string block;
    for (int i = 1; i < record.count && extras.count < kMaxRecordExtraItems; ++i) {
        const RecordExtraKind kind = static_cast<RecordExtraKind>(i % 3);
        const size_t at = block.size();
        block.append(record.values[i]).push_back('\0');
        extras.items[extras.count++] = RecordExtraItem{
            kind, at, at, static_cast<uint64_t>(block.size()) * 977, (i & 4) != 0, (i & 8) != 0};
        extras.networkFiles += kind == RecordExtraFile && (i & 8) ? 1 : 0;
    }
    extras.block = block.data();
    review.AddCarried(record, extras);
    extras.block = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts =
        Split(std::string(reinterpret_cast<const char*>(data), size), '\x1E');
    if (parts.size() < 4)
        return 0;
    // The header and the review are reused from input to input, as a job
    // reuses its own: a fresh review is some 40 KB to clear, and the
    // record's value storage a block to allocate, for every input.
    static ListRecord header;
    ClearListRecord(&header);
    Fill(&header, parts[0]);
    static MailingReview review;
    review.Clear();
    if (!review.Begin(&header, 0, parts[1].c_str(), parts[2].c_str(),
                      parts[3].empty() ? nullptr : parts[3].c_str()))
        std::abort();
    long told = 0;
    static ListRecord record;
    for (size_t i = 4; i < parts.size(); ++i) {
        ClearListRecord(&record);
        Fill(&record, parts[i]);
        record.line = static_cast<long>(i);
        const int tooLong = FieldOverMergeLimit(&header, &record);
        if (tooLong >= header.count)
            std::abort();
        if (record.count == 0 || record.values[0][0] == '\0')
            review.AddPassedOver(record, ListSkipNoAddress);
        else if (tooLong >= 0)
            review.AddNotBuildable(record, "a value has more than 511 characters",
                                   header.values[tooLong]);
        else if (review.AddRecipient(record, record.values[0]))
            ++told;
        for (int v = 0; v < record.count; ++v)
            ResolvePaths(record.values[v]);
        TellCarried(review, record);
    }
    if (review.Recipients() != told)
        std::abort();
    std::string subject = parts[1];
    const size_t breaks = FlattenSubjectLines(subject.data());
    const std::string flat(subject.c_str());
    if (flat.size() > parts[1].size() || (breaks == 0 && flat != parts[1].substr(0, flat.size())) ||
        flat.find_first_of("\r\n") != std::string::npos ||
        flat.find("\xC2\x85") != std::string::npos ||
        flat.find("\xE2\x80\xA8") != std::string::npos ||
        flat.find("\xE2\x80\xA9") != std::string::npos)
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
        review.DescribeCarried(text.data(), room);
        if (std::memchr(text.data(), '\0', room) == nullptr)
            std::abort();
    }
    return 0;
}
