// Whether a mailing list is still the file that was counted and reviewed.
// The counting pass leaves the list's fingerprint: its size and last-write
// time as the file system gives them, and a hash of every byte the pass read
// (folded into the reading, ListFileReadHash, so the pass reads nothing
// twice). The sending pass compares it before its first copy, while it sends
// and at its end; a list that changed is counted and reviewed again before
// anything of the change is mailed.
//
// Size and time that are unchanged prove little on their own: a file system
// keeps the time to two seconds (FAT), and some programs that save a list
// put its old time back. So the first look of a sending pass, and its end,
// compare the bytes too; in between, the size and time are looked at, which
// costs one call. A record read in between comes from text the pass read
// after the last look, which is looked at again before the record is used.
#pragma once

#include <cstddef>
#include <cstdint>

// A hash of a stream of bytes, the same however the stream is cut into
// pieces: four 64-bit lanes, each word multiplied and folded, which do not
// wait for one another's multiplications.
class ListHash {
public:
    void Add(const void* bytes, size_t count);
    uint64_t Bytes() const { return bytes_; }
    uint64_t Value() const;

private:
    void Mix(const unsigned char* block); // 32 bytes
    uint64_t lanes_[4] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u,
                          0x27D4EB2F165667C5u};
    unsigned char pending_[32] = {};
    size_t pendingCount_ = 0;
    uint64_t bytes_ = 0;
};

// The list file's size and last-write time, as the file system keeps them.
struct ListStamp {
    uint64_t size = 0;
    uint64_t lastWrite = 0; // 100 ns units, as FILETIME
    bool operator==(const ListStamp& other) const {
        return size == other.size && lastWrite == other.lastWrite;
    }
};
// False when the file cannot be looked at.
bool TakeListStamp(const char* path, ListStamp* stamp);

struct ListFingerprint {
    bool taken = false;   // set by the counting pass
    bool stamped = false; // the size and time could be had
    ListStamp stamp;
    uint64_t bytes = 0; // what the pass read
    uint64_t hash = 0;
};

// The bytes of the whole list at `path`, read as a pass reads them, and
// their hash. False when it cannot be read to its end.
bool HashListFile(const char* path, uint64_t* bytes, uint64_t* hash);

// Whether the list at `path` is still the one `print` describes. With
// `byBytes`, equal size and time are not enough: the bytes are compared as
// well, with those a pass open on the file has read (`passBytes`,
// `passHash`) when that pass already holds all of them, otherwise by reading
// the file once more. Without it, the size and time decide, and the bytes
// only when the size and time cannot be had.
bool ListStillSame(const char* path, const ListFingerprint& print, bool byBytes, uint64_t passBytes,
                   uint64_t passHash);
