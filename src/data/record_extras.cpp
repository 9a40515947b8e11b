#include "data/record_extras.h"

#include "base/utf8.h"
#include "data/attachment_paths.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

namespace {

// The longest path the file system is asked about, in UTF-16 units; a longer
// one cannot name a file without the long-path prefix.
constexpr int kWidePathUnits = 1024;
constexpr size_t kBlockStep = size_t{4} * 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name with surrounding blanks aside, compared without letter case.
bool NameIs(const char* name, const char* wanted) {
    while (IsBlank(*name))
        ++name;
    size_t length = std::strlen(name);
    while (length > 0 && IsBlank(name[length - 1]))
        --length;
    if (length != std::strlen(wanted))
        return false;
    for (size_t i = 0; i < length; ++i)
        if (LowerAscii(name[i]) != wanted[i])
            return false;
    return true;
}

// "Attachment", "Attachments", and either followed by anything but a letter:
// "Attachment 1", "Attachment2", "Attachments (PDF)", "Attachment_3".
bool NamesAttachment(const char* name) {
    while (IsBlank(*name))
        ++name;
    constexpr char kWord[] = "attachment";
    for (size_t i = 0; i + 1 < sizeof kWord; ++i)
        if (LowerAscii(name[i]) != kWord[i])
            return false;
    const char* rest = name + sizeof kWord - 1;
    if (LowerAscii(*rest) == 's')
        ++rest;
    const char c = LowerAscii(*rest);
    return !(c >= 'a' && c <= 'z');
}

void Add(int* columns, int* count, int column, RecordExtraColumns* all) {
    if (*count < kMaxExtraColumns) {
        columns[(*count)++] = column;
        return;
    }
    if (all->passedOverCount < kMaxExtraColumns)
        all->passedOver[all->passedOverCount] = column;
    ++all->passedOverCount;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

const char* LastComponent(const char* path) {
    const char* name = path;
    if (path[0] && path[1] == ':')
        name = path + 2;
    for (const char* p = name; *p; ++p)
        if (IsSeparator(*p))
            name = p + 1;
    return name;
}

// Room for `bytes` more in the block; false when memory runs out.
bool Reserve(RecordExtras* extras, size_t bytes) {
    if (extras->blockUsed + bytes <= extras->blockSize)
        return true;
    const size_t size = extras->blockUsed + bytes + kBlockStep;
    void* grown = MemRealloc(extras->block, size);
    if (!grown)
        return false;
    extras->block = static_cast<char*>(grown);
    extras->blockSize = size;
    return true;
}

// Appends the texts, NUL-terminated one after the other; returns the offset
// of the first, or SIZE_MAX when memory runs out.
size_t Store(RecordExtras* extras, const char* a, size_t aLength, const char* b, size_t bLength) {
    if (!Reserve(extras, aLength + bLength + 1))
        return SIZE_MAX;
    const size_t at = extras->blockUsed;
    std::memcpy(extras->block + at, a, aLength);
    std::memcpy(extras->block + at + aLength, b, bLength);
    extras->block[at + aLength + bLength] = '\0';
    extras->blockUsed += aLength + bLength + 1;
    return at;
}

RecordExtrasReason Fail(RecordExtras* extras, RecordExtrasReason reason, const char* value) {
    extras->reason = reason;
    CopyUtf8(extras->value, sizeof extras->value, value);
    return reason;
}

// Calls `take` with each piece of `value` between separators, blanks around
// it aside, empty pieces passed over; stops at the first that fails.
template <class Take>
RecordExtrasReason EachPiece(const char* value, const char* separators, Take take) {
    char piece[kListRawSize];
    const char* p = value;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        const size_t span = std::strcspn(p, separators);
        size_t length = span;
        while (length > 0 && IsBlank(p[length - 1]))
            --length;
        if (length > 0) {
            const size_t kept = length < sizeof piece ? length : sizeof piece - 1;
            std::memcpy(piece, p, kept);
            piece[kept] = '\0';
            if (RecordExtrasReason reason = take(piece, kept); reason != RecordExtrasOk)
                return reason;
        }
        if (p[span] == '\0')
            return RecordExtrasOk;
        p += span + 1;
    }
}

RecordExtrasReason CheckAddresses(const int* columns, int count, const ListRecord* record,
                                  RecordExtraKind kind, RecordExtras* extras) {
    const RecordExtrasReason wrong =
        kind == RecordExtraCc ? RecordCcNotAddresses : RecordBccNotAddresses;
    for (int c = 0; c < count; ++c) {
        if (columns[c] >= record->count)
            continue;
        const char* value = record->values[columns[c]];
        const RecordExtrasReason reason =
            EachPiece(value, ";,", [&](char* piece, size_t) -> RecordExtrasReason {
                char address[kListAddressSize];
                if (TakeListAddress(piece, address) != 0)
                    return Fail(extras, wrong, value);
                if (extras->count >= kMaxRecordExtraItems)
                    return Fail(extras, wrong, value);
                const size_t at = Store(extras, address, std::strlen(address), "", 0);
                if (at == SIZE_MAX)
                    return Fail(extras, RecordExtrasNoMemory, value);
                extras->items[extras->count++] = RecordExtraItem{kind, at, at, 0, false, false};
                ++(kind == RecordExtraCc ? extras->ccCount : extras->bccCount);
                return RecordExtrasOk;
            });
        if (reason != RecordExtrasOk)
            return reason;
    }
    return RecordExtrasOk;
}

// What the file's form alone refuses, before anything is asked of the disk.
RecordExtrasReason RefusedByForm(AttachmentPathKind kind) {
    switch (kind) {
    case AttachmentPathKind::Device:
        return RecordAttachmentDevice;
    case AttachmentPathKind::Stream:
        return RecordAttachmentStream;
    case AttachmentPathKind::Url:
        return RecordAttachmentUrl;
    default:
        return RecordExtrasOk;
    }
}

// One file of the record, by the name written in its cell.
RecordExtrasReason CheckFile(const char* piece, const RecordExtrasPlaces& places,
                             RecordExtras* extras) {
    const AttachmentPathKind kind = KindOfAttachmentPath(piece);
    if (RecordExtrasReason refused = RefusedByForm(kind); refused != RecordExtrasOk)
        return Fail(extras, refused, piece);
    char path[2 * kListRawSize + size_t{3} * 260];
    const size_t length = FullAttachmentPath(places.listFolder, piece, path, sizeof path);
    if (length == 0)
        return Fail(extras, RecordAttachmentMissing, piece);
    // A relative name in a list that lies on a share is on that share too.
    const bool network =
        kind == AttachmentPathKind::Network || (path[0] == '\\' && path[1] == '\\');
    if (network && places.network == NetworkFiles::Refused)
        return Fail(extras, RecordAttachmentNetwork, path);
    // Short names ("QUORVE~1") reach the same files: a path that could be
    // the list or in the data folder under them is refused as that.
    if (places.listPath[0] && (SameAttachmentPath(path, places.listPath) ||
                               AttachmentPathMayBeUnder(path, places.listPath)))
        return Fail(extras, RecordAttachmentIsList, path);
    if (AttachmentPathMayBeUnder(path, places.dataFolder))
        return Fail(extras, RecordAttachmentDataFolder, path);
    uint64_t size = 0;
    if (!network || places.network == NetworkFiles::Allowed) {
        if (RecordExtrasReason fault = CheckAttachmentFile(path, &size); fault != RecordExtrasOk)
            return Fail(extras, fault, path);
    }
    if (extras->count >= kMaxRecordExtraItems)
        return Fail(extras, RecordAttachmentUnreadable, path);
    const size_t at = Store(extras, path, length, "", 0);
    if (at == SIZE_MAX)
        return Fail(extras, RecordExtrasNoMemory, path);
    const size_t name = at + static_cast<size_t>(LastComponent(path) - path);
    const bool outside = !AttachmentPathIsUnder(path, places.listFolder);
    extras->items[extras->count++] =
        RecordExtraItem{RecordExtraFile, at, name, size, outside, network};
    ++extras->fileCount;
    extras->networkFiles += network ? 1 : 0;
    extras->totalBytes += size;
    return RecordExtrasOk;
}

RecordExtrasReason CheckFiles(const RecordExtraColumns* columns, const ListRecord* record,
                              const RecordExtrasPlaces& places, RecordExtras* extras) {
    for (int c = 0; c < columns->attachmentCount; ++c) {
        if (columns->attachment[c] >= record->count)
            continue;
        const char* value = record->values[columns->attachment[c]];
        const RecordExtrasReason reason =
            EachPiece(value, ";", [&](char* piece, size_t) -> RecordExtrasReason {
                return CheckFile(piece, places, extras);
            });
        if (reason != RecordExtrasOk)
            return reason;
    }
    return RecordExtrasOk;
}

} // namespace

void FindRecordExtraColumns(const ListRecord* header, RecordExtraColumns* columns) {
    *columns = RecordExtraColumns();
    for (int i = 0; header && i < header->count; ++i) {
        const char* name = header->values[i];
        if (NamesAttachment(name))
            Add(columns->attachment, &columns->attachmentCount, i, columns);
        else if (NameIs(name, "cc"))
            Add(columns->cc, &columns->ccCount, i, columns);
        else if (NameIs(name, "bcc"))
            Add(columns->bcc, &columns->bccCount, i, columns);
    }
}

bool HasRecordExtras(const RecordExtraColumns* columns) {
    return columns->attachmentCount + columns->ccCount + columns->bccCount > 0;
}

RecordExtrasReason CheckRecordExtras(const RecordExtraColumns* columns, const ListRecord* record,
                                     const RecordExtrasPlaces* places, RecordExtras* extras) {
    extras->reason = RecordExtrasOk;
    extras->value[0] = '\0';
    extras->fileCount = extras->ccCount = extras->bccCount = extras->count = 0;
    extras->networkFiles = 0;
    extras->totalBytes = 0;
    extras->blockUsed = 0;
    if (!HasRecordExtras(columns))
        return RecordExtrasOk;
    // The addresses first: they cost nothing to check, the files a look at
    // the disk each.
    if (CheckAddresses(columns->cc, columns->ccCount, record, RecordExtraCc, extras) !=
            RecordExtrasOk ||
        CheckAddresses(columns->bcc, columns->bccCount, record, RecordExtraBcc, extras) !=
            RecordExtrasOk)
        return extras->reason;
    const RecordExtrasPlaces none;
    return CheckFiles(columns, record, places ? *places : none, extras);
}

const char* RecordExtraText(const RecordExtras* extras, int index) {
    return extras->block + extras->items[index].text;
}

const char* RecordExtraName(const RecordExtras* extras, int index) {
    return extras->block + extras->items[index].name;
}

void FreeRecordExtras(RecordExtras* extras) {
    MemFree(extras->block);
    extras->block = nullptr;
    extras->blockSize = extras->blockUsed = 0;
    extras->count = 0;
}

size_t ListFolderUtf8(const char* listPath, char* folder, size_t size) {
    const size_t length = AnsiToUtf8(listPath, folder, size);
    size_t end = 0;
    for (size_t i = 0; i < length; ++i)
        if (IsSeparator(folder[i]))
            end = i;
    if (end == 0 && !(length > 0 && IsSeparator(folder[0]))) {
        // "X:list.csv" names the drive's current folder; "list.csv" none.
        end = length >= 2 && folder[1] == ':' ? 2 : 0;
    }
    folder[end] = '\0';
    return end;
}

const char* RecordExtrasReasonText(RecordExtrasReason reason) {
    switch (reason) {
    case RecordAttachmentMissing:
        return "cannot be found";
    case RecordAttachmentFolder:
        return "is a folder";
    case RecordAttachmentUnreadable:
        return "cannot be read";
    case RecordAttachmentTooLarge:
        return "is larger than 2 GB";
    case RecordCcNotAddresses:
    case RecordBccNotAddresses:
        return "is not a list of e-mail addresses";
    case RecordExtrasNoMemory:
        return "could not be checked: not enough memory";
    case RecordAttachmentIsList:
        return "is the mailing list itself";
    case RecordAttachmentDataFolder:
        return "is in Quorvel's own data folder (its logs and sent lists)";
    case RecordAttachmentHidden:
        return "is a hidden or system file";
    case RecordAttachmentDevice:
        return "names a device, not a file";
    case RecordAttachmentStream:
        return "names a stream inside a file, not a file";
    case RecordAttachmentUrl:
        return "is a web address, not a file";
    case RecordAttachmentNetwork:
        return "is on another computer, and files from the network were not allowed in the "
               "review";
    case RecordValueTooLong:
        return "has more than 511 characters";
    case RecordAddressNotAscii:
        return "is refused by Exchange Online: it has letters beyond ASCII before its @";
    default:
        return "";
    }
}

RecordExtrasReason CheckAttachmentFile(const char* path, uint64_t* size) {
    *size = 0;
    WCHAR wide[kWidePathUnits];
    const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, kWidePathUnits);
    if (units <= 0)
        return RecordAttachmentMissing;
    const DWORD attributes = GetFileAttributesW(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? RecordAttachmentMissing
                   : RecordAttachmentUnreadable;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return RecordAttachmentFolder;
    // Hidden and system files are kept from the user's sight for a reason
    // (keys, settings, the system's own): none goes out because a list
    // named it.
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return RecordAttachmentHidden;
    // Shared for writing too: a document its program keeps open (as office
    // programs keep theirs) is still read; one opened for no sharing at all
    // is not.
    HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return RecordAttachmentUnreadable;
    LARGE_INTEGER length;
    length.QuadPart = 0;
    const BOOL known = GetFileSizeEx(file, &length);
    CloseHandle(file);
    if (!known || length.QuadPart < 0)
        return RecordAttachmentUnreadable;
    *size = static_cast<uint64_t>(length.QuadPart);
    return *size > kMaxAttachmentBytes ? RecordAttachmentTooLarge : RecordExtrasOk;
}

void FormatFileSize(uint64_t bytes, char* text, size_t size) {
    const double value = static_cast<double>(bytes);
    if (bytes < 1024)
        std::snprintf(text, size, "%u byte%s", static_cast<unsigned>(bytes), bytes == 1 ? "" : "s");
    else if (bytes < uint64_t{1024} * 1024)
        std::snprintf(text, size, "%.1f KB", value / 1024.0);
    else
        std::snprintf(text, size, "%.1f MB", value / (1024.0 * 1024.0));
}

void DescribeRecordExtras(const RecordExtras* extras, bool paths, const char* between, char* text,
                          size_t size) {
    if (size == 0)
        return;
    text[0] = '\0';
    size_t used = 0;
    auto put = [&](const char* part) {
        const size_t n = std::strlen(part);
        const size_t room = used + 1 < size ? size - used - 1 : 0;
        const size_t kept = n < room ? n : room;
        std::memcpy(text + used, part, kept);
        used += kept;
        text[used] = '\0';
    };
    static const char* const kTitles[] = {"Attachments: ", "Cc: ", "Bcc: "};
    static const RecordExtraKind kOrder[] = {RecordExtraCc, RecordExtraBcc, RecordExtraFile};
    bool anyPart = false;
    for (const RecordExtraKind kind : kOrder) {
        int told = 0;
        for (int i = 0; i < extras->count; ++i) {
            const RecordExtraItem& item = extras->items[i];
            if (item.kind != kind)
                continue;
            if (told == 0 && anyPart)
                put(between);
            put(told++ ? ", " : kTitles[kind]);
            put(kind != RecordExtraFile || paths ? RecordExtraText(extras, i)
                                                 : RecordExtraName(extras, i));
            if (kind == RecordExtraFile) {
                char bytes[32], shown[48];
                FormatFileSize(item.size, bytes, sizeof bytes);
                std::snprintf(shown, sizeof shown, " (%s)",
                              item.network ? "on the network" : bytes);
                put(shown);
            }
        }
        anyPart = anyPart || told > 0;
    }
}
