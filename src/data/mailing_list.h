// The mailing-list reader: a comma-, semicolon- or tab-separated text file
// whose first record names the fields, one of which holds the e-mail address;
// its text reaches the reader as UTF-8 whatever the file's encoding. The
// job reads the file twice (a counting pass, then a sending pass), each time
// opening it afresh with OpenListFile and streaming it record by record; the
// list is never held in memory as a whole.
#pragma once

#include "data/list_address.h"
#include "data/list_file.h"

#include <cstddef>

// A record's raw text holds fewer than this many units of the file's own
// encoding (ListTextUnits): 511 at most.
constexpr size_t kListRawLimit = 512;
// The size of a caller's buffer for a record's raw text (one for an address:
// kListAddressSize). As UTF-8 a unit of the file takes three bytes at most:
// a character of the ANSI code page or of UTF-16, or half of a pair of UTF-16
// surrogates.
constexpr size_t kListRawSize = 3 * kListRawLimit;

// The process-wide delimiter choice: -1 not yet chosen (reading fails),
// 0 comma, 1 tab, 2 semicolon. Written only by SelectListDelimiter.
extern int ListDelimiter;
constexpr int kListComma = 0;
constexpr int kListTab = 1;
constexpr int kListSemicolon = 2;

// One logical record of the file.
struct ListRecord {
    int count = 0;               // values held
    int capacity = 0;            // slots in `values`; grows in steps of 100
    char** values = nullptr;     // NUL-terminated values in file order
    char raw[kListRawSize] = {}; // the record's physical lines as read, each with its LF
    long line = 0;               // the physical line of the file where the record starts
    // The values' text, in one block the record owns and reuses for every
    // record it receives; the values point into it.
    char* text = nullptr;
    size_t textSize = 0;
    size_t textUsed = 0;
};

// Told of each record passed over: the record (its line and values) and the
// e-mail column's value as it stood (empty when the record has none).
typedef void (*ListSkipHandler)(void* context, const ListRecord& record, ListSkipReason reason,
                                const char* value);

// The reader state of one job.
struct MailingList {
    int emailColumn = -1; // index of the header field that holds the address
    ListRecord header;    // kept for the whole job: the merge's field names
    ListRecord current;   // the data record last returned
    // Told of every record ReadNextRecipient passes over; none when null.
    ListSkipHandler onSkipped = nullptr;
    void* skipContext = nullptr;
};

// Drops every value (count 0) but keeps the record's storage for reuse.
void ClearListRecord(ListRecord* record);
// Releases the record's storage: count and capacity 0, no value array.
void FreeListRecord(ListRecord* record);
// Stores a copy of `length` bytes of text as the record's next value. Returns
// 1, or 0 when memory is exhausted (the record is then unchanged).
int AddListValue(ListRecord* record, const char* text, size_t length);

// Chooses ListDelimiter for a list file: semicolon when its header line
// separates its names with semicolons and holds no comma and no tab (as
// spreadsheets write lists where the comma is the decimal sign); otherwise by
// its content (commas only: comma; tabs only: tab), otherwise by its name
// (".csv" anywhere: comma, else tab).
void SelectListDelimiter(const char* path);

// The header fields named for an address ("e-mail" or "email" in the first
// 255 bytes of the name, letter case aside), in order, at most `room` of
// them; a header of one field names it whatever it is called. Returns how
// many there are.
int AddressColumns(const ListRecord* header, int* columns, int room);

// Of the `count` columns given (AddressColumns), the one whose values hold
// the most usable addresses (TakeListAddress) over the whole list at `path`,
// the first of equals; -1 when the list cannot be read. `libraryCopy` for a
// copy the library wrote (CountListInCharacters).
int BestAddressColumn(const char* path, const int* columns, int count, bool libraryCopy = false);

// Reads the next record into `record`. Returns 1 when a record was read, 0 at
// the end of the file or when reading stopped early; which of the two the
// file tells (ListFileStopReason, ListFileStopLine). A record whose raw text
// would reach kListRawLimit units of the file's encoding stops reading early; so does memory
// running out (ListStopNoMemory), which the reader tells no one: its caller tells the user.
int ReadListRecord(ListFile* file, ListRecord* record);

// Finds the next usable recipient: reads the header first when headerDone is
// 0, then data records until one has a usable address (TakeListAddress);
// each record passed over is told to list->onSkipped. Returns 1
// with the cleaned address in `address` (kListAddressSize bytes), 0 when there
// is no further recipient, a record cannot be read or there is no e-mail
// column. headerRaw and recordRaw (kListRawSize bytes) and header are optional.
int ReadNextRecipient(MailingList* list, ListFile* file, int headerDone, char* address,
                      char* headerRaw, char* recordRaw, ListRecord* header, ListRecord* current);
