// Whether a record can be mailed as its attachment, Cc and Bcc columns ask,
// and every value of it merges (none of 512 characters or more).
// Both passes of a job check every record here, so they count the same
// records; the check's result (its files and addresses) is what the copy
// is then built from.
#pragma once

#include "data/record_extras.h"

// The current record's attachments, Cc and Bcc, checked; its storage given
// back with it.
struct CheckedExtras : RecordExtras {
    CheckedExtras() = default;
    CheckedExtras(const CheckedExtras&) = delete;
    CheckedExtras& operator=(const CheckedExtras&) = delete;
    ~CheckedExtras() { FreeRecordExtras(this); }
};

// Why a record cannot be built as it asks, as the review groups such records:
// "an attachment cannot be found", "its Cc is not ...".
void NotBuildableWhy(const RecordExtras& extras, char* why, size_t size);

class RecordChecks {
public:
    // Whether `record` of the list at `listPath` (ANSI, as typed) can be
    // mailed as it asks. The columns are found at the first call, from the
    // header read in the counting pass.
    bool Usable(const ListRecord& header, int emailColumn, const ListRecord& record,
                const char* listPath);
    // What the last check found: the files, Cc and Bcc, or why not.
    const CheckedExtras& Extras() const { return extras_; }
    // "Cc", "Bcc", "the value of" (a field's, too long to merge) or "the
    // attachment": what the reason of the last check is about.
    const char* WhatFailed() const;
    // "Not sent: line N, ..." for the record the last check refused.
    void NotSentText(long line, char* text, size_t size) const;
    // What the last record checked carries beyond its To, for the job log:
    // its Cc, Bcc and files with their full paths; empty when nothing.
    void CarriedText(char* text, size_t size) const;

    // Files on another machine are listed, not touched, until the user has
    // chosen in the review; then they are looked at and attached, or the
    // records naming them are not mailed.
    void SetNetworkFiles(NetworkFiles choice) { places_.network = choice; }
    NetworkFiles NetworkChoice() const { return places_.network; }
    // Whether the To address given and the Cc and Bcc the last check found
    // have nothing but ASCII before their @, for a sender that takes no other
    // address; when one has more, the record is refused as the last check's
    // result, naming that address.
    bool AsciiLocalParts(const char* to);
    // The list is counted afresh: its columns found again from its header,
    // its files on other computers undecided until the review.
    void Forget() {
        columnsFound_ = false;
        places_.network = NetworkFiles::Undecided;
    }

private:
    void FindPlaces(const char* listPath);
    void RefuseTooLong(const char* fieldName);
    void Refuse(RecordExtrasReason reason, const char* value);

    RecordExtraColumns columns_;
    bool columnsFound_ = false;
    // Full paths, UTF-8: the list's folder, the list, the data folder.
    char listFolder_[3 * 260] = "";
    char listPath_[3 * 260] = "";
    char dataFolder_[3 * 260] = "";
    RecordExtrasPlaces places_;
    CheckedExtras extras_;
};
