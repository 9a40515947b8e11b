// The reader's choice of the e-mail column: the header fields named for an
// address, and of several, the one whose values hold the most addresses.
#include "data/mailing_list.h"

#include "base/utf8.h"

#include <cstring>

namespace {

// The part of a header field's name searched for "e-mail" and "email".
constexpr size_t kHeaderNameScan = 255;
// The most columns BestAddressColumn weighs; any further are not.
constexpr int kMostWeighed = 64;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NamesAddress(const char* name) {
    char lower[kHeaderNameScan + 1];
    size_t n = 0;
    for (; n < kHeaderNameScan && name[n]; ++n)
        lower[n] = LowerAscii(name[n]);
    lower[n] = '\0';
    return std::strstr(lower, "e-mail") || std::strstr(lower, "email");
}

} // namespace

int AddressColumns(const ListRecord* header, int* columns, int room) {
    if (!header || room <= 0)
        return 0;
    if (header->count == 1) {
        columns[0] = 0;
        return 1;
    }
    int found = 0;
    for (int i = 0; i < header->count && found < room; ++i)
        if (NamesAddress(header->values[i]))
            columns[found++] = i;
    return found;
}

int BestAddressColumn(const char* path, const int* columns, int count, bool libraryCopy) {
    ListFile* file = OpenListFile(path);
    if (libraryCopy)
        CountListInCharacters(file);
    if (!file || count <= 0) {
        CloseListFile(file);
        return -1;
    }
    int usable[kMostWeighed] = {};
    if (count > kMostWeighed)
        count = kMostWeighed;
    ListRecord record;
    // A value may have grown past the raw text's size: each quoted line
    // break is kept as CR LF.
    char value[2 * kListRawSize];
    char address[kListAddressSize];
    bool header = true;
    while (ReadListRecord(file, &record)) {
        if (header) {
            header = false;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            if (columns[i] >= record.count)
                continue;
            CopyUtf8(value, sizeof value, record.values[columns[i]]);
            if (TakeListAddress(value, address) == 0)
                ++usable[i];
        }
    }
    FreeListRecord(&record);
    CloseListFile(file);
    int best = 0;
    for (int i = 1; i < count; ++i)
        if (usable[i] > usable[best])
            best = i;
    return columns[best];
}
