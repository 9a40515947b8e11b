#include "data/list_fingerprint.h"

#include "data/list_file.h"
#include "platform.h"

#include <cstring>

namespace {

constexpr uint64_t kMultiplier = 0x9FB21C651E98DF25u;

uint64_t Fold(uint64_t lane, uint64_t word) {
    lane = (lane ^ word) * kMultiplier;
    return lane ^ (lane >> 29);
}

uint64_t Word(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

} // namespace

void ListHash::Mix(const unsigned char* block) {
    for (size_t lane = 0; lane < 4; ++lane)
        lanes_[lane] = Fold(lanes_[lane], Word(block + 8 * lane));
}

void ListHash::Add(const void* bytes, size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    bytes_ += count;
    if (pendingCount_ > 0) {
        const size_t take = count < 32 - pendingCount_ ? count : 32 - pendingCount_;
        std::memcpy(pending_ + pendingCount_, p, take);
        pendingCount_ += take;
        p += take;
        count -= take;
        if (pendingCount_ < 32)
            return;
        Mix(pending_);
        pendingCount_ = 0;
    }
    for (; count >= 32; p += 32, count -= 32)
        Mix(p);
    std::memcpy(pending_, p, count);
    pendingCount_ = count;
}

uint64_t ListHash::Value() const {
    unsigned char last[32] = {};
    std::memcpy(last, pending_, pendingCount_);
    uint64_t lanes[4];
    for (size_t lane = 0; lane < 4; ++lane)
        lanes[lane] = Fold(lanes_[lane], Word(last + 8 * lane));
    // The count tells a stream from the same stream with zeros after it.
    uint64_t value = Fold(bytes_, lanes[0]);
    for (size_t lane = 1; lane < 4; ++lane)
        value = Fold(value * kMultiplier, lanes[lane]);
    return Fold(value, bytes_);
}

bool TakeListStamp(const char* path, ListStamp* stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    stamp->size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    stamp->lastWrite = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                       data.ftLastWriteTime.dwLowDateTime;
    return true;
}

bool HashListFile(const char* path, uint64_t* bytes, uint64_t* hash) {
    ListFile* file = OpenListFile(path);
    if (!file)
        return false;
    const char* text = nullptr;
    while (ReadListText(file, &text) > 0) {
    }
    const bool whole = ListFileStopReason(file) == ListStopNone;
    ListFileReadHash(file, bytes, hash);
    CloseListFile(file);
    return whole;
}

bool ListStillSame(const char* path, const ListFingerprint& print, bool byBytes, uint64_t passBytes,
                   uint64_t passHash) {
    ListStamp now;
    const bool stamped = print.stamped && TakeListStamp(path, &now);
    if (stamped && !(now == print.stamp))
        return false;
    if (stamped && !byBytes)
        return true;
    // With the size unchanged, a pass that has read as many bytes as were
    // counted, hashed alike, holds the whole list as it was counted.
    if (stamped && passBytes == print.bytes && passHash == print.hash)
        return true;
    uint64_t bytes = 0;
    uint64_t hash = 0;
    return HashListFile(path, &bytes, &hash) && bytes == print.bytes && hash == print.hash;
}
