// quorvel-demo: a real mailing in the simulated mail client, through the
// product's front door: the client loads the extension (ExchEntryPoint, then
// Install in its contexts), opens a compose window with the sample message,
// which gets the "Quorsend" button, and the user clicks it. The click opens
// the mailing dialog; a scripted user types the list's path into it and
// presses Send, and the dialog runs the job. Time is the substitute
// platform's virtual clock, so pauses between messages cost nothing; the
// status line is printed as the dialog shows it, message boxes are printed,
// and a Yes/No question is answered No, except two: the user continues an
// unfinished mailing of the same list and subject (run the demo again with
// the same --out after it was stopped or killed), and sends the one message
// in doubt when the client cannot be searched for it; the questions --answer
// chooses take their safe defaults. A run reopens the draft the last run in
// the same --out saved (unless --new-message), so the mailing it carries
// goes on with the subject or the list's name changed.
#include "base/data_paths.h"
#include "base/dialog_ids.h"
#include "base/utf8.h"
#include "client/host_state.h"
#include "control.h"
#include "data/job_progress.h"
#include "data/send_schedule.h"
#include "data/settings.h"
#include "engine/mailing_job.h"
#include "extension/extension_object.h"
#include "mail_client.h"
#include "mailing_options.h"
#include "saved_draft.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "quorvel-demo: %s\n", message.c_str());
    std::exit(2);
}

namespace {

const char kUsage[] =
    "usage: quorvel-demo [options]\n"
    "\n"
    "Runs a mailing in the simulated mail client: one merged copy of a message to\n"
    "every recipient of a mailing list, delivered as .eml files, with the job's\n"
    "three logs.\n"
    "\n"
    "options:\n"
    "  --list FILE          the mailing list (default: examples/recipients.csv)\n"
    "  --subject TEXT       the subject, with [[Field]] tokens (default: examples/subject.txt)\n"
    "  --body FILE          the plain-text body (default: examples/body.txt)\n"
    "  --html FILE          the HTML body (default: examples/body.html, unless --body is given)\n"
    "  --host-version TEXT  the mail client's version text (default: 11.0.0.8312)\n"
    "  --pause SECONDS      pause between messages, 0..9999 (default: 0)\n"
    "  --send-receive N     run Send/Receive every N messages, 1..9999 (default: off)\n"
    "  --limit N            send at most N messages in this run (the review's limit;\n"
    "                       default 0: all); run again to continue the mailing\n"
    "  --sheet N            a workbook's sheet the user picks in the review (1 for\n"
    "                       the first; default: the first visible sheet)\n"
    "  --include-hidden     the user ticks a workbook's hidden rows in, in the review\n"
    "  --out DIR            where the messages and logs go (default: ./demo-out);\n"
    "                       the messages are DIR/outbox/*.eml, the logs\n"
    "                       DIR/appdata/Quorvel/, the simulated client's store\n"
    "                       DIR/store/. Earlier messages there are removed, unless\n"
    "                       the last mailing in DIR, of the same list and subject,\n"
    "                       did not finish: this run then continues it\n"
    "  --answer Q=A         the user's answer to a question asked either way:\n"
    "                       again=yes sends a finished mailing to everyone again\n"
    "                       (default no), others=no sends a message to the\n"
    "                       recipients of its subject's mailing again (default yes:\n"
    "                       only to the others); may be given for each\n"
    "  --new-message        compose a new message, not the draft the last run in\n"
    "                       DIR saved (which carries its mailing: the mailing goes\n"
    "                       on with its subject edited or its list renamed)\n"
    "  --no-store           the simulated client keeps its store in memory only, as\n"
    "                       builds before the store did (for comparing timings); a\n"
    "                       killed run then cannot be continued exactly once\n"
    "  --start TIME         the client releases the copies from TIME, the local\n"
    "                       \"YYYY-MM-DD HH:MM\" (default: now)\n"
    "  --per-minute N       the client releases at most N copies in any calendar\n"
    "                       minute, 0..9999 (default 0: no limit)\n"
    "  --per-day N          and at most N in any 24 hours, 0..999999 (default 0)\n"
    "  --working-days       and on Monday to Friday only\n"
    "                       With any of these four every copy is handed over at once\n"
    "                       with its release time; the demo then runs the client's\n"
    "                       clock forward until the last has left, and prints when\n"
    "                       the copies left\n"
    "  --quiet              no status lines, and no table of the delivered messages\n"
    "  --timing             print the mailing's time and the simulated client's share\n"
    "  --help               this text\n";

static_assert(kToolMaxPerMinute == kMaxPerMinute && kToolMaxPerDay == kMaxPerDay,
              "the tools' limits are the options' own");

struct Options : MailingOptions {
    bool quiet = false, timing = false, noStore = false, newMessage = false;
};

// The demo's own switches, beside the mailing's options (mailing_options.h).
const struct {
    const char* name;
    bool Options::*set;
} kSwitches[] = {
    {"--quiet", &Options::quiet},
    {"--timing", &Options::timing},
    {"--no-store", &Options::noStore},
    {"--new-message", &Options::newMessage},
};

// The switch `arg` names, set; false when it names none.
bool TakeSwitch(const std::string& arg, Options* o) {
    for (const auto& s : kSwitches)
        if (arg == s.name) {
            o->*s.set = true;
            return true;
        }
    return false;
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string ReadOrFail(const std::string& what, const std::string& path) {
    std::string text;
    if (fs::is_directory(path) || !ReadFile(path, &text))
        Fail("cannot read the " + what + " " + path + ": " + std::strerror(errno ? errno : ENOENT));
    return text;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (!TakeSwitch(arg, &o) && !TakeMailingOption(argc, argv, &i, &o))
            Fail("unknown option \"" + arg + "\" (see --help)");
    }
    ScheduleSeconds start = 0;
    if (!o.start.empty() && !ParseStartAt(o.start.c_str(), &start))
        Fail("--start wants a local time \"YYYY-MM-DD HH:MM\", not \"" + o.start + "\"");
    UseExamplesWhereNotGiven(QV_EXAMPLES_DIR "/", &o);
    return o;
}

// The host keeps message bodies with CR LF line ends.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// ---- What the user sees of the dialog ---------------------------------------------------------

// Each message the client submits takes this long on the virtual clock, so
// the dialog's 100 ms status timer comes due even when there is no pause.
constexpr DWORD kSubmitMilliseconds = 150;
std::string LastLine;
// The deliveries listed at the end; the rest are counted.
constexpr size_t kDeliveriesShown = 20;

void PrintLine(const std::string& line, int progress) {
    const int filled = progress / 5;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(20, '.');
    std::printf("  [%s] %3d%%  %-60s (job time %lu.%lu s)\n", bar.c_str(), progress, line.c_str(),
                static_cast<unsigned long>(MailingJob::elapsedMs / 1000),
                static_cast<unsigned long>(MailingJob::elapsedMs % 1000 / 100));
    std::fflush(stdout);
}

// The status line and the progress bar of the dialog in front, when its line
// has changed.
void ShowDialogStatus() {
    HWND dialog = substitute::ActiveDialog();
    if (!dialog || !GetParent(dialog) || MailingJob::runState == kJobIdle)
        return;
    char line[600] = "";
    GetDlgItemTextA(dialog, IDC_STATUS, line, sizeof line);
    if (line[0] == '\0' || LastLine == line)
        return;
    LastLine = line;
    PrintLine(line, static_cast<int>(SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0)));
}

// The compose window as the system shows it: a window of its own, the
// dialog's owner.
LRESULT CALLBACK ComposeWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// The questions the scripted user answers Yes.
const char kContinueQuestion[] = "The last mailing of this list with this subject did not finish";
const char kInDoubtQuestion[] = "The last run of this mailing stopped while";

void PrintBox(const substitute::MessageBoxCall& box, int answer) {
    const UINT buttons = box.flags & 0xF;
    std::string how;
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL)
        how = std::string(buttons == MB_YESNO ? " (Yes/No" : " (Yes/No/Cancel") + ", answered " +
              (answer == IDYES  ? "Yes"
               : answer == IDNO ? "No"
                                : "Cancel") +
              ")";
    std::printf("\n  +-- message box \"%s\"%s\n", box.caption.c_str(), how.c_str());
    std::istringstream lines(box.text);
    std::string line;
    while (std::getline(lines, line))
        std::printf("  | %s\n", line.c_str());
    std::printf("  +--\n\n");
    std::fflush(stdout);
}

std::string DialogText(HWND dialog, int id) {
    static char text[65536];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    // The controls hold ANSI text, as a real one read through its ANSI side.
    static char utf8[3 * sizeof text];
    AnsiToUtf8(text, utf8, sizeof utf8);
    std::string out;
    for (const char* p = utf8; *p; ++p)
        if (*p != '\r')
            out += *p;
    return out;
}

// The review as the user sees it, printed; the scripted user then starts
// the mailing from it.
void PrintReview(HWND review) {
    std::printf("\n  +-- review \"%s\"\n", [&] {
        static char caption[128];
        GetWindowTextA(review, caption, sizeof caption);
        return caption;
    }());
    auto block = [](const std::string& title, const std::string& text) {
        if (!title.empty())
            std::printf("  | %s\n", title.c_str());
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line))
            std::printf("  |   %s\n", line.c_str());
    };
    block("", DialogText(review, IDC_REVIEW_SUMMARY));
    block("Found in the list and the message:", DialogText(review, IDC_REVIEW_FINDINGS));
    block("Preview: " + DialogText(review, IDC_PREVIEW_WHO), DialogText(review, IDC_PREVIEW_TEXT));
    block("When and how fast the copies leave:", DialogText(review, IDC_RELEASE_TEXT));
    std::printf("  | Send at most %s messages now (0: all of them)\n",
                DialogText(review, IDC_MAX_PER_RUN).c_str());
    std::printf("  +-- the user clicks \"Start Mailing\"\n\n");
    std::fflush(stdout);
}

// Whether the data folder's job state names an unfinished mailing of this
// list and subject: the one the product will offer to continue.
bool LastMailingUnfinished(const std::string& list, const std::string& subject,
                           const DraftStrings& draft) {
    LastJob last;
    if (ReadLastJob(DataPaths.jobState, &last) != LastJobFound || last.completed)
        return false;
    char path[3 * MAX_PATH];
    AnsiToUtf8(list.c_str(), path, sizeof path);
    std::string id;
    for (const auto& [name, value] : draft)
        if (name == "Quorvel Mailing")
            id = value;
    const MailingMatch match = MatchMailing(last, MailingKey{path, subject.c_str(), id.c_str()});
    return match == MailingMatch::Same || match == MailingMatch::SameMessage;
}

// This run's lines of the current job log that tell of an earlier run: the
// mailing continued, and the record in doubt.
void PrintContinuation() {
    // Line by line: the log of a long mailing is megabytes, and the lines
    // wanted are a few near the start of the last job's.
    std::ifstream in(DataPaths.currentJobLog[0] ? substitute::HostPath(DataPaths.currentJobLog)
                                                : std::string(),
                     std::ios::binary);
    std::vector<std::string> told;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("Job Started: (", 0) == 0)
            told.clear();
        else if (line.rfind("Continuing the last mailing", 0) == 0 ||
                 line.rfind("In doubt:", 0) == 0)
            told.push_back(line);
    }
    for (const std::string& l : told)
        std::printf("  %s\n", l.c_str());
}

// The process's own peak resident set (VmHWM, Linux: the demo runs natively
// only). Unlike getrusage's, it is this program's alone: a peak inherited
// across exec from whoever started it does not count.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// ---- The run ----------------------------------------------------------------------------------

// The composed message: the subject, the plain body with the host's CR LF
// line ends, and the HTML body (empty for a plain message).
struct Message {
    std::string subject, body, html;
    DraftStrings saved; // the named strings of the draft reopened
};

Message ReadMessage(const Options& options) {
    Message m;
    m.subject = options.subjectGiven
                    ? options.subject
                    : FirstLine(ReadOrFail("subject", QV_EXAMPLES_DIR "/subject.txt"));
    m.body = WithCrLf(ReadOrFail("body", options.body));
    m.html = options.html.empty() ? "" : ReadOrFail("HTML body", options.html);
    return m;
}

// The list is only checked here: the job reads it, and a long one need not
// sit in memory twice.
void CheckListReadable(const std::string& list) {
    if (fs::is_directory(list) || !std::ifstream(list, std::ios::binary))
        Fail("cannot read the mailing list " + list + ": " + std::strerror(errno ? errno : ENOENT));
}

// Where the run writes: the delivered messages, the user's application
// data (the logs) and the simulated client's store.
struct Folders {
    fs::path out, outbox, appData, store;
};

Folders MakeFolders(const std::string& out) {
    if (!fs::exists(out) && !fs::create_directories(out))
        Fail("cannot create " + out);
    Folders f;
    f.out = fs::absolute(out).lexically_normal();
    f.outbox = f.out / "outbox";
    f.appData = f.out / "appdata";
    f.store = f.out / "store";
    std::error_code error;
    fs::create_directories(f.outbox, error);
    fs::create_directories(f.appData, error);
    if (!fs::is_directory(f.outbox) || !fs::is_directory(f.appData))
        Fail("cannot create the folders in " + f.out.string());
    return f;
}

// The machine: its clock from the local time, the user's application-data
// folder, and the library attached to the host process.
void SetUpMachine(const fs::path& appData) {
    substitute::Reset();
    // No test reads the file calls here, and a long mailing's would be most
    // of the demo's memory.
    substitute::RecordFileCalls(false);
    std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) {
        SYSTEMTIME base{};
        base.wYear = static_cast<WORD>(local->tm_year + 1900);
        base.wMonth = static_cast<WORD>(local->tm_mon + 1);
        base.wDay = static_cast<WORD>(local->tm_mday);
        base.wHour = static_cast<WORD>(local->tm_hour);
        base.wMinute = static_cast<WORD>(local->tm_min);
        base.wSecond = static_cast<WORD>(local->tm_sec);
        substitute::SetLocalTimeBase(base);
    }
    substitute::SetSpecialFolder(CSIDL_APPDATA, substitute::WindowsPath(appData.string()));
    substitute::SetModulePath("C:\\Program Files\\Quorvel\\Quorvel.dll");
    CreateDirectoryA("C:\\Program Files", nullptr);
    CreateDirectoryA("C:\\Program Files\\Quorvel", nullptr);
    KeepLibraryModule(substitute::LibraryModule());
}

// Whether this run continues the last mailing in the folders: the messages
// of an unfinished mailing stay, with the client's store, for this run to
// continue it; anything else is a new mailing, and theirs go.
bool KeepOrClearLastMailing(const std::string& list, const std::string& subject,
                            const DraftStrings& draft, const Folders& folders) {
    const bool continuing = LastMailingUnfinished(list, subject, draft);
    std::error_code error;
    if (!continuing) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folders.outbox, error))
            if (entry.path().extension() == ".eml")
                fs::remove(entry.path(), error);
        fs::remove_all(folders.store, error);
    }
    fs::create_directories(folders.store, error);
    return continuing;
}

void UseJobOptions(const Options& options) {
    JobOptions.Pause = options.pause;
    JobOptions.DoSendRecv = options.sendReceive > 0 ? 1 : 0;
    JobOptions.SendRecvCount = options.sendReceive > 0 ? options.sendReceive : 100;
    JobOptions.MaxPerRun = options.limit;
    JobOptions.StartLater = options.start.empty() ? 0 : 1;
    std::snprintf(JobOptions.StartAt, sizeof JobOptions.StartAt, "%s", options.start.c_str());
    JobOptions.PerMinute = options.perMinute;
    JobOptions.PerDay = options.perDay;
    JobOptions.WorkingDaysOnly = options.workingDays ? 1 : 0;
    JobOptions.LimitsChosen = 1;
}

bool Spreads(const Options& o) {
    return !o.start.empty() || o.perMinute > 0 || o.perDay > 0 || o.workingDays;
}

// Every message box is printed and answered: Yes to the two questions the
// user answers Yes, No to any other question, OK to the rest. The summary
// sets `*result` (1: the job completed; 2: it went through the whole list but
// left records out, which the summary counts and the job log names; 0: it was
// stopped or failed).
void AnswerMessageBoxes(const Options& options, int* result) {
    substitute::SetMessageBoxResponder([&options, result](const substitute::MessageBoxCall& box) {
        // The summary box finds the dialog's line with the result.
        if (box.text.rfind("Job ", 0) == 0) {
            char line[600] = "";
            GetDlgItemTextA(box.owner, IDC_STATUS, line, sizeof line);
            PrintLine(line, static_cast<int>(
                                SendDlgItemMessageA(box.owner, IDC_PROGRESS, PBM_GETPOS, 0, 0)));
            *result = box.text.rfind("Job Completed Successfully", 0) == 0 ? 1
                      : MailingJob::throughList                            ? 2
                                                                           : 0;
        }
        const int chosen = ChosenAnswer(options, box.text);
        const int answer =
            chosen >= 0 ? (chosen ? IDYES : IDNO)
            : box.text.rfind(kContinueQuestion, 0) == 0 || box.text.rfind(kInDoubtQuestion, 0) == 0
                ? IDYES
            : (box.flags & (MB_YESNO | MB_YESNOCANCEL)) ? IDNO
                                                        : IDOK;
        PrintBox(box, answer);
        return answer;
    });
}

// The first deliveries, as the table at the end lists them: the address and
// the file.
using ShownDeliveries = std::vector<std::pair<std::string, std::string>>;

// Each delivery's Date, in seconds, in the order they left.
using DeliveryTimes = std::vector<long long>;

long long SecondsOf(const SYSTEMTIME& t) {
    return ScheduleTimeOf(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

sim::Config ClientConfig(const Options& options, const Folders& folders, ShownDeliveries* shown,
                         DeliveryTimes* times) {
    sim::Config config;
    config.version = options.version;
    config.deliveryFolder = substitute::WindowsPath(folders.outbox.string());
    config.submitMilliseconds = kSubmitMilliseconds;
    // What the client submitted outlives the process, as a real client's
    // store does: a demo killed mid-mailing and run again finds it in the
    // Outbox or in Sent Items.
    if (!options.noStore)
        config.storeFolder = substitute::WindowsPath(folders.store.string());
    // A long list must not cost memory per message: the .eml files are the
    // record, and only the first few deliveries are kept for the table
    // printed at the end.
    config.keepDelivered = false;
    config.onDraftSaved = KeepDraftAt((folders.out / "draft.txt").string());
    config.onDelivered = [shown, times](const sim::Delivery& d) {
        times->push_back(SecondsOf(d.date));
        if (shown->size() < kDeliveriesShown)
            shown->emplace_back(d.recipients.empty() ? "" : d.recipients[0].address,
                                fs::path(substitute::HostPath(d.path)).filename().string());
    };
    return config;
}

void PrintMailing(const Options& options, const Message& message, bool continuing,
                  const fs::path& out) {
    std::printf("Quorvel demo: mailing in the simulated mail client (version %s)\n",
                options.version.c_str());
    if (continuing)
        std::printf("  the last mailing in %s did not finish: it is offered to continue\n",
                    out.string().c_str());
    std::printf(
        "  list:    %s\n  subject: %s\n  body:    %s%s\n\n", options.list.c_str(),
        message.subject.c_str(), message.html.empty() ? "plain text" : "HTML and plain text",
        options.pause
            ? (", " + std::to_string(options.pause) + " s between messages (virtual time)").c_str()
            : "");
}

// The client installs the extension in the session and the explorer and
// keeps its own reference.
void InstallExtension(sim::MailClient& client, LPEXCHEXT extension) {
    const std::vector<HRESULT> installed = client.InstallExtension(extension);
    extension->Release();
    std::printf("  extension installed: session %s, explorer %s\n",
                installed.size() > 0 && installed[0] == S_OK ? "S_OK" : "declined",
                installed.size() > 1 && installed[1] == S_OK ? "S_OK" : "declined");
}

// The compose window with the message (NewInspector gives it the button):
// its inspector, and the button.
sim::Ptr<IDispatch> OpenCompose(sim::MailClient& client, const Message& message,
                                sim::Ptr<IDispatch>* inspector) {
    sim::Draft draft;
    draft.subject = message.subject;
    draft.body = message.body;
    draft.html = message.html;
    draft.bodyFormat = message.html.empty() ? olFormatPlain : olFormatHTML;
    draft.window = substitute::CreateTestWindow(ComposeWindowProc);
    draft.publicStrings = message.saved;
    *inspector = client.OpenCompose(draft);
    sim::Ptr<IDispatch> button = client.FindControl(inspector->Get(), "Standard", "Quorsend");
    if (!button)
        Fail("the compose window got no \"Quorsend\" button");
    std::printf("  compose window opened: \"Quorsend\" button on its Standard bar\n");
    return button;
}

// What the user does once the click has opened the mailing dialog over the
// compose window: types the list's path, presses Send, and starts the
// mailing from the review. Unless quiet, the dialog's status is printed as
// it changes, and the review as it shows.
// Picks the sheet or ticks the hidden rows when the options ask for one
// the review does not show; true when it did (the review is then shown anew).
bool ChangeReview(HWND review, const MailingOptions& options) {
    const ReviewChange change = ReviewChangeFor(
        options, static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCOUNT, 0, 0)),
        static_cast<int>(SendDlgItemMessageA(review, IDC_SHEET, CB_GETCURSEL, 0, 0)),
        IsDlgButtonChecked(review, IDC_INCLUDE_HIDDEN) == BST_CHECKED,
        IsWindowEnabled(GetDlgItem(review, IDC_INCLUDE_HIDDEN)) != FALSE);
    if (change.sheet >= 0) {
        std::printf("  the user picks sheet %d in the review\n", change.sheet + 1);
        return substitute::ChooseItem(review, IDC_SHEET, change.sheet);
    }
    if (change.tickHidden) {
        std::printf("  the user ticks \"Include the hidden rows\" in the review\n");
        return substitute::Click(review, IDC_INCLUDE_HIDDEN);
    }
    return false;
}

void ScriptTheUser(const std::string& list, const MailingOptions& options, bool quiet) {
    JobOptions.ToList[0] = '\0';
    substitute::At(GetTickCount() + 500,
                   [list] { substitute::Type(substitute::ActiveDialog(), IDC_LIST_PATH, list); });
    substitute::At(GetTickCount() + 1000,
                   [] { substitute::Click(substitute::ActiveDialog(), IDC_SEND_PAUSE); });
    if (!quiet)
        substitute::OnPump(ShowDialogStatus);
    substitute::OnDialogShown([quiet, options](HWND dialog, int templateId) {
        if (templateId != IDD_REVIEW || ChangeReview(dialog, options))
            return;
        if (!quiet)
            PrintReview(dialog);
        substitute::Click(dialog, IDOK);
    });
}

void PrintDeliveries(size_t delivered, const ShownDeliveries& shown, const fs::path& outbox,
                     bool quiet) {
    std::printf("Delivered %zu message(s) to %s/\n", delivered, outbox.string().c_str());
    if (quiet)
        return;
    for (const auto& d : shown)
        std::printf("  %-36s %s\n", d.first.c_str(), d.second.c_str());
    if (delivered > shown.size())
        std::printf("  ... and %zu more\n", delivered - shown.size());
}

// When the copies left: the first and the last, and the most in one
// calendar minute and in any 24 hours.
void PrintSchedule(DeliveryTimes times) {
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    std::map<long long, int> minutes;
    int busiestMinute = 0, busiestDay = 0;
    for (size_t i = 0, from = 0; i < times.size(); ++i) {
        busiestMinute = std::max(busiestMinute, ++minutes[times[i] / 60]);
        while (times[i] - times[from] >= 86400)
            ++from;
        busiestDay = std::max(busiestDay, static_cast<int>(i - from + 1));
    }
    char first[20], last[20];
    FormatScheduleTime(times.front(), first);
    FormatScheduleTime(times.back(), last);
    std::printf("Schedule: %zu copies released from %s to %s (local time); busiest minute %d "
                "copies, busiest 24 hours %d copies\n",
                times.size(), first, last, busiestMinute, busiestDay);
}

// The copies handed over with a release time wait in the client's Outbox:
// its clock runs forward, from one release time to the next, until the last
// has left.
void ReleaseWaiting(sim::MailClient& client, const DeliveryTimes& times) {
    const size_t held = client.HeldCount();
    std::printf("Waiting in the Outbox: %zu; the client's clock runs forward until the last "
                "has left\n",
                held);
    const auto started = std::chrono::steady_clock::now();
    client.RunClockUntilReleased();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("  released %zu in %.3f s of real time\n", held, seconds);
    PrintSchedule(times);
}

// What --timing prints, a line each.
struct Timing {
    size_t messages = 0;
    double seconds = 0;       // the mailing, from the click to the job's end
    double clientSeconds = 0; // of it, inside the simulated client
    long peakKiB = -1;        // the process's peak resident set
    // The longest the job held the thread without pumping its messages, in
    // real time: how long the client would have been frozen at worst.
    double longestPumpGapMs = 0;
};

void PrintTiming(const Timing& t) {
    std::printf("Timing: %zu messages in %.3f s, %.3f s of it in the simulated client; "
                "peak memory %ld KiB\n",
                t.messages, t.seconds, t.clientSeconds, t.peakKiB);
    std::printf("longest stretch without pumping: %.1f ms\n", t.longestPumpGapMs);
}

// The mailing in the simulated client, from its start to its shutdown: the
// user clicks the button and the dialog runs the job. `result` is the
// summary's (see AnswerMessageBoxes).
void RunMailing(const Options& options, const Message& message, const Folders& folders,
                const std::string& list, bool continuing, LPEXCHEXT extension, const int& result) {
    ShownDeliveries shown;
    DeliveryTimes times;
    sim::MailClient client(ClientConfig(options, folders, &shown, &times));
    client.SetTracing(false);
    client.SetTiming(options.timing);
    PrintMailing(options, message, continuing, folders.out);
    InstallExtension(client, extension);
    sim::Ptr<IDispatch> inspector;
    sim::Ptr<IDispatch> button = OpenCompose(client, message, &inspector);
    ScriptTheUser(list, options, options.quiet);

    std::printf("  \"Quorsend\" clicked\n");
    const auto started = std::chrono::steady_clock::now();
    client.Click(button.Get());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result == 1)
        std::printf("The composed message was %s; its window is %s.\n",
                    client.Calls("Delete").empty() ? "saved" : "deleted",
                    client.OpenInspectors().empty() ? "closed" : "still open");
    // The draft as the client saved it, for the next run to reopen; gone
    // with the message.
    const std::string draftFile = (folders.out / "draft.txt").string();
    sim::Ptr<IDispatch> item = client.CurrentItem(inspector.Get());
    if (client.Calls("Delete").empty() && item)
        SaveDraft(draftFile, client.View(item.Get()).publicStrings);
    else
        std::remove(draftFile.c_str());
    item = sim::Ptr<IDispatch>();
    button = sim::Ptr<IDispatch>();
    inspector = sim::Ptr<IDispatch>();

    const size_t handedOver = client.DeliveredCount() + client.QueuedCount();
    if (Spreads(options))
        ReleaseWaiting(client, times);
    const size_t delivered = client.DeliveredCount();
    PrintContinuation();
    PrintDeliveries(delivered, shown, folders.outbox, options.quiet);
    if (options.timing)
        PrintTiming(Timing{handedOver, seconds, client.ClientSeconds(), PeakResidentKiB(),
                           static_cast<double>(MailingJob::longestPumpGapUs) / 1000.0});
}

} // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    Message message = ReadMessage(options);
    CheckListReadable(options.list);
    const Folders folders = MakeFolders(options.out);
    SetUpMachine(folders.appData);
    // The client loads the library: ExchEntryPoint runs the start-up.
    LPEXCHEXT extension = ExchEntryPoint();
    if (!extension)
        Fail("ExchEntryPoint gave no extension");
    const std::string list = substitute::WindowsPath(fs::absolute(options.list).string());
    if (!options.newMessage)
        message.saved = ReadSavedDraft((folders.out / "draft.txt").string());
    const bool continuing = KeepOrClearLastMailing(list, message.subject, message.saved, folders);
    UseJobOptions(options);
    int result = 0;
    AnswerMessageBoxes(options, &result);
    RunMailing(options, message, folders, list, continuing, extension, result);
    const fs::path logs = folders.appData / "Quorvel";
    std::printf("Logs in %s/:\n  CurrentJob.txt (this job), JobHistory.txt (every job), "
                "tosent.txt (the records sent to)\n",
                logs.string().c_str());
    // A list with records that cannot be mailed is the list's matter, told in
    // the summary and the job log; the run did its work.
    return result != 0 ? 0 : 1;
}
