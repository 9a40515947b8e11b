// One-off entry IDs as the MAPI reference lays them out ("One-Off Entry
// Identifiers"): flags, MAPI_ONE_OFF_UID, a version, the entry's flags, then
// the display name, address type and address, 8-bit or UTF-16LE, each ending
// in NUL.
#include "store_internal.h"

#include <utility>

namespace sim {

namespace {
const BYTE kOneOffUid[16] = MAPI_ONE_OFF_UID;
constexpr size_t kOneOffHeader = 4 + sizeof kOneOffUid + 2 + 2;

// The next NUL-terminated string at `at`, 8-bit or UTF-16LE; false when the
// bytes end before its NUL.
bool TakeOneOffString(const std::string& bytes, size_t* at, bool unicode, std::string* out) {
    if (!unicode) {
        const size_t end = bytes.find('\0', *at);
        if (end == std::string::npos)
            return false;
        *out = FromStoreBytes(bytes.substr(*at, end - *at));
        *at = end + 1;
        return true;
    }
    // Its end, the first zero unit, is found first; then it is converted
    // whole (every delivery reads its recipients' entry IDs).
    size_t end = *at;
    while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0))
        end += 2;
    if (end + 1 >= bytes.size())
        return false;
    OleString wide((end - *at) / 2, OLECHAR(0));
    for (size_t k = 0; k < wide.size(); ++k)
        wide[k] = static_cast<OLECHAR>(static_cast<unsigned char>(bytes[*at + 2 * k]) |
                                       (static_cast<unsigned char>(bytes[*at + 2 * k + 1]) << 8));
    *out = Narrow(wide.c_str(), wide.size());
    *at = end + 2;
    return true;
}

void PutOneOffString(std::string* bytes, const std::string& text, bool unicode) {
    if (!unicode) {
        bytes->append(StoreBytes(text));
        bytes->push_back('\0');
        return;
    }
    // Little-endian units, then a zero one, written into room made once.
    const OleString wide = Wide(text);
    const size_t start = bytes->size();
    bytes->resize(start + 2 * wide.size() + 2);
    char* w = &(*bytes)[start];
    for (OLECHAR c : wide) {
        *w++ = static_cast<char>(c & 0xFF);
        *w++ = static_cast<char>(c >> 8);
    }
}
} // namespace

std::string MakeOneOffEntryId(const OneOffEntry& entry) {
    std::string bytes;
    bytes.reserve(kOneOffHeader + 2 * (entry.displayName.size() + entry.addressType.size() +
                                       entry.address.size() + 3));
    bytes.append(4, '\0'); // abFlags
    bytes.append(reinterpret_cast<const char*>(kOneOffUid), sizeof kOneOffUid);
    bytes.append(2, '\0'); // version
    const unsigned flags = (entry.unicode ? MAPI_ONE_OFF_UNICODE : 0) |
                           (entry.noRichInfo ? MAPI_ONE_OFF_NO_RICH_INFO : 0);
    bytes.push_back(static_cast<char>(flags & 0xFF));
    bytes.push_back(static_cast<char>(flags >> 8));
    PutOneOffString(&bytes, entry.displayName, entry.unicode);
    PutOneOffString(&bytes, entry.addressType, entry.unicode);
    PutOneOffString(&bytes, entry.address, entry.unicode);
    return bytes;
}

bool DecodeOneOffEntryId(const std::string& entryId, OneOffEntry* entry) {
    if (entryId.size() < kOneOffHeader ||
        entryId.compare(4, sizeof kOneOffUid, reinterpret_cast<const char*>(kOneOffUid),
                        sizeof kOneOffUid) != 0 ||
        entryId[20] != 0 || entryId[21] != 0)
        return false;
    const unsigned flags = static_cast<unsigned char>(entryId[22]) |
                           (static_cast<unsigned>(static_cast<unsigned char>(entryId[23])) << 8);
    OneOffEntry out;
    out.unicode = (flags & MAPI_ONE_OFF_UNICODE) != 0;
    out.noRichInfo = (flags & MAPI_ONE_OFF_NO_RICH_INFO) != 0;
    size_t at = kOneOffHeader;
    if (!TakeOneOffString(entryId, &at, out.unicode, &out.displayName) ||
        !TakeOneOffString(entryId, &at, out.unicode, &out.addressType) ||
        !TakeOneOffString(entryId, &at, out.unicode, &out.address) || at != entryId.size() ||
        out.addressType.empty() || out.address.empty())
        return false;
    *entry = std::move(out);
    return true;
}

} // namespace sim
