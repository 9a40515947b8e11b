// The ZIP container as PKWARE's APPNOTE.TXT (version 6.3) lays it out, and
// as every spreadsheet program writes it: the end-of-central-directory record in
// the last 65,557 bytes, the central directory it points to, and each part's
// local header before its data. Sizes come from the central directory (a
// data descriptor after the data is never needed); the local header is read
// only for the lengths of its name and extra field, which place the data.
#include "zip_package.h"

#include "platform.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kDirectorySignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxComment = 0xFFFF;
constexpr size_t kChunk = size_t{64} * 1024;

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return i == a.size() && !b[i];
}

// An extra field holding the ZIP64 extended information (header id 1).
bool HasZip64Extra(const unsigned char* extra, size_t length) {
    while (length >= 4) {
        const uint16_t id = Le16(extra);
        const size_t size = Le16(extra + 2);
        if (id == 0x0001)
            return true;
        if (size + 4 > length)
            return false;
        extra += size + 4;
        length -= size + 4;
    }
    return false;
}

} // namespace

bool MemoryPackageBytes::ReadAt(int64_t offset, void* out, size_t size) {
    if (offset < 0 || static_cast<uint64_t>(offset) > size_ || size > size_ - offset)
        return false;
    if (size)
        std::memcpy(out, data_ + offset, size);
    return true;
}

FilePackageBytes::~FilePackageBytes() {
    if (file_)
        CrtClose(file_);
}

bool FilePackageBytes::Open(const char* path) {
    if (file_)
        CrtClose(file_);
    file_ = CrtOpen(path, "rb");
    length_ = file_ ? CrtLength(file_) : -1;
    return file_ && length_ >= 0;
}

bool FilePackageBytes::ReadAt(int64_t offset, void* out, size_t size) {
    if (!file_ || offset < 0 || offset > length_ || static_cast<int64_t>(size) > length_ - offset)
        return false;
    return CrtSeek(file_, offset) == 0 && CrtRead(out, size, file_) == size;
}

const char* PackageFaultText(PackageFault fault) {
    switch (fault) {
    case PackageFault::None:
        return "it was read";
    case PackageFault::Unreadable:
        return "it could not be read";
    case PackageFault::Encrypted:
        return "it is encrypted (protected with a password)";
    case PackageFault::NotPackage:
        return "it is not a workbook (no ZIP package)";
    case PackageFault::Truncated:
        return "it is cut short (incomplete)";
    case PackageFault::Zip64:
        return "it is stored in the ZIP64 form, which is not read";
    case PackageFault::Split:
        return "it is spread over several files";
    case PackageFault::TooManyParts:
        return "it holds too many parts";
    case PackageFault::Damaged:
        return "it is damaged";
    case PackageFault::Method:
        return "a part is compressed in a way that is not read";
    case PackageFault::TooLarge:
        return "a part is too large";
    case PackageFault::Ratio:
        return "a part would inflate far beyond its size (a ZIP bomb)";
    case PackageFault::Missing:
        return "a part it needs is missing";
    }
    return "it is damaged";
}

bool ZipPackage::Fail(PackageFault fault, const std::string& part) {
    fault_ = fault;
    faultPart_ = part;
    parts_.clear();
    return false;
}

const PackagePart* ZipPackage::Find(const char* name) const {
    if (!name)
        return nullptr;
    while (*name == '/')
        ++name;
    for (const PackagePart& part : parts_)
        if (SameName(part.name, name))
            return &part;
    return nullptr;
}

bool ZipPackage::Open(PackageBytes* bytes) {
    bytes_ = bytes;
    parts_.clear();
    fault_ = PackageFault::None;
    faultPart_.clear();
    const int64_t length = bytes ? bytes->Length() : -1;
    if (length < 0)
        return Fail(PackageFault::Unreadable);
    unsigned char head[8] = {};
    const size_t headSize = static_cast<size_t>(std::min<int64_t>(length, 8));
    if (!bytes->ReadAt(0, head, headSize))
        return Fail(PackageFault::Unreadable);
    // A workbook saved with a password is an OLE compound file holding the
    // encrypted package, not a ZIP package.
    static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (headSize == 8 && std::memcmp(head, kCompound, 8) == 0)
        return Fail(PackageFault::Encrypted);
    const bool looksZip = headSize >= 4 && Le32(head) == kLocalSignature;
    const size_t tailSize =
        static_cast<size_t>(std::min<int64_t>(length, kEndSize + kMaxComment + 20));
    std::vector<unsigned char> tail(tailSize);
    if (!bytes->ReadAt(length - static_cast<int64_t>(tailSize), tail.data(), tailSize))
        return Fail(PackageFault::Unreadable);
    // The end record is the last one whose comment reaches the end exactly.
    size_t at = SIZE_MAX;
    for (size_t i = tailSize >= kEndSize ? tailSize - kEndSize + 1 : 0; i-- > 0;) {
        if (Le32(&tail[i]) == kEndSignature && i + kEndSize + Le16(&tail[i + 20]) == tailSize) {
            at = i;
            break;
        }
    }
    if (at == SIZE_MAX)
        return Fail(looksZip ? PackageFault::Truncated : PackageFault::NotPackage);
    const unsigned char* end = &tail[at];
    const int64_t endOffset = length - static_cast<int64_t>(tailSize - at);
    if (at >= 20 && Le32(&tail[at - 20]) == kZip64LocatorSignature)
        return Fail(PackageFault::Zip64);
    const uint16_t disk = Le16(end + 4), directoryDisk = Le16(end + 6);
    const uint16_t onDisk = Le16(end + 8), count = Le16(end + 10);
    const uint32_t directorySize = Le32(end + 12), directoryOffset = Le32(end + 16);
    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF)
        return Fail(PackageFault::Zip64);
    if (disk != 0 || directoryDisk != 0 || onDisk != count)
        return Fail(PackageFault::Split);
    if (count > limits_.maxParts)
        return Fail(PackageFault::TooManyParts);
    if (static_cast<int64_t>(directoryOffset) + directorySize > endOffset)
        return Fail(looksZip ? PackageFault::Truncated : PackageFault::Damaged);
    return ReadDirectory(directoryOffset, directorySize, count);
}

bool ZipPackage::ReadDirectory(int64_t offset, uint32_t size, uint32_t count) {
    std::vector<unsigned char> directory(size);
    if (size && !bytes_->ReadAt(offset, directory.data(), size))
        return Fail(PackageFault::Unreadable);
    directoryOffset_ = offset;
    parts_.reserve(count);
    size_t at = 0;
    for (uint32_t n = 0; n < count; ++n) {
        if (size - at < kDirectoryEntrySize || Le32(&directory[at]) != kDirectorySignature)
            return Fail(PackageFault::Damaged);
        const unsigned char* e = &directory[at];
        const size_t nameLength = Le16(e + 28), extraLength = Le16(e + 30);
        const size_t commentLength = Le16(e + 32);
        const size_t entrySize = kDirectoryEntrySize + nameLength + extraLength + commentLength;
        if (size - at < entrySize)
            return Fail(PackageFault::Damaged);
        PackagePart part;
        part.name.assign(reinterpret_cast<const char*>(e + kDirectoryEntrySize), nameLength);
        // Part names are found without their leading slashes, so they are
        // stored without them: "/a.xml" beside "a.xml" is then a repeat.
        part.name.erase(0, part.name.find_first_not_of('/'));
        part.flags = Le16(e + 8);
        part.method = Le16(e + 10);
        part.crc = Le32(e + 16);
        part.compressedSize = Le32(e + 20);
        part.size = Le32(e + 24);
        part.localOffset = Le32(e + 42);
        if (part.compressedSize == 0xFFFFFFFF || part.size == 0xFFFFFFFF ||
            part.localOffset == 0xFFFFFFFF || Le16(e + 34) == 0xFFFF ||
            HasZip64Extra(e + kDirectoryEntrySize + nameLength, extraLength))
            return Fail(PackageFault::Zip64, part.name);
        if (Le16(e + 34) != 0)
            return Fail(PackageFault::Split, part.name);
        if (part.name.empty() || part.name.find('\0') != std::string::npos ||
            static_cast<int64_t>(part.localOffset + kLocalHeaderSize) > directoryOffset_)
            return Fail(PackageFault::Damaged, part.name);
        // Two parts of one name would let one reader see what another does not.
        if (Find(part.name.c_str()))
            return Fail(PackageFault::Damaged, part.name);
        parts_.push_back(std::move(part));
        at += entrySize;
    }
    return true;
}

struct PartReader::State {
    PackageBytes* bytes = nullptr;
    PackagePart part;
    PackageFault fault = PackageFault::None;
    int64_t next = 0; // where the unread compressed bytes start
    uint64_t compressedLeft = 0;
    uint64_t produced = 0;
    uint32_t crc = 0;
    bool inflating = false;
    bool ended = false;
    z_stream stream{};
    std::vector<unsigned char> input;

    int Fail(PackageFault why) {
        fault = why;
        return -1;
    }
    int Finish() {
        ended = true;
        if (produced != part.size || crc != part.crc)
            return Fail(PackageFault::Damaged);
        return 0;
    }
    int ReadStored(char* out, int size);
    int ReadDeflated(char* out, int size);
};

PartReader::PartReader() : state_(new State) {}

PartReader::~PartReader() {
    if (state_->inflating)
        inflateEnd(&state_->stream);
}

PackageFault PartReader::fault() const {
    return state_->fault;
}

bool PartReader::Open(const ZipPackage& package, const PackagePart& part) {
    State& s = *state_;
    if (s.inflating)
        inflateEnd(&s.stream);
    s = State();
    s.bytes = package.bytes();
    s.part = part;
    const PackageLimits& limits = package.limits();
    if (part.flags & 0x0041 || part.method == 99) // traditional, strong or AES encryption
        return s.Fail(PackageFault::Encrypted), false;
    if (part.method != 0 && part.method != 8)
        return s.Fail(PackageFault::Method), false;
    if (part.size > limits.maxPartBytes)
        return s.Fail(PackageFault::TooLarge), false;
    if (part.size > limits.ratioFloor &&
        part.size / std::max<uint64_t>(part.compressedSize, 1) >= limits.maxRatio)
        return s.Fail(PackageFault::Ratio), false;
    if (part.method == 0 && part.compressedSize != part.size)
        return s.Fail(PackageFault::Damaged), false;
    unsigned char local[kLocalHeaderSize];
    if (!s.bytes || !s.bytes->ReadAt(part.localOffset, local, sizeof local))
        return s.Fail(PackageFault::Unreadable), false;
    if (Le32(local) != kLocalSignature)
        return s.Fail(PackageFault::Damaged), false;
    s.next = static_cast<int64_t>(part.localOffset) + static_cast<int64_t>(kLocalHeaderSize) +
             Le16(local + 26) + Le16(local + 28);
    // The data lies before the central directory, or the package was cut.
    if (s.next + static_cast<int64_t>(part.compressedSize) > package.directoryOffset())
        return s.Fail(PackageFault::Damaged), false;
    s.compressedLeft = part.compressedSize;
    if (part.method == 8) {
        if (inflateInit2(&s.stream, -MAX_WBITS) != Z_OK)
            return s.Fail(PackageFault::Unreadable), false;
        s.inflating = true;
        s.input.resize(kChunk);
    }
    return true;
}

int PartReader::State::ReadStored(char* out, int size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(compressedLeft, size));
    if (want == 0)
        return Finish();
    if (!bytes->ReadAt(next, out, want))
        return Fail(PackageFault::Unreadable);
    next += static_cast<int64_t>(want);
    compressedLeft -= want;
    produced += want;
    crc = static_cast<uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(want)));
    return static_cast<int>(want);
}

int PartReader::State::ReadDeflated(char* out, int size) {
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(size);
    while (stream.avail_out == static_cast<uInt>(size)) {
        if (stream.avail_in == 0 && compressedLeft > 0) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(compressedLeft, kChunk));
            if (!bytes->ReadAt(next, input.data(), take))
                return Fail(PackageFault::Unreadable);
            next += static_cast<int64_t>(take);
            compressedLeft -= take;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(take);
        }
        const int result = inflate(&stream, Z_NO_FLUSH);
        const size_t got = static_cast<size_t>(size) - stream.avail_out;
        produced += got;
        // More than the part declares: damaged, or a bomb lying about its size.
        if (produced > part.size)
            return Fail(PackageFault::Damaged);
        crc = static_cast<uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(got)));
        if (result == Z_STREAM_END) {
            if (got > 0)
                return static_cast<int>(got);
            return Finish();
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0 && compressedLeft == 0)
            return Fail(PackageFault::Damaged); // the stream ends before its end
        if (result != Z_OK && result != Z_BUF_ERROR)
            return Fail(PackageFault::Damaged);
        if (got > 0)
            return static_cast<int>(got);
    }
    return size - static_cast<int>(stream.avail_out);
}

int PartReader::Read(char* out, int size) {
    State& s = *state_;
    if (s.fault != PackageFault::None || !s.bytes)
        return -1;
    if (s.ended || size <= 0)
        return 0;
    return s.part.method == 0 ? s.ReadStored(out, size) : s.ReadDeflated(out, size);
}
