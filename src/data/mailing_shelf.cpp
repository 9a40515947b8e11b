#include "data/mailing_shelf.h"

#include "base/data_paths.h"
#include "data/job_progress.h"

#include <cstdio>
#include <cstring>

namespace {

// More than anyone leaves unfinished; probing them all is a few hundred
// attribute reads.
constexpr int kShelfSlots = 256;

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

// Copies `from` to `to` whole; the copy reaches the system before this
// returns true.
bool CopyWhole(const char* from, const char* to) {
    CrtFile* in = CrtOpen(from, "rb");
    if (!in)
        return !Exists(from); // nothing to copy: the copy is "empty"
    CrtFile* out = CrtOpen(to, "wb");
    bool ok = out != nullptr;
    char buffer[64 * 1024];
    for (size_t got; ok && (got = CrtRead(buffer, sizeof buffer, in)) > 0;)
        ok = CrtWrite(buffer, got, out) == got;
    CrtClose(in);
    if (out) {
        ok = CrtFlush(out) == 0 && ok;
        ok = CrtClose(out) == 0 && ok;
    }
    if (!ok)
        DeleteFileA(to);
    return ok;
}

// The state file at `path` names an unfinished mailing; `same` whether it
// is this one.
bool Unfinished(const char* path, const char* listPathUtf8, const char* subject, bool* same) {
    LastJob job;
    if (ReadLastJob(path, &job) != LastJobFound || job.completed)
        return false;
    *same = IsSameMailing(job, listPathUtf8, subject);
    return true;
}

int FreeSlot() {
    char path[MAX_PATH + 32];
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        if (!Exists(path))
            return slot;
    }
    return 0;
}

// Copies the pair (state, sent list) to the pair of `slot`, or back.
bool CopyPair(int slot, bool toShelf) {
    char state[MAX_PATH + 32], sent[MAX_PATH + 32];
    SlotPath(slot, false, state, sizeof state);
    SlotPath(slot, true, sent, sizeof sent);
    // The state file last: a slot whose state file stands is whole.
    if (toShelf)
        return CopyWhole(DataPaths.sentList, sent) && CopyWhole(DataPaths.jobState, state);
    return CopyWhole(sent, DataPaths.sentList) && CopyWhole(state, DataPaths.jobState);
}

void DeleteSlot(int slot) {
    char path[MAX_PATH + 32];
    SlotPath(slot, false, path, sizeof path);
    DeleteFileA(path);
    SlotPath(slot, true, path, sizeof path);
    DeleteFileA(path);
}

} // namespace

bool ShelveUnfinishedMailing(const char* listPathUtf8, const char* subject) {
    bool same = false;
    if (!Unfinished(DataPaths.jobState, listPathUtf8, subject, &same) || same)
        return true;
    const int slot = FreeSlot();
    return slot > 0 && CopyPair(slot, true);
}

bool TakeMailingFromShelf(const char* listPathUtf8, const char* subject) {
    char path[MAX_PATH + 32];
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        bool same = false;
        if (!Exists(path) || !Unfinished(path, listPathUtf8, subject, &same) || !same)
            continue;
        if (!ShelveUnfinishedMailing(listPathUtf8, subject) || !CopyPair(slot, false))
            return false;
        DeleteSlot(slot);
        return true;
    }
    return true;
}

void DropShelvedCopies(const char* listPathUtf8, const char* subject) {
    char path[MAX_PATH + 32];
    for (int slot = 1; slot <= kShelfSlots; ++slot) {
        SlotPath(slot, false, path, sizeof path);
        bool same = false;
        if (Exists(path) && Unfinished(path, listPathUtf8, subject, &same) && same)
            DeleteSlot(slot);
    }
}
