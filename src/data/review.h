// What the review shows before a mailing starts: the recipients the job will
// mail and what in the list and the message is likely a mistake. Mass mail
// cannot be recalled, so whatever would go wrong for some recipients is told
// before the first message, with the lines of the list it concerns.
//
// The findings are gathered during the counting pass the job makes anyway:
// each record is told to the review once, as the pass reads it, so the list
// is not read again for them. What is kept grows with the distinct addresses
// only (a 64-bit hash and a line each), never with the records' text.
#pragma once

#include "data/mailing_list.h"
#include "data/record_extras.h"

#include <cstddef>
#include <cstdint>

enum class ReviewFindingKind : int {
    NoAddress = 0,    // records without an e-mail address: not mailed
    NotOneAddress,    // records whose address value is not one mailbox: not mailed
    RepeatedAddress,  // records whose address an earlier record has already
    EmptyField,       // records with an empty value for a field the message uses
    UnknownToken,     // "[[...]]" in the message naming no column of the list
    OnComposed,       // recipients already on the composed message
    NotBuildable,     // records whose files or copy addresses cannot be used: not mailed
    LargeAttachments, // copies whose files together pass kLargeAttachmentBytes
    Count
};

// Attachments beyond this, together, many providers refuse.
constexpr uint64_t kLargeAttachmentBytes = uint64_t{25} * 1024 * 1024;

// One finding: what it is about (a field, a token, an address), the first
// few list lines it concerns and how many there are in all.
struct ReviewFinding {
    static constexpr int kLinesKept = 5;
    ReviewFindingKind kind = ReviewFindingKind::NoAddress;
    char subject[128] = ""; // UTF-8, one line, cut between characters
    // A column whose name is close to an unknown token's ("Frist Name" for
    // "First Name"); empty when none is.
    char suggestion[128] = "";
    long lines[kLinesKept] = {};
    // For a repeated address, the line where the address first stands,
    // one per entry of `lines`.
    long firstLines[kLinesKept] = {};
    // What each of `lines` concerns, when the kind shows it: the file or
    // value of a record that cannot be built, the size of large attachments.
    char values[kLinesKept][96] = {};
    long count = 0; // records (or occurrences) concerned, all of them
};

// The distinct files, or Cc and Bcc addresses, that the copies carry, each
// with the copies it is on; the first few keep their text to be shown.
// What is kept grows with the distinct ones only.
class CarriedTally {
public:
    static constexpr int kShown = 24;
    static constexpr size_t kTextSize = 200;
    struct Item {
        uint64_t hash;  // 0: an empty slot
        long copies;    // copies that carry it
        long firstLine; // the list line of the first
        long lastLine;  // of the last counted, so a copy counts once
        uint64_t size;  // a file's size
        unsigned flags; // kCc, kBcc, kOutside, kNetwork
        int shown;      // its text's index, or -1
    };
    static constexpr unsigned kCc = 1, kBcc = 2, kOutside = 4, kNetwork = 8;

    CarriedTally() = default;
    CarriedTally(const CarriedTally&) = delete;
    CarriedTally& operator=(const CarriedTally&) = delete;
    ~CarriedTally() { Clear(); }

    // Counts `text` (its hash given) on the copy of `line`; false when memory ran out.
    bool Add(uint64_t hash, long line, const char* text, uint64_t size, unsigned flags);
    void Clear();
    size_t Distinct() const { return used_; }
    int ShownCount() const { return shownCount_; }
    // The items whose texts are kept, in the order first met.
    const Item* Shown(int index) const;
    const char* Text(int index) const { return texts_[index]; }
    size_t MemoryBytes() const { return slotCount_ * sizeof(Item); }

private:
    Item* slots_ = nullptr;
    size_t slotCount_ = 0;
    size_t used_ = 0;
    int shownCount_ = 0;
    char texts_[kShown][kTextSize] = {};
};

class MailingReview {
public:
    // At most this many findings are kept; more of a kind are counted in
    // the findings kept (an empty-field finding per field, a token finding
    // per distinct token up to this many).
    static constexpr int kFindingsKept = 32;

    MailingReview() = default;
    MailingReview(const MailingReview&) = delete;
    MailingReview& operator=(const MailingReview&) = delete;
    ~MailingReview() { Clear(); }

    // Starts a review for a list with this header, for a message of this
    // subject, plain body and HTML body (null when it has none), before the
    // first record: finds the fields the message uses and the tokens that
    // name no column (letter case aside, as the merge compares; the HTML's
    // tokens with their markup left out). False when memory ran out.
    bool Begin(const ListRecord* header, int emailColumn, const char* subject, const char* body,
               const char* html);
    // A record passed over for `reason`.
    void AddPassedOver(const ListRecord& record, ListSkipReason reason);
    // A record that will be mailed, with its address as the job took it.
    // False when memory ran out (the review is then incomplete, and says so).
    bool AddRecipient(const ListRecord& record, const char* address);
    // An address already on the composed message: every copy goes to it too.
    void AddComposedRecipient(const char* address);
    // A record that cannot be built as it asks, and so is not mailed: `why`
    // ("the attachment cannot be found") groups such records, `value` (the
    // file, the Cc value) is shown beside the record's line.
    void AddNotBuildable(const ListRecord& record, const char* why, const char* value);
    // A recipient whose files come to `bytes` together: told when that
    // passes kLargeAttachmentBytes.
    void AddAttachmentBytes(const ListRecord& record, uint64_t bytes);
    // What a recipient's copy carries beyond its To: its files, Cc and Bcc.
    // False when memory ran out (the review then says it is incomplete).
    bool AddCarried(const ListRecord& record, const RecordExtras& extras);
    void Clear();

    long Recipients() const { return recipients_; }
    int FindingCount() const { return findingCount_; }
    const ReviewFinding& Finding(int index) const { return findings_[index]; }
    bool Incomplete() const { return incomplete_; }
    // Whether nothing was found and the copies carry nothing beyond the
    // message and their To, the address column chosen among none other: the
    // review may then be skipped.
    bool Clean() const {
        return findingCount_ == 0 && !incomplete_ && files_.Distinct() == 0 &&
               copiesTo_.Distinct() == 0 && addressColumns_ < 2;
    }
    // Copies that carry files on another machine: they go only once the
    // user allows those files in the review.
    long NetworkCopies() const { return networkCopies_; }
    const CarriedTally& Files() const { return files_; }
    const CarriedTally& CopiesTo() const { return copiesTo_; }

    // The findings as the user reads them, one paragraph each ("3 records
    // have no e-mail address: lines 4, 9, 12."), UTF-8, CR LF between
    // paragraphs, cut at `size`.
    void Describe(char* text, size_t size) const;
    // What the copies carry, as the user reads it: the columns taken (the
    // address column and those passed over; attachments, Cc, Bcc), each
    // distinct file with its size and the copies carrying it, each Cc and
    // Bcc address with the copies it is on. Paragraphs as Describe's; empty
    // when there is nothing to tell.
    void DescribeCarried(char* text, size_t size) const;

    // Bytes the address table holds now (for the benchmark's figure).
    size_t MemoryBytes() const;

private:
    ReviewFinding* FindingFor(ReviewFindingKind kind, const char* subject);
    void Note(ReviewFinding* finding, long line, long firstLine, const char* value = nullptr);
    bool SeenAddress(uint64_t hash, long line, long* firstLine);
    bool GrowAddresses();
    // The line where a To of `hash` first stands, or 0.
    long ToLine(uint64_t hash) const;
    void FindColumns(const ListRecord* header, int emailColumn);

    ReviewFinding findings_[kFindingsKept];
    int findingCount_ = 0;
    long recipients_ = 0;
    bool incomplete_ = false;
    // The fields the message uses, by header index, and their names.
    int usedFields_[kFindingsKept] = {};
    char usedNames_[kFindingsKept][128] = {};
    int usedCount_ = 0;
    int emailColumn_ = -1;
    // Open addressing over 64-bit hashes of the lower-cased addresses; a
    // zero hash marks an empty slot (a real zero is stored as one).
    struct AddressSlot {
        uint64_t hash;
        long line;
    };
    AddressSlot* addresses_ = nullptr;
    size_t addressSlots_ = 0;
    size_t addressesUsed_ = 0;
    // What the copies carry beyond the message.
    CarriedTally files_;
    CarriedTally copiesTo_; // Cc and Bcc addresses
    long networkCopies_ = 0;
    long checkedCopies_ = 0; // recipients whose extras were told
    // The columns taken, as the user reads them; how many columns are
    // named for an address.
    char columns_[1024] = "";
    int addressColumns_ = 0;
};
