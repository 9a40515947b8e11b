// A workbook's package: the ZIP container that holds its parts (the
// workbook, its sheets, the shared strings, the styles), read from its
// central directory, and one part at a time inflated as it is read, never
// whole. Workbooks come from strangers too, so the reader trusts nothing the
// package says: every offset and size is checked against the bytes there
// are, a part may not inflate beyond the size it declares nor beyond
// PackageLimits, and what this reader does not take (a package split over
// disks, ZIP64, encryption, a method other than stored or deflate) ends the
// reading with a reason rather than a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CrtFile;

// Where a package's bytes come from: any offset, any length.
class PackageBytes {
public:
    virtual ~PackageBytes() = default;
    virtual int64_t Length() = 0;
    // Exactly size bytes from offset into out; false when they cannot be had.
    virtual bool ReadAt(int64_t offset, void* out, size_t size) = 0;
};

// Bytes held by the caller (tests, fuzz targets); not copied.
class MemoryPackageBytes final : public PackageBytes {
public:
    MemoryPackageBytes(const void* data, size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    int64_t Length() override { return static_cast<int64_t>(size_); }
    bool ReadAt(int64_t offset, void* out, size_t size) override;

private:
    const unsigned char* data_;
    size_t size_;
};

// A file opened in binary mode through the C runtime's streams.
class FilePackageBytes final : public PackageBytes {
public:
    FilePackageBytes() = default;
    FilePackageBytes(const FilePackageBytes&) = delete;
    FilePackageBytes& operator=(const FilePackageBytes&) = delete;
    ~FilePackageBytes() override;
    bool Open(const char* path);
    int64_t Length() override { return length_; }
    bool ReadAt(int64_t offset, void* out, size_t size) override;

private:
    CrtFile* file_ = nullptr;
    int64_t length_ = -1;
};

enum class PackageFault {
    None,
    Unreadable,   // the bytes could not be read
    Encrypted,    // protected with a password (a compound file), or a part encrypted
    NotPackage,   // not a ZIP package at all
    Truncated,    // cut short: its end, or a part, lies beyond the bytes there are
    Zip64,        // sizes or offsets in the ZIP64 form
    Split,        // spread over several disks
    TooManyParts, // more parts than PackageLimits::maxParts
    Damaged,      // its directory or a part contradicts itself
    Method,       // a part compressed otherwise than stored or deflate
    TooLarge,     // a part larger than PackageLimits::maxPartBytes
    Ratio,        // a part inflating beyond PackageLimits::maxRatio: a ZIP bomb
    Missing,      // the part asked for is not there
};

// An English phrase for the user's message: "it is encrypted ...".
const char* PackageFaultText(PackageFault fault);

struct PackageLimits {
    uint32_t maxParts = 20000;
    uint64_t maxPartBytes = uint64_t{2} << 30; // 2 GiB: a full sheet of 16 columns fits
    // Inflated bytes per compressed byte, for parts over ratioFloor: XML
    // sheets of real data stay far below it; a bomb is near deflate's 1032.
    uint32_t maxRatio = 400;
    uint64_t ratioFloor = uint64_t{16} << 20;
};

struct PackagePart {
    std::string name; // as stored: "xl/worksheets/sheet1.xml", no leading '/'
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t size = 0;
    uint32_t localOffset = 0;
};

class ZipPackage {
public:
    explicit ZipPackage(PackageLimits limits = PackageLimits()) : limits_(limits) {}
    // Reads the central directory; false with fault() set when the package cannot be used.
    bool Open(PackageBytes* bytes);
    PackageFault fault() const { return fault_; }
    // The part a fault concerns ("" for the package as a whole).
    const std::string& faultPart() const { return faultPart_; }
    // A part by its name, ASCII letter case aside (part names are case-insensitive).
    const PackagePart* Find(const char* name) const;
    const std::vector<PackagePart>& parts() const { return parts_; }
    PackageBytes* bytes() const { return bytes_; }
    const PackageLimits& limits() const { return limits_; }
    int64_t directoryOffset() const { return directoryOffset_; }

private:
    bool Fail(PackageFault fault, const std::string& part = std::string());
    bool ReadDirectory(int64_t offset, uint32_t size, uint32_t count);
    PackageLimits limits_;
    PackageBytes* bytes_ = nullptr;
    std::vector<PackagePart> parts_;
    int64_t directoryOffset_ = 0;
    PackageFault fault_ = PackageFault::None;
    std::string faultPart_;
};

// One part's bytes as they inflate: its size and its CRC are checked at its
// end, so a part read to the end (Read returning 0) is whole and unaltered.
class PartReader {
public:
    PartReader();
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;
    ~PartReader();
    bool Open(const ZipPackage& package, const PackagePart& part);
    // Up to size bytes into out: the count, 0 at the part's end, -1 on a fault.
    int Read(char* out, int size);
    PackageFault fault() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
