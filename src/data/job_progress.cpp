#include "data/job_progress.h"

#include "base/line_text.h"
#include "base/utf8.h"

#include "data/list_address.h"
#include "data/mailing_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kStateMark[] = "Quorvel job state 1";
const char kListKey[] = "List: ";
const char kSubjectKey[] = "Subject: ";
const char kMailingKey[] = "Mailing: ";
const char kDateKey[] = "Date: ";
const char kSheetKey[] = "Sheet: ";
const char kReleaseKey[] = "Release ";
const char kSendingKey[] = "Sending ";
const char kContinued[] = "Continued";
const char kDoubtKey[] = "In doubt ";
const char kSettledKey[] = "Settled ";
const char kEndedKey[] = "Ended: ";
const char kCompleted[] = "Completed";
const char kWithdrawingKey[] = "Withdrawing ";
const char kWithdrawnKey[] = "Withdrawn ";
const char kNotWithdrawnKey[] = "Not withdrawn ";

// The raw text without the line break that ends it: a record's last line
// may have none (the file's last line), and a record is the same record
// either way.
size_t RecordLength(const char* raw) {
    size_t length = std::strlen(raw);
    while (length > 0 && (raw[length - 1] == '\n' || raw[length - 1] == '\r'))
        --length;
    return length;
}

uint64_t Fnv1a(const char* text, size_t length) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// An address as recipients are told apart: letter case aside (the reader
// has already taken the surrounding blanks off).
size_t AddressKey(const char* address, char* key) {
    return FoldLetterCase(address, key, kListAddressSize);
}

bool StartsWith(const char* line, size_t length, const char* key) {
    const size_t keyLength = std::strlen(key);
    return length >= keyLength && std::memcmp(line, key, keyLength) == 0;
}

// The whole file, NUL-terminated; null when it cannot be read. `missing`
// tells a file that is not there, `noMemory` memory running out.
char* ReadWholeFile(const char* path, bool* missing, bool* noMemory, size_t* size) {
    *missing = false;
    *noMemory = false;
    CrtFile* file = CrtOpen(path, "rb");
    if (!file) {
        *missing = GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
        return nullptr;
    }
    size_t used = 0, room = 4096;
    char* text = static_cast<char*>(MemAlloc(room));
    while (text) {
        if (room - used < 2048) {
            char* grown = static_cast<char*>(MemRealloc(text, room * 2));
            if (!grown) {
                MemFree(text);
                text = nullptr;
                break;
            }
            text = grown;
            room *= 2;
        }
        const size_t got = CrtRead(text + used, room - used - 1, file);
        if (got == 0)
            break;
        used += got;
    }
    CrtClose(file);
    if (text)
        text[used] = '\0';
    else
        *noMemory = true;
    *size = used;
    return text;
}

// Undoes the subject's escapes in place.
void Unescape(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (*in != '\\' || !in[1]) {
            *out++ = *in;
            continue;
        }
        ++in;
        *out++ = *in == 'n' ? '\n' : *in == 'r' ? '\r' : *in;
    }
    *out = '\0';
}

} // namespace

uint64_t ListRecordHash(const char* raw) {
    return Fnv1a(raw, RecordLength(raw));
}

// ---- Writing ------------------------------------------------------------------------------------

void WriteJobStateStart(CrtFile* state, const char* listPathUtf8, const char* subject) {
    CrtPrintf(state, "%s\n", kStateMark);
    WriteJobStateListAndSubject(state, listPathUtf8, subject);
}

namespace {
// Escaped so that a text stays one line and reads back as it was.
void WriteEscaped(CrtFile* state, const char* text) {
    const char* run = text ? text : "";
    for (const char* p = run;; ++p) {
        if (*p && *p != '\\' && *p != '\r' && *p != '\n')
            continue;
        if (p > run)
            CrtWrite(run, static_cast<size_t>(p - run), state);
        if (!*p)
            break;
        CrtPrintf(state, "\\%c", *p == '\r' ? 'r' : *p == '\n' ? 'n' : '\\');
        run = p + 1;
    }
}
} // namespace

void WriteJobStateListAndSubject(CrtFile* state, const char* listPathUtf8, const char* subject) {
    CrtPrintf(state, "%s%s\n%s", kListKey, listPathUtf8, kSubjectKey);
    WriteEscaped(state, subject);
    CrtPrintf(state, "\n");
    CrtFlush(state);
}

bool WriteJobStateSheet(CrtFile* state, const char* sheetName, bool includeHidden) {
    int written = CrtPrintf(state, "%s%d ", kSheetKey, includeHidden ? 1 : 0);
    WriteEscaped(state, sheetName);
    if (written > 0)
        written = CrtPrintf(state, "\n");
    return CrtFlush(state) == 0 && written > 0;
}

void WriteJobStateContinued(CrtFile* state) {
    CrtPrintf(state, "%s\n", kContinued);
    CrtFlush(state);
}

bool WriteJobStateMailing(CrtFile* state, const char* mailingId, const char* date) {
    const int written = CrtPrintf(state, "%s%s\n%s%s\n", kMailingKey, mailingId, kDateKey, date);
    return CrtFlush(state) == 0 && written > 0;
}

bool WriteJobStateSending(CrtFile* state, long line, uint64_t hash, long sentBefore,
                          const char* address, long long releaseUtc) {
    // The release time goes with its mark, in the one write that reaches the
    // system before the copy is made.
    // Built by hand: this mark is made before every copy, and the formatter
    // cost more than the rest of making it.
    char text[kListAddressSize + 128];
    LineText mark(text, sizeof text);
    mark.Text(kSendingKey)
        .Number(line)
        .Text(" ")
        .Hex(hash, 16)
        .Text(" ")
        .Number(sentBefore)
        .Text(" ")
        .Text(address)
        .Text("\n");
    if (releaseUtc >= 0)
        mark.Text(kReleaseKey).Number(releaseUtc).Text("\n");
    // An address too long for the line would cut the mark short: refused,
    // like a line that does not reach the system.
    if (mark.Length() == 0 || mark.Get()[mark.Length() - 1] != '\n' || !state)
        return false;
    const bool written = CrtWrite(mark.Get(), mark.Length(), state) == mark.Length();
    return CrtFlush(state) == 0 && written;
}

bool WriteJobStateDoubt(CrtFile* state, const char* address) {
    const int written = CrtPrintf(state, "%s%s\n", kDoubtKey, address);
    return CrtFlush(state) == 0 && written > 0;
}

bool WriteJobStateSettled(CrtFile* state, const char* address) {
    const int written = CrtPrintf(state, "%s%s\n", kSettledKey, address);
    return CrtFlush(state) == 0 && written > 0;
}

namespace {
bool WriteMarkOfCopy(CrtFile* state, const char* key, long line, const char* address) {
    const int written = CrtPrintf(state, "%s%ld %s\n", key, line, address);
    return CrtFlush(state) == 0 && written > 0;
}

// The address of a withdrawal line's "<line> <address>"; null when it is not one.
const char* MarkedAddress(const char* text) {
    char* after = nullptr;
    const long line = std::strtol(text, &after, 10);
    if (after == text || line <= 0 || *after != ' ' || !after[1])
        return nullptr;
    return after + 1;
}
} // namespace

bool WriteJobStateWithdrawing(CrtFile* state, long line, const char* address) {
    return WriteMarkOfCopy(state, kWithdrawingKey, line, address);
}

bool WriteJobStateWithdrawn(CrtFile* state, long line, const char* address) {
    return WriteMarkOfCopy(state, kWithdrawnKey, line, address);
}

bool WriteJobStateNotWithdrawn(CrtFile* state, long line, const char* address) {
    return WriteMarkOfCopy(state, kNotWithdrawnKey, line, address);
}

// ---- Addresses taken back ----------------------------------------------------------------------

void AddressBag::Clear() {
    MemFree(text_);
    text_ = nullptr;
    used_ = room_ = 0;
    count_ = 0;
}

bool AddressBag::Add(const char* address) {
    char key[kListAddressSize];
    const size_t length = AddressKey(address, key);
    if (length == 0)
        return true;
    if (room_ - used_ < length + 1) {
        size_t room = room_ ? room_ * 2 : 4096;
        while (room - used_ < length + 1)
            room *= 2;
        char* grown = static_cast<char*>(MemRealloc(text_, room));
        if (!grown)
            return false;
        text_ = grown;
        room_ = room;
    }
    std::memcpy(text_ + used_, key, length + 1);
    used_ += length + 1;
    ++count_;
    return true;
}

bool AddressBag::RemoveOne(const char* address) {
    char key[kListAddressSize];
    AddressKey(address, key);
    // The latest first: a copy not taken back after all is the one just tried.
    size_t found = used_;
    for (size_t at = 0; at < used_; at += std::strlen(text_ + at) + 1)
        if (std::strcmp(text_ + at, key) == 0)
            found = at;
    if (found == used_)
        return false;
    text_[found] = kRemoved; // a key never starts with a control character
    --count_;
    return true;
}

// ---- Doubts ------------------------------------------------------------------------------------

void DoubtSet::Clear() {
    MemFree(slots_);
    slots_ = nullptr;
    count_ = room_ = 0;
}

int DoubtSet::IndexOf(const char* address) const {
    char key[kListAddressSize];
    AddressKey(address, key);
    for (int i = 0; i < count_; ++i)
        if (std::strcmp(At(i), key) == 0)
            return i;
    return -1;
}

bool DoubtSet::Add(const char* address) {
    if (!address || !*address || Has(address))
        return true;
    if (count_ == room_) {
        const int room = room_ ? room_ * 2 : 4;
        char* grown = static_cast<char*>(MemRealloc(slots_, static_cast<size_t>(room) * kSlot));
        if (!grown)
            return false;
        slots_ = grown;
        room_ = room;
    }
    AddressKey(address, slots_ + static_cast<size_t>(count_) * kSlot);
    ++count_;
    return true;
}

bool DoubtSet::Remove(const char* address) {
    const int i = IndexOf(address);
    if (i < 0)
        return false;
    --count_;
    if (i != count_)
        std::memcpy(slots_ + static_cast<size_t>(i) * kSlot, At(count_), kSlot);
    return true;
}

bool DoubtSet::CopyFrom(const DoubtSet& other) {
    for (int i = 0; i < other.Count(); ++i)
        if (!Add(other.At(i)))
            return false;
    return true;
}

void WriteJobStateEnd(CrtFile* state, bool completed) {
    CrtPrintf(state, "%s%s\n", kEndedKey, completed ? kCompleted : "Not complete");
    CrtFlush(state);
}

// ---- Reading ------------------------------------------------------------------------------------

LastJob::~LastJob() {
    MemFree(subject);
}

namespace {

void NoteRelease(LastJob* job, const char* value) {
    char* after = nullptr;
    const long long release = std::strtoll(value, &after, 10);
    if (after != value && !*after && release >= 0 && job->onRelease)
        job->onRelease(job->onSendingContext, release);
}

// "<0|1> <name, escaped>"
void ReadSheet(LastJob* job, const char* value) {
    if (!value[0] || value[1] != ' ')
        return;
    job->sheetIncludesHidden = value[0] == '1';
    std::snprintf(job->sheet, sizeof job->sheet, "%s", value + 2);
    Unescape(job->sheet);
    job->hasSheet = true;
}

} // namespace

LastJobRead ReadLastJob(const char* statePath, LastJob* job) {
    bool missing = false, noMemory = false;
    size_t size = 0;
    char* text = ReadWholeFile(statePath, &missing, &noMemory, &size);
    if (!text)
        return missing ? LastJobNone : noMemory ? LastJobNoMemory : LastJobUnreadable;
    LastJobRead result = LastJobUnreadable;
    bool sawMark = false, sawList = false, sawSubject = false;
    job->completed = false;
    job->hasDoubt = false;
    job->doubtAddress[0] = '\0';
    job->carried.Clear();
    job->withdrawn.Clear();
    job->mailingId[0] = '\0';
    job->date[0] = '\0';
    job->hasSheet = false;
    for (char* line = text; line < text + size;) {
        char* end = static_cast<char*>(std::memchr(line, '\n', text + size - line));
        // A last line without its line break was being written when the
        // process died: it counts for nothing.
        if (!end)
            break;
        char* next = end + 1;
        if (end > line && end[-1] == '\r')
            --end;
        *end = '\0';
        const size_t length = static_cast<size_t>(end - line);
        if (!sawMark) {
            if (std::strcmp(line, kStateMark) != 0)
                break;
            sawMark = true;
        } else if (StartsWith(line, length, kListKey)) {
            // A later run of a list renamed since says so: the last one stands.
            std::snprintf(job->listPath, sizeof job->listPath, "%s", line + sizeof kListKey - 1);
            sawList = true;
        } else if (StartsWith(line, length, kSubjectKey)) {
            // A later run's subject (edited since) stands: its copies went with it.
            const char* subject = line + sizeof kSubjectKey - 1;
            MemFree(job->subject);
            job->subject = static_cast<char*>(MemAlloc(std::strlen(subject) + 1));
            if (!job->subject) {
                MemFree(text);
                return LastJobNoMemory;
            }
            std::strcpy(job->subject, subject);
            Unescape(job->subject);
            sawSubject = true;
        } else if (StartsWith(line, length, kMailingKey)) {
            std::snprintf(job->mailingId, sizeof job->mailingId, "%s",
                          line + sizeof kMailingKey - 1);
        } else if (StartsWith(line, length, kDateKey)) {
            std::snprintf(job->date, sizeof job->date, "%s", line + sizeof kDateKey - 1);
        } else if (StartsWith(line, length, kReleaseKey)) {
            NoteRelease(job, line + sizeof kReleaseKey - 1);
        } else if (StartsWith(line, length, kSheetKey)) {
            // Each run names the sheet it read: the last one stands.
            ReadSheet(job, line + sizeof kSheetKey - 1);
        } else if (StartsWith(line, length, kSendingKey)) {
            char* p = line + sizeof kSendingKey - 1;
            char* after = nullptr;
            const long recordLine = std::strtol(p, &after, 10);
            const unsigned long long hash = std::strtoull(after, &after, 16);
            const long sentBefore = std::strtol(after, &after, 10);
            if (after == p || recordLine <= 0 || sentBefore < 0) {
                result = LastJobUnreadable; // not a line the job wrote
                break;
            }
            while (*after == ' ')
                ++after;
            std::snprintf(job->doubtAddress, sizeof job->doubtAddress, "%s", after);
            job->hasDoubt = true;
            job->doubtLine = recordLine;
            job->doubtHash = hash;
            job->doubtSentBefore = sentBefore;
            job->completed = false;
            if (job->onSending)
                job->onSending(job->onSendingContext, recordLine, job->doubtAddress);
        } else if (StartsWith(line, length, kEndedKey)) {
            job->completed = std::strcmp(line + sizeof kEndedKey - 1, kCompleted) == 0;
            job->hasDoubt = false;
        } else if (std::strcmp(line, kContinued) == 0) {
            job->completed = false;
        } else if (StartsWith(line, length, kDoubtKey)) {
            if (!job->carried.Add(line + sizeof kDoubtKey - 1)) {
                MemFree(text);
                return LastJobNoMemory;
            }
        } else if (StartsWith(line, length, kSettledKey)) {
            job->carried.Remove(line + sizeof kSettledKey - 1);
        } else if (StartsWith(line, length, kWithdrawingKey)) {
            // From here on the record's copy may be gone: its record no
            // longer counts as sent, and the copy is in doubt until the
            // line that says what became of it.
            const char* address = MarkedAddress(line + sizeof kWithdrawingKey - 1);
            if (address && (!job->withdrawn.Add(address) || !job->carried.Add(address))) {
                MemFree(text);
                return LastJobNoMemory;
            }
            if (address)
                job->completed = false;
        } else if (StartsWith(line, length, kWithdrawnKey)) {
            if (const char* address = MarkedAddress(line + sizeof kWithdrawnKey - 1))
                job->carried.Remove(address);
        } else if (StartsWith(line, length, kNotWithdrawnKey)) {
            // It had left, or the client kept it: it counts as sent again.
            if (const char* address = MarkedAddress(line + sizeof kNotWithdrawnKey - 1)) {
                job->carried.Remove(address);
                job->withdrawn.RemoveOne(address);
            }
        }
        line = next;
        result = sawMark && sawList && sawSubject ? LastJobFound : LastJobUnreadable;
    }
    MemFree(text);
    return result;
}

MailingMatch MatchMailing(const LastJob& job, const MailingKey& key) {
    const bool sameSubject =
        job.subject && std::strcmp(job.subject, key.subject ? key.subject : "") == 0;
    const char* a = job.listPath;
    const char* b = key.listPath ? key.listPath : "";
    for (; *a && LowerAscii(*a) == LowerAscii(*b); ++a, ++b) {
    }
    const bool sameList = *a == *b;
    if (key.id && key.id[0] && job.mailingId[0]) {
        if (std::strcmp(job.mailingId, key.id) == 0)
            return sameList ? MailingMatch::Same : MailingMatch::SameMessage;
    } else if (sameList && sameSubject) {
        return MailingMatch::Same;
    }
    return sameSubject ? MailingMatch::SameSubject : MailingMatch::Other;
}

// ---- The sent list ------------------------------------------------------------------------------

void SentRecords::Clear() {
    MemFree(entries_);
    MemFree(text_);
    entries_ = nullptr;
    text_ = nullptr;
    capacity_ = used_ = textSize_ = textUsed_ = 0;
    records_ = 0;
    watched_[0] = '\0';
    hasAddressColumn_ = false;
    column_ = -1;
    endsWithLineBreak_ = true;
}

SentRecords::Entry* SentRecords::Find(uint64_t hash, const char* text, size_t length) {
    if (!capacity_)
        return nullptr;
    for (size_t i = static_cast<size_t>(hash) & (capacity_ - 1);; i = (i + 1) & (capacity_ - 1)) {
        Entry& entry = entries_[i];
        if (entry.length == 0)
            return &entry; // an empty slot: where it would go
        if (entry.hash == hash && entry.length == length &&
            std::memcmp(text_ + entry.offset, text, length) == 0)
            return &entry;
    }
}

bool SentRecords::Grow() {
    const size_t capacity = capacity_ ? capacity_ * 2 : 1024;
    auto* entries = static_cast<Entry*>(MemAlloc(capacity * sizeof(Entry)));
    if (!entries)
        return false;
    std::memset(entries, 0, capacity * sizeof(Entry));
    for (size_t i = 0; i < capacity_; ++i) {
        if (entries_[i].length == 0)
            continue;
        size_t at = static_cast<size_t>(entries_[i].hash) & (capacity - 1);
        while (entries[at].length != 0)
            at = (at + 1) & (capacity - 1);
        entries[at] = entries_[i];
    }
    MemFree(entries_);
    entries_ = entries;
    capacity_ = capacity;
    return true;
}

bool SentRecords::Add(const char* address) {
    char key[kListAddressSize];
    const size_t length = AddressKey(address, key);
    if (length == 0)
        return true; // no address: holds nobody
    const uint64_t hash = Fnv1a(key, length);
    // At most three quarters full: probes stay short, the table small.
    if ((used_ + 1) * 4 > capacity_ * 3 && !Grow())
        return false;
    Entry* entry = Find(hash, key, length);
    if (entry->length == 0) {
        if (textUsed_ + length + 1 > UINT32_MAX)
            return false; // beyond any sent list a client's memory holds
        if (textSize_ - textUsed_ < length + 1) {
            size_t size = textSize_ ? textSize_ + textSize_ / 2 : size_t{64} * 1024;
            while (size - textUsed_ < length + 1)
                size += size / 2;
            char* grown = static_cast<char*>(MemRealloc(text_, size));
            if (!grown)
                return false;
            text_ = grown;
            textSize_ = size;
        }
        std::memcpy(text_ + textUsed_, key, length);
        text_[textUsed_ + length] = '\0';
        *entry = Entry{hash, static_cast<uint32_t>(textUsed_), static_cast<uint32_t>(length), 0, 0};
        textUsed_ += length + 1;
        ++used_;
    }
    ++entry->held;
    ++entry->left;
    return true;
}

bool SentRecords::AddressColumn(const ListRecord& header, const char* path) {
    int columns[16];
    const int count = AddressColumns(&header, columns, 16);
    if (count == 0)
        return false;
    column_ = columns[0];
    // Of several fields named for an address, the one the list's own choice
    // would take: the one that holds the most addresses.
    if (count > 1) {
        const int best = BestAddressColumn(path, columns, count, true);
        if (best >= 0)
            column_ = best;
    }
    return true;
}

SentListRead SentRecords::Load(const char* path) {
    Clear();
    bool outOfMemory = false;
    ListFile* file = OpenListFile(path, &outOfMemory);
    if (!file)
        return outOfMemory ? SentListNoMemory : SentListMissing;
    // Its records came from a list of any encoding, as UTF-8.
    CountListInCharacters(file);
    ListRecord record;
    SentListRead result = SentListOk;
    bool header = true;
    char address[kListAddressSize];
    while (ReadListRecord(file, &record)) {
        endsWithLineBreak_ = RecordLength(record.raw) != std::strlen(record.raw);
        if (header) {
            header = false;
            hasAddressColumn_ = AddressColumn(record, path);
            continue;
        }
        const bool watched = records_ == watch_;
        ++records_;
        // A record without a usable address was never mailed from this
        // list's e-mail column; it counts as a record and holds nobody.
        if (!hasAddressColumn_ || column_ >= record.count ||
            TakeListAddress(record.values[column_], address) != 0)
            continue;
        if (watched)
            std::snprintf(watched_, sizeof watched_, "%s", address);
        if (!Add(address)) {
            result = SentListNoMemory;
            break;
        }
    }
    if (result == SentListOk && ListFileStopReason(file) != ListStopNone)
        result = ListFileStopReason(file) == ListStopNoMemory ? SentListNoMemory : SentListBroken;
    FreeListRecord(&record);
    CloseListFile(file);
    if (result != SentListOk)
        Clear();
    return result;
}

bool SentRecords::Take(const char* address) {
    if (!used_ || !address)
        return false;
    char key[kListAddressSize];
    const size_t length = AddressKey(address, key);
    Entry* entry = Find(Fnv1a(key, length), key, length);
    if (!entry || entry->held == 0 || entry->left == 0)
        return false;
    --entry->left;
    return true;
}

bool SentRecords::Withdraw(const char* address) {
    if (!used_ || !address)
        return false;
    char key[kListAddressSize];
    const size_t length = AddressKey(address, key);
    // The slot stays taken (its length marks it), so the probes past it
    // still find what lies beyond.
    Entry* entry = Find(Fnv1a(key, length), key, length);
    if (!entry || entry->length == 0 || entry->held == 0)
        return false;
    --entry->held;
    if (entry->left > entry->held)
        entry->left = entry->held;
    return true;
}

void SentRecords::GiveBack() {
    for (size_t i = 0; i < capacity_; ++i)
        entries_[i].left = entries_[i].held;
}
