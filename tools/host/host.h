// quorvel-host's shared header: what its parts offer each other, and the
// state of the program's one run, which they share.
//
//   host.cpp           main: the run's steps, the client started and shut down
//   options.cpp        the command line; the job's options in the registry
//   run_files.cpp      the message read in, the output folders, the logs
//   doors.cpp          Quorvel.dll as client extension or as COM add-in
//   frames.cpp         the top-level windows, the compose window's button,
//                      the screenshots
//   painting.cpp       the frames' bar, ribbon and buttons painted
//   scripted_user.cpp  the user's steps on the dialogs, the message boxes
#pragma once

#include "mail_client.h"
#include "mailing_options.h"

#include <set>
#include <string>
#include <vector>

// ---- Options ----------------------------------------------------------------------------------

struct UserStep {
    std::string action; // send, send-empty, pause, resume, cancel, options, close, die
    int at = 0;         // messages sent, or seconds when `seconds`
    bool seconds = false;
};

struct HostOptions : MailingOptions {
    std::string screenshots;
    bool noExplorer = false;
    bool connectLater = false;
    bool continueMailing = false; // keep the outbox, the store and the job state
    bool releaseAll = false;      // run the client's clock until no copy waits
    int saveOriginal = 1;
    // How long the client takes to hand each message over: long enough for
    // the dialog's status to be watched and the user's clicks to land
    // between messages; 0 to time the mailing itself.
    int submitMilliseconds = 150;
    std::vector<UserStep> user;
};

// The command line read; a bad option fails, --help prints the usage and
// ends the program.
HostOptions ParseOptions(int argc, char** argv);
// The job's options, in the user's registry key the extension reads.
void WriteExtensionOptions(const HostOptions& o);

// The message the compose window opens with; the body with CR LF line ends.
struct Message {
    std::string subject, body, html;
};

// ---- The run's files (run_files.cpp) ---------------------------------------------------------

// The message from the files the options name; an unreadable one fails.
Message ReadMessage(const HostOptions& o);
// The mailing list's full path, once it is found readable.
std::string ListFullPath(const std::string& list);
// The folder made, as a full path.
std::string MakeFolder(const std::string& folder);
// The output folder and in it the outbox (emptied of earlier messages) and
// the folder the logs are copied to.
struct OutputFolders {
    std::string outbox, logs, store;
};
// Unless `keep`, a new mailing: the earlier messages, the client's store and
// the product's job state are removed.
OutputFolders MakeOutputFolders(const std::string& folder, bool keep);
// The job's logs from the user's data folder into `logsOut`.
void CopyLogs(const std::string& logsOut);

// ---- The doors into Quorvel.dll (doors.cpp) --------------------------------------------------

// Sets Ribbon from the client's version, then opens its door before the
// client starts: COM for the add-in, or the library loaded and its entry
// point found for the extension.
void OpenDoor(const HostOptions& o);
// The started client loads the add-in (or the user ticks it later), which
// must connect and put one entry on the explorer's Tools menu.
void ConnectAddIn(sim::MailClient& client, const HostOptions& o);
// The extension from the entry point, installed in the started client.
void InstallExtension(sim::MailClient& client);
// After the client's shutdown: the library let go as the client lets it go.
void CloseDoor();

// ---- The frames (frames.cpp, painting.cpp) ----------------------------------------------------

// The "Quorsend" button's control id in the compose window.
constexpr int kQuorsendId = 100;
// The Standard bar's height, or the ribbon's: its tabs, then the band of
// the selected tab with its groups and, under them, the groups' labels.
constexpr int kBarHeight = 30, kTabsHeight = 24, kBandHeight = 92, kGroupLabelHeight = 18;

// The frames' window class and the controls' font.
void RegisterFrames();
// A top-level frame, shown; failing to make one fails the run.
HWND MakeFrame(const std::string& caption, int x, int y, int width, int height);
// The compose window with the message, opened through the client, with the
// "Quorsend" button its door gave it on its bar or its ribbon.
void OpenComposeWindow(sim::MailClient& client, const Message& message);
// A screenshot of the window, when screenshots were asked for.
void Shoot(HWND window, const std::string& name);

// The frames' WM_PAINT, and the "Quorsend" button's WM_DRAWITEM by its door.
void PaintFrame(HWND window);
void DrawBarButton(const DRAWITEMSTRUCT& item);
void DrawRibbonButton(const DRAWITEMSTRUCT& item);

// ---- The scripted user (scripted_user.cpp) ---------------------------------------------------

// The user at work until the dialog "Quorsend" opened is gone: the thread's
// messages pumped, the user acting on a timer.
void RunUser();
// Told of each delivery: ends the whole process at the script's die@N.
void DieIfDue();

// ---- The run's state --------------------------------------------------------------------------

// The command line, the screenshots' folder made a full path.
inline HostOptions Options;
// The mailing list's full path, as the user types it.
inline std::string ListPath;
// Everything the run found wrong; any of them fails it.
inline std::vector<std::string> Problems;

// The client while it runs.
inline sim::MailClient* Client = nullptr;
// The composed message's named strings as the client saved it (saved_draft.h).
inline std::string DraftFile;
// A client from 14.0 on: the COM add-in's door, its button on the compose
// window's ribbon. Before: the client extension's, its button on the bar.
inline bool Ribbon = false;
// The add-in's library as COM's activation loaded it (one load kept, as COM
// keeps one), and the path the registration named.
inline HMODULE AddInLibrary = nullptr;
inline std::string AddInLibraryPath;
// The extension's library and its entry point at ordinal 1.
inline HMODULE ExtensionLibrary = nullptr;
inline LPEXCHEXT(CALLBACK* ExtensionEntry)() = nullptr;

// The compose window, its inspector (the client's object), and the
// "Quorsend" button the user clicks in it: the extension's control on the
// Standard bar with the face it was given, or the add-in's button on the
// ribbon.
inline HWND ComposeWindow = nullptr;
inline HWND QuorsendButton = nullptr;
inline sim::Ptr<IDispatch> ComposeInspector;
inline sim::Ptr<IDispatch> BarControl;
inline sim::MailClient::FaceState BarFace;
inline sim::RibbonButton RibbonControl;
// The font of the frames' buttons and text.
inline HFONT GuiFont = nullptr;

// The scripted user: whether "Quorsend" was clicked and the dialog it opened
// is gone, the next step and since when it waits, the status line printed
// last, the message boxes answered, where the options step is.
inline bool Clicked = false, DialogDone = false;
inline size_t NextStep = 0;
inline DWORD StepSince = 0;
inline DWORD MainDialogSince = 0;
inline std::string LastStatusLine;
inline std::set<HWND> AnsweredBoxes;
// The reviews the user has started the mailing from.
inline std::set<HWND> ReviewsStarted;
inline int OptionsStage = 0;
// The job's summary box: 1 completed, 0 not complete, -1 none seen; its text.
inline int JobResult = -1;
inline std::string SummaryText;
// Screenshots saved.
inline int ShotsSaved = 0;
