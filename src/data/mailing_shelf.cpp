#include "data/mailing_shelf.h"

#include "base/data_paths.h"

#include <cstdio>
#include <cstring>

namespace {

// More than anyone leaves unfinished; probing them all is a few hundred
// attribute reads.
constexpr int kShelfSlots = 256;
constexpr size_t kPathSize = MAX_PATH + 32;

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The data folder's "Unfinished <n>.txt" (or its sent list).
void SlotPath(int slot, bool sentList, char* path, size_t size) {
    const char* folder = DataPaths.jobState;
    const char* slash = std::strrchr(folder, '\\');
    const int folderLength = slash ? static_cast<int>(slash - folder + 1) : 0;
    std::snprintf(path, size, "%.*sUnfinished %d%s.txt", folderLength, folder, slot,
                  sentList ? " sent" : "");
}

// `to` becomes a whole copy of `from` in one step: the copy is written
// beside it and put in its place, so `to` is never seen half written. A
// `from` that is not there leaves no `to` either.
bool CopyInPlace(const char* from, const char* to) {
    char temporary[kPathSize + 8];
    std::snprintf(temporary, sizeof temporary, "%s.tmp", to);
    CrtFile* in = CrtOpen(from, "rb");
    if (!in)
        return !Exists(from) && (DeleteFileA(to) || !Exists(to));
    CrtFile* out = CrtOpen(temporary, "wb");
    bool ok = out != nullptr;
    char buffer[16 * 1024];
    for (size_t got; ok && (got = CrtRead(buffer, sizeof buffer, in)) > 0;)
        ok = CrtWrite(buffer, got, out) == got;
    CrtClose(in);
    if (out) {
        ok = CrtFlush(out) == 0 && ok;
        ok = CrtClose(out) == 0 && ok;
    }
    ok = ok && MoveFileExA(temporary, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileA(temporary);
    return ok;
}

// How the state file at `path` stands to `key`; Other when it cannot be read.
MailingMatch MatchAt(const char* path, const MailingKey& key, LastJob* job) {
    if (ReadLastJob(path, job) != LastJobFound)
        return MailingMatch::Other;
    return MatchMailing(*job, key);
}

// How near a job state is to what is looked for: 0 not at all; 1 the
// mailing itself; then, with `nearest`, what may be it, the unfinished
// before the finished (those can still mail someone twice), the same
// message before the same subject.
int Nearness(MailingMatch match, const LastJob& job, bool nearest) {
    if (match == MailingMatch::Same)
        return 1;
    if (!nearest || match == MailingMatch::Other)
        return 0;
    return (job.completed ? 4 : 2) + (match == MailingMatch::SameSubject ? 1 : 0);
}

// The slot holding `key`'s mailing, else a free one; 0 when there is none.
int SlotFor(const MailingKey& key) {
    char path[kPathSize];
    int free = 0;
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        if (!Exists(path)) {
            free = free ? free : slot;
            continue;
        }
        LastJob job;
        if (MatchAt(path, key, &job) == MailingMatch::Same)
            return slot;
    }
    return free;
}

// Copies the pair (state, sent list) to the pair of `slot`, or back; the
// state file last, so that it stands only beside its own sent list.
bool CopyPair(int slot, bool toShelf) {
    char state[kPathSize], sent[kPathSize];
    SlotPath(slot, false, state, sizeof state);
    SlotPath(slot, true, sent, sizeof sent);
    if (toShelf)
        return CopyInPlace(DataPaths.sentList, sent) && CopyInPlace(DataPaths.jobState, state);
    return CopyInPlace(sent, DataPaths.sentList) && CopyInPlace(state, DataPaths.jobState);
}

void DeleteSlot(int slot) {
    char path[kPathSize];
    // The state file first: a sent list alone is no mailing.
    SlotPath(slot, false, path, sizeof path);
    DeleteFileA(path);
    SlotPath(slot, true, path, sizeof path);
    DeleteFileA(path);
}

} // namespace

void ForEachKeptMailing(void (*visit)(void* context, const char* statePath), void* context) {
    visit(context, DataPaths.jobState);
    char path[kPathSize];
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        if (Exists(path))
            visit(context, path);
    }
}

bool ShelveCurrentMailing(const MailingKey& key) {
    LastJob job;
    if (ReadLastJob(DataPaths.jobState, &job) != LastJobFound ||
        MatchMailing(job, key) == MailingMatch::Same || (job.completed && !job.mailingId[0]))
        return true;
    const int slot = SlotFor(MailingKey{job.listPath, job.subject, job.mailingId});
    if (slot == 0)
        return job.completed; // a finished mailing is let go when there is no room
    return CopyPair(slot, true);
}

ShelfFind TakeMailingFromShelf(const MailingKey& key, bool nearest) {
    LastJob current;
    const LastJobRead read = ReadLastJob(DataPaths.jobState, &current);
    // A state file that cannot be read is not put aside: the user is told
    // of it first.
    if (read == LastJobUnreadable || read == LastJobNoMemory)
        return ShelfFind::NotPutAside;
    int best = read == LastJobFound ? Nearness(MatchMailing(current, key), current, nearest) : 0;
    int bestSlot = 0;
    char path[kPathSize];
    for (int slot = 1; slot <= kShelfSlots && best != 1; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        LastJob job;
        if (!Exists(path))
            continue;
        const int nearness = Nearness(MatchAt(path, key, &job), job, nearest);
        if (nearness && (!best || nearness < best)) {
            best = nearness;
            bestSlot = slot;
        }
    }
    if (!bestSlot)
        return ShelfFind::NotPutAside;
    if (!ShelveCurrentMailing(key))
        return ShelfFind::Failed;
    // The current state goes before its sent list is replaced: a kill in
    // between leaves this mailing put aside and no mailing current.
    if ((!DeleteFileA(DataPaths.jobState) && Exists(DataPaths.jobState)) ||
        !CopyPair(bestSlot, false))
        return ShelfFind::Failed;
    DeleteSlot(bestSlot);
    return ShelfFind::BroughtBack;
}

void DropShelvedCopies(const MailingKey& key) {
    char path[kPathSize];
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        LastJob job;
        if (Exists(path) && MatchAt(path, key, &job) == MailingMatch::Same)
            DeleteSlot(slot);
    }
}
