// What a mailing needs of the person running it, declared here and
// implemented by the dialogs layer: the engine tells, asks and shows the
// review only through this, and never touches a window itself. Whoever
// implements it owns the boxes (the mailing dialog, so that it is disabled
// while one is open) and the thread's message loop.
#pragma once

#include "data/send_schedule.h"
#include "platform.h"

#include <cstddef>
#include <vector>

class MailingReview;
struct WorkbookListFacts;

// One recipient's merged copy, as the review previews it. The texts stay
// valid until the next call on the session.
struct ReviewCopy {
    long index = 0; // among the recipients this run mails, from 0
    long line = 0;  // the list line where its record starts
    const char* address = "";
    const char* subject = ""; // UTF-8
    const char* body = "";    // the plain-text body, UTF-8
    // What the copy carries beyond its To, one line each: "Cc: ...",
    // "Bcc: ...", "Attachments: name (size), ..."; empty when nothing.
    const char* carried = "";
};

// What the review dialog asks of the job waiting for its answer.
class ReviewSession {
public:
    // Recipients this run mails, and those an earlier run of the same
    // mailing has mailed already.
    virtual long Recipients() const = 0;
    virtual long AlreadySent() const = 0;
    // When the copies already handed over (this mailing's earlier runs and
    // other mailings) are released, UTC seconds since 1601: this run's
    // copies follow them within the same limits.
    virtual const std::vector<long long>& HandedOver() const = 0;
    virtual const MailingReview& Findings() const = 0;
    // The account the copies leave from, as far as the client tells it.
    virtual SendingAccount Account() { return {}; }
    // Recipient `index`'s copy, merged; false when there is no such
    // recipient or the list cannot be read again (the user is told).
    virtual bool Preview(long index, ReviewCopy* copy) = 0;
    // The first recipient whose record starts at `line` of the list or
    // after it; -1 when none does.
    virtual long RecipientAtLine(long line) = 0;
    // Sends recipient `index`'s copy to the user's own address, its subject
    // marked as a test. It is not counted, logged or recorded as sent.
    // `said` receives what happened, for the dialog to show.
    virtual bool SendTest(long index, char* said, size_t size) = 0;
    // Whether the files on other computers that the copies name may be
    // opened and attached: the user's explicit choice in the review, off
    // until then. Nothing on the network is touched before it.
    virtual void AllowNetworkFiles(bool allowed) = 0;
    // The workbook the list is read from: its sheets, the one read, the
    // hidden rows left out, the cells shown in the General form; null for
    // a text list.
    virtual const WorkbookListFacts* Workbook() const { return nullptr; }
    // Which sheet (an index of Workbook()'s) and whether hidden rows count
    // when the list is read again (the review's answer ReadAgain).
    virtual void ChooseWorkbookRows(int sheet, bool includeHidden) {
        (void)sheet;
        (void)includeHidden;
    }

protected:
    ~ReviewSession() = default;
};

enum class ReviewAnswer {
    Start,      // the user starts the mailing
    Back,       // the user goes back to the mailing dialog: nothing is sent
    NotShown,   // the review could not be shown
    NotOffered, // no review here (a run without a review of its own)
    ReadAgain,  // another sheet or the hidden rows chosen: counted anew, shown again
};

class JobUser {
public:
    // A message box: `text` UTF-8, `flags` as MessageBox takes them; the
    // button pressed.
    virtual int Say(const char* text, UINT flags) = 0;
    // A message box with a text of the library's string table.
    virtual int SayString(UINT stringId, UINT flags) = 0;
    // The help file at the topic whose keyword is the string `topicStringId`.
    virtual void ShowHelp(UINT topicStringId) = 0;
    // The review over the mailing dialog; returns when the user has chosen.
    virtual ReviewAnswer Review(ReviewSession* session) = 0;
    // Dispatches every message waiting for the thread. False when the thread
    // is asked to end (the request is put back for the loop that owns it).
    virtual bool DispatchWaiting() = 0;
    // Whether the job still has its user: false once whoever started it
    // has gone (the mailing dialog destroyed), when nothing more may be
    // sent or written.
    virtual bool Present() const = 0;
    // The job is over, with its result (1 complete, 0 not, kJobNotStarted).
    virtual void Finished(int result) = 0;

protected:
    ~JobUser() = default;
};
