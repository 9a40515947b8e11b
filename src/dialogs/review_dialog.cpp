#include "dialogs/review_dialog.h"

#include "dialogs/review_release.h"

#include "base/dialog_ids.h"
#include "data/review.h"
#include "data/settings.h"
#include "data/workbook_text.h"
#include "dialogs/decimal_field.h"
#include "dialogs/dialog_procedure.h"
#include "dialogs/dialog_support.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kLargestLimit = 999999;
constexpr size_t kFindingsText = 16384;
// The preview shows the start of a long body; the copy itself is whole.
constexpr size_t kPreviewText = 16384;
// The dialog's result when the list is to be read again another way.
constexpr INT_PTR kReadAgain = 2;

// "12,345": counts a user reads at a glance.
void Grouped(char* text, size_t size, long value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%ld", value);
    const size_t n = std::strlen(digits);
    size_t used = 0;
    for (size_t i = 0; i < n && used + 2 < size; ++i) {
        if (i > 0 && (n - i) % 3 == 0 && digits[0] != '-')
            text[used++] = ',';
        text[used++] = digits[i];
    }
    text[used] = '\0';
}

void Duration(char* text, size_t size, long seconds) {
    if (seconds < 60)
        std::snprintf(text, size, "%ld s", seconds);
    else if (seconds < 3600)
        std::snprintf(text, size, "%ld min", (seconds + 30) / 60);
    else if (seconds < 86400)
        std::snprintf(text, size, "%ld h %ld min", seconds / 3600, (seconds % 3600 + 30) / 60);
    else
        std::snprintf(text, size, "%ld days %ld h", seconds / 86400, (seconds % 86400) / 3600);
}

// A multi-line edit control wants CR LF between lines; the texts may hold
// bare LFs.
void WithCrLf(const char* text, char* out, size_t size) {
    size_t used = 0;
    for (const char* p = text; *p && used + 3 < size; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r'))
            out[used++] = '\r';
        out[used++] = *p;
    }
    out[used] = '\0';
}

class ReviewDialog {
public:
    ReviewDialog(std::unique_ptr<DialogWindow> window, ReviewSession* session)
        : window_(std::move(window)), session_(session),
          release_(window_.get(), session->Recipients(), &session->HandedOver(),
                   session->Account()) {}

    void Initialise() {
        CenterWindow(window_->Handle(), 0);
        const long recipients = session_->Recipients();
        ShowSummary(false);

        ShowWorkbook();
        ShowFindings();

        release_.Show();
        SetNumber(IDC_MAX_PER_RUN, JobOptions.MaxPerRun);
        window_->LimitText(IDC_MAX_PER_RUN, 6);
        window_->LimitText(IDC_GO_LINE, 9);
        window_->SetCheck(IDC_SKIP_CLEAN, JobOptions.SkipCleanReview == 1);
        // Off whenever the review opens: the user allows the network for
        // this mailing, and only by ticking it here.
        window_->SetCheck(IDC_ALLOW_NETWORK, false);
        window_->Enable(IDC_ALLOW_NETWORK, session_->Findings().NetworkCopies() > 0);
        session_->AllowNetworkFiles(false);
        window_->Enable(IDC_SEND_TEST, recipients > 0);
        window_->Enable(IDC_GO, recipients > 0);
        window_->Enable(IDC_GO_LINE, recipients > 0);
        ShowRecipient(0);
        window_->Focus(IDOK);
    }

    void Command(int id, int code) {
        if (release_.Command(id, code))
            return;
        if (id == IDC_SHEET && code == CBN_SELCHANGE) {
            ReadAgain();
            return;
        }
        if (code != BN_CLICKED && id != IDOK && id != IDCANCEL)
            return;
        switch (id) {
        case IDOK:
            // Enter in the line field goes to that line; it never starts the
            // mailing by surprise.
            if (GetFocus() == GetDlgItem(window_->Handle(), IDC_GO_LINE))
                GoToLine();
            else
                Start();
            break;
        case IDCANCEL:
            window_->End(0);
            break;
        case IDC_PREVIOUS:
            ShowRecipient(shown_ - 1);
            break;
        case IDC_NEXT:
            ShowRecipient(shown_ + 1);
            break;
        case IDC_GO:
            GoToLine();
            break;
        case IDC_SEND_TEST:
            SendTest();
            break;
        case IDC_INCLUDE_HIDDEN:
            ReadAgain();
            break;
        case IDC_ALLOW_NETWORK:
            session_->AllowNetworkFiles(window_->IsChecked(IDC_ALLOW_NETWORK));
            ShowSummary(window_->IsChecked(IDC_ALLOW_NETWORK));
            break;
        default:
            break;
        }
    }

    void Close() { window_->Post(WM_COMMAND, IDCANCEL, 0); }

private:
    // How many will be mailed as the dialog now stands: copies whose files
    // are on other computers only while their box is ticked, so that the
    // count is what Start Mailing sends (the findings say why the others
    // wait for the tick).
    void ShowSummary(bool networkAllowed) {
        const long network = session_->Findings().NetworkCopies();
        const long recipients = session_->Recipients() - (networkAllowed ? 0 : network);
        char count[32], time[48], summary[400];
        Grouped(count, sizeof count, recipients);
        Duration(time, sizeof time, EstimatedSeconds(recipients, JobOptions.Pause));
        int used = std::snprintf(summary, sizeof summary, "%s recipient%s will be mailed", count,
                                 recipients == 1 ? "" : "s");
        if (recipients > 0 && JobOptions.Pause > 0)
            used += std::snprintf(summary + used, sizeof summary - static_cast<size_t>(used),
                                  ", in about %s at %d s between messages", time, JobOptions.Pause);
        else if (recipients > 0)
            used += std::snprintf(summary + used, sizeof summary - static_cast<size_t>(used),
                                  ", in about %s", time);
        if (session_->AlreadySent() > 0) {
            char sent[32];
            Grouped(sent, sizeof sent, session_->AlreadySent());
            std::snprintf(summary + used, sizeof summary - static_cast<size_t>(used),
                          ".\r\nThe last run of this mailing mailed %s already.", sent);
        } else {
            std::snprintf(summary + used, sizeof summary - static_cast<size_t>(used), ".");
        }
        window_->SetText(IDC_REVIEW_SUMMARY, summary);
    }

    // A workbook's sheets to choose from (the one read selected) and its
    // hidden rows; both off for a text list, the sheets also for a
    // workbook of one sheet.
    void ShowWorkbook() {
        const WorkbookListFacts* facts = session_->Workbook();
        HWND dialog = window_->Handle();
        SendDlgItemMessageA(dialog, IDC_SHEET, CB_RESETCONTENT, 0, 0);
        if (facts) {
            for (const WorkbookListFacts::Sheet& sheet : facts->sheets) {
                std::string name = sheet.name;
                if (!sheet.visible)
                    name += " (hidden)";
                AddUtf8ComboItem(dialog, IDC_SHEET, name.c_str());
            }
            SendDlgItemMessageA(dialog, IDC_SHEET, CB_SETCURSEL, static_cast<WPARAM>(facts->sheet),
                                0);
        }
        window_->Enable(IDC_SHEET, facts && facts->sheets.size() > 1);
        window_->SetCheck(IDC_INCLUDE_HIDDEN, facts && facts->includeHidden);
        window_->Enable(IDC_INCLUDE_HIDDEN,
                        facts && (facts->hiddenRows > 0 || facts->includeHidden));
    }

    // The user picked another sheet or ticked the hidden rows: the job
    // reads the list again that way and shows the review anew.
    void ReadAgain() {
        const int sheet =
            static_cast<int>(SendDlgItemMessageA(window_->Handle(), IDC_SHEET, CB_GETCURSEL, 0, 0));
        const WorkbookListFacts* facts = session_->Workbook();
        if (!facts || sheet < 0)
            return;
        session_->ChooseWorkbookRows(sheet, window_->IsChecked(IDC_INCLUDE_HIDDEN));
        CarryChoices();
        window_->End(kReadAgain);
    }

    // What the user chose here so far is shown again with the list read
    // anew; it is kept as the options only once the mailing starts.
    void CarryChoices() {
        release_.Take(true);
        int limit = 0;
        if (ReadRunLimit(&limit))
            JobOptions.MaxPerRun = limit;
        JobOptions.SkipCleanReview = window_->IsChecked(IDC_SKIP_CLEAN) ? 1 : 0;
    }

    // The run's limit as typed, 0 (all of them) when nothing is; false when
    // it is not one.
    bool ReadRunLimit(int* limit) {
        char text[16];
        window_->GetText(IDC_MAX_PER_RUN, text, sizeof text);
        *limit = text[0] ? ReadDecimalField(text) : 0;
        return *limit >= 0 && *limit <= kLargestLimit;
    }

    // Which sheet was read, the hidden rows left out, the values shown in
    // the General form and the formulas never computed; empty for a text list.
    static void DescribeWorkbook(const WorkbookListFacts* facts, char* text, size_t size) {
        text[0] = '\0';
        if (!facts || facts->sheet < 0 || size == 0)
            return;
        std::string said = "The list is the sheet \"" +
                           facts->sheets[static_cast<size_t>(facts->sheet)].name +
                           "\" of the workbook.";
        if (facts->hiddenRows > 0)
            said += " " + std::to_string(facts->hiddenRows) +
                    (facts->hiddenRows == 1 ? " hidden row is" : " hidden rows are") +
                    " left out (\"Include the hidden rows\" mails them too).";
        else if (facts->includeHidden)
            said += " Its hidden rows are included.";
        const std::string notes = DescribeWorkbookNotes(*facts);
        if (!notes.empty())
            said += "\n\n" + notes;
        std::snprintf(text, size, "%s\n\n", said.c_str());
    }

    // The workbook's sheet, the findings, then what the copies carry
    // beyond the message.
    void ShowFindings() {
        static char findings[kFindingsText], described[kFindingsText];
        const MailingReview& review = session_->Findings();
        DescribeWorkbook(session_->Workbook(), described, sizeof described);
        const size_t start = std::strlen(described);
        if (review.FindingCount() == 0 && !review.Incomplete()) {
            std::snprintf(described + start, sizeof described - start, "%s",
                          "Nothing found: every record has one e-mail address of its own, and "
                          "every token of the message names a filled field of the list.");
        } else {
            review.Describe(described + start, sizeof described - start);
        }
        const size_t used = std::strlen(described);
        if (used + 4 < sizeof described) {
            std::memcpy(described + used, "\r\n\r\n", 5);
            review.DescribeCarried(described + used + 4, sizeof described - used - 4);
            if (described[used + 4] == '\0')
                described[used] = '\0';
        }
        WithCrLf(described, findings, sizeof findings);
        SetUtf8DialogText(window_->Handle(), IDC_REVIEW_FINDINGS, findings);
    }

    void SetNumber(int id, long value) {
        char text[16];
        std::snprintf(text, sizeof text, "%ld", value);
        window_->SetText(id, text);
    }

    void ShowRecipient(long index) {
        const long recipients = session_->Recipients();
        ReviewCopy copy;
        if (recipients == 0 || index < 0 || index >= recipients ||
            !session_->Preview(index, &copy)) {
            if (recipients == 0) {
                window_->SetText(IDC_PREVIEW_WHO, "Nobody will be mailed.");
                window_->SetText(IDC_PREVIEW_TEXT, "");
            }
            UpdateMoves();
            return;
        }
        shown_ = index;
        char number[32], total[32], who[kListAddressSize + 96];
        Grouped(number, sizeof number, index + 1);
        Grouped(total, sizeof total, recipients);
        std::snprintf(who, sizeof who, "Recipient %s of %s, line %ld of the list: %s", number,
                      total, copy.line, copy.address);
        SetUtf8DialogText(window_->Handle(), IDC_PREVIEW_WHO, who);
        static char text[kPreviewText], shown[kPreviewText];
        std::snprintf(text, sizeof text, "To: %s\n%s%sSubject: %s\n\n%s", copy.address,
                      copy.carried, copy.carried[0] ? "\n" : "", copy.subject, copy.body);
        WithCrLf(text, shown, sizeof shown);
        SetUtf8DialogText(window_->Handle(), IDC_PREVIEW_TEXT, shown);
        SetNumber(IDC_GO_LINE, copy.line);
        UpdateMoves();
    }

    void UpdateMoves() {
        window_->Enable(IDC_PREVIOUS, shown_ > 0);
        window_->Enable(IDC_NEXT, shown_ + 1 < session_->Recipients());
    }

    void GoToLine() {
        char text[16];
        window_->GetText(IDC_GO_LINE, text, sizeof text);
        const int line = ReadDecimalField(text);
        const long index = line > 0 ? session_->RecipientAtLine(line) : -1;
        if (index < 0) {
            char said[128];
            std::snprintf(said, sizeof said,
                          "No recipient's record starts at line %s of the list or after it.", text);
            window_->ShowMessage(said, MB_OK | MB_ICONINFORMATION);
            window_->Focus(IDC_GO_LINE);
            return;
        }
        ShowRecipient(index);
    }

    void SendTest() {
        window_->Enable(IDC_SEND_TEST, false);
        char said[kListAddressSize * 2 + 128];
        const bool sent = session_->SendTest(shown_, said, sizeof said);
        window_->Enable(IDC_SEND_TEST, true);
        ShowUtf8Message(window_->Handle(), said, sent ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
    }

    void Start() {
        int limit = 0;
        if (!ReadRunLimit(&limit)) {
            window_->ShowMessage("Please enter how many messages to send now, from 0 (all of "
                                 "them) to 999999.",
                                 MB_OK | MB_ICONEXCLAMATION);
            window_->Focus(IDC_MAX_PER_RUN);
            return;
        }
        if (!release_.Take())
            return;
        JobOptions.MaxPerRun = limit;
        JobOptions.SkipCleanReview = window_->IsChecked(IDC_SKIP_CLEAN) ? 1 : 0;
        SaveOptions();
        window_->End(1);
    }

    std::unique_ptr<DialogWindow> window_;
    ReviewSession* session_;
    ReviewRelease release_;
    long shown_ = 0;
};

INT_PTR CALLBACK ReviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return Guarded([&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            auto* session = reinterpret_cast<ReviewSession*>(lParam);
            if (!session) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            if (ReviewDialog* review = AttachController<ReviewDialog>(dialog, session))
                review->Initialise();
            else
                EndDialog(dialog, 0);
            // The focus is on Start Mailing: left to the dialog manager it
            // would go to the findings, all of their text selected and
            // scrolled to its end.
            return FALSE;
        }
        ReviewDialog* review = ControllerOf<ReviewDialog>(dialog);
        if (!review)
            return FALSE;
        switch (message) {
        case WM_COMMAND:
            review->Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            review->Close();
            return TRUE;
        case WM_NCDESTROY:
            DetachController<ReviewDialog>(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}

} // namespace

ReviewAnswer ShowReviewDialog(HWND owner, ReviewSession* session) {
    const INT_PTR chosen =
        ShowLibraryDialog(IDD_REVIEW, owner, ReviewDialogProc, reinterpret_cast<LPARAM>(session));
    if (chosen == -1)
        return ReviewAnswer::NotShown;
    if (chosen == kReadAgain)
        return ReviewAnswer::ReadAgain;
    return chosen == 1 ? ReviewAnswer::Start : ReviewAnswer::Back;
}
