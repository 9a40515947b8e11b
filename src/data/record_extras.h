// What a record asks for beyond its merged text: files attached to its copy
// (columns "Attachment", "Attachments", "Attachment 2", "Attachments (PDF)"
// and the like, several names apart by ";"), and
// copies to further addresses (columns "Cc" and "Bcc", addresses apart by
// ";" or ","). The columns are found once per header; each record is then
// checked whole, before anything of its copy exists, by the one function
// both passes of a job call, so that the counting pass counts exactly the
// records the sending pass mails. The values stay ordinary fields for the
// merge.
#pragma once

#include "data/mailing_list.h"

#include <cstddef>
#include <cstdint>

// The most columns of each kind a header may name; further ones are ordinary
// fields only, and the review names them as passed over.
constexpr int kMaxExtraColumns = 8;
// The largest file a copy carries: an attachment's size is a 32-bit signed
// value in the message store.
constexpr uint64_t kMaxAttachmentBytes = 0x7FFFFFFF;
// Every item takes a byte of the record's raw text and a separator at least.
constexpr int kMaxRecordExtraItems = static_cast<int>(kListRawLimit / 2);

struct RecordExtraColumns {
    int attachment[kMaxExtraColumns] = {};
    int attachmentCount = 0;
    int cc[kMaxExtraColumns] = {};
    int ccCount = 0;
    int bcc[kMaxExtraColumns] = {};
    int bccCount = 0;
    // Columns of a kind beyond its kMaxExtraColumns: the first few, and how
    // many in all.
    int passedOver[kMaxExtraColumns] = {};
    int passedOverCount = 0;
};

// The columns of the header named "Cc" or "Bcc", or "Attachment" or
// "Attachments" alone or followed by anything but a letter ("Attachment 1",
// "Attachment2", "Attachments (PDF)"), letter case and surrounding blanks
// aside, in header order.
void FindRecordExtraColumns(const ListRecord* header, RecordExtraColumns* columns);
bool HasRecordExtras(const RecordExtraColumns* columns);

// Why a record cannot be mailed as it asks.
enum RecordExtrasReason {
    RecordExtrasOk = 0,
    RecordAttachmentMissing = 1,    // no such file (or folder on its way)
    RecordAttachmentFolder = 2,     // the path names a folder
    RecordAttachmentUnreadable = 3, // it cannot be opened for reading (locked, denied)
    RecordAttachmentTooLarge = 4,   // over kMaxAttachmentBytes
    RecordCcNotAddresses = 5,       // a Cc value that is not a list of single addresses
    RecordBccNotAddresses = 6,
    RecordExtrasNoMemory = 7,
    RecordAttachmentIsList = 8,     // the mailing list itself
    RecordAttachmentDataFolder = 9, // in the product's data folder (logs, sent lists)
    RecordAttachmentHidden = 10,    // a hidden or system file
    RecordAttachmentDevice = 11,    // a device ("\\.\", "CON", "NUL", "COM1"), no file
    RecordAttachmentStream = 12,    // a stream of a file ("x.pdf:more")
    RecordAttachmentUrl = 13,       // a web address, no file
    RecordAttachmentNetwork = 14,   // on another machine, and the user did not allow it
    // A value of 512 characters or more, which the merge cannot take; the
    // value told is its field's name (RecordChecks finds it, with the header).
    RecordValueTooLong = 15,
    // An address (To, Cc or Bcc) with more than ASCII before its @, where the
    // sender takes none (Exchange Online, behind the web add-in).
    RecordAddressNotAscii = 16,
};

// Whether a file on another machine may be looked at. Until the user has
// decided, such a file is listed and never touched: the counting pass and
// the review run before the user sees anything.
enum class NetworkFiles { Undecided, Refused, Allowed };

// What the files are compared with, each a full path as FullAttachmentPath
// (data/attachment_paths.h) gives it, UTF-8; empty when not known.
struct RecordExtrasPlaces {
    const char* listFolder = ""; // relative names resolve here; others are "outside"
    const char* listPath = "";   // the list itself is never attached
    const char* dataFolder = ""; // nor anything of the product's own data
    NetworkFiles network = NetworkFiles::Undecided;
};

enum RecordExtraKind { RecordExtraFile = 0, RecordExtraCc = 1, RecordExtraBcc = 2 };

struct RecordExtraItem {
    RecordExtraKind kind;
    size_t text;   // offset in the block: the resolved path (UTF-8), or the address
    size_t name;   // offset in the block: the file's own name (last path component)
    uint64_t size; // a file's size in bytes when checked
    bool outside;  // a file outside the list's folder
    bool network;  // a file on another machine (its size unknown until allowed)
};

// A record's extras, checked. Reused record after record; FreeRecordExtras
// gives its storage back.
struct RecordExtras {
    RecordExtrasReason reason = RecordExtrasOk;
    // The offending value when the reason is not Ok, cut to fit: the
    // resolved path of a file, or the Cc / Bcc value as written.
    char value[kListRawLimit * 3] = "";
    int fileCount = 0;
    int ccCount = 0;
    int bccCount = 0;
    int networkFiles = 0;    // files on another machine among fileCount
    uint64_t totalBytes = 0; // the record's files together
    int count = 0;           // items held
    RecordExtraItem items[kMaxRecordExtraItems] = {};
    char* block = nullptr; // the items' texts, NUL-terminated
    size_t blockSize = 0;
    size_t blockUsed = 0;
};

// Checks the record's extras: its attachment values split at ";" into file
// names, each resolved against the list's folder to a full path (a full
// path stands as it is) and refused by its form (device, stream, web
// address) before anything is asked of the disk; then neither the list nor
// in the data folder, and a readable, visible file of at most
// kMaxAttachmentBytes. A file on another machine is only listed while the
// choice is undecided. Its Cc and Bcc values split at ";" and "," into
// single addresses (the e-mail column's rule). Empty pieces are passed
// over, so a value of separators only asks for nothing. Returns the reason,
// which `extras` holds too; the first fault found is the one told.
RecordExtrasReason CheckRecordExtras(const RecordExtraColumns* columns, const ListRecord* record,
                                     const RecordExtrasPlaces* places, RecordExtras* extras);

const char* RecordExtraText(const RecordExtras* extras, int index);
const char* RecordExtraName(const RecordExtras* extras, int index);

void FreeRecordExtras(RecordExtras* extras);

// The folder of a list file given in the ANSI code page, as UTF-8 without a
// trailing separator; empty when the path names no folder (relative names
// are then taken as they stand). Returns the length written.
size_t ListFolderUtf8(const char* listPath, char* folder, size_t size);

// The text a "Not sent" log line gives for the reason, to follow the value
// ("cannot be found", "is a folder", ...).
const char* RecordExtrasReasonText(RecordExtrasReason reason);

// One file's state on disk, through the wide path: what CheckRecordExtras
// asks of each attachment (also before the file is read for its copy).
RecordExtrasReason CheckAttachmentFile(const char* path, uint64_t* size);

// "512 bytes", "12.3 KB", "4.0 MB": a size as the review and the log show it.
void FormatFileSize(uint64_t bytes, char* text, size_t size);
// What a checked record's copy carries beyond its To, for the user to read:
// "Cc: a@x, b@y", "Bcc: ..." and "Attachments: name (size), ..." (full
// paths when `paths`), the parts present apart by `between`; empty when it
// carries nothing. Cut at `size`.
void DescribeRecordExtras(const RecordExtras* extras, bool paths, const char* between, char* text,
                          size_t size);
