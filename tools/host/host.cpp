// quorvel-host: the simulated mail client with real windows, as the mail
// client runs the product. It makes a top-level window for the explorer and
// one for the compose window, reaches Quorvel.dll by either door, opens the
// compose window with the message and clicks "Quorsend". A scripted user then
// works the real dialogs through their windows: it types into the list field,
// clicks the dialog's buttons and answers the message boxes, all by messages
// to the real controls. When the dialog is gone the client shuts down and
// lets go of the product.
//
// The door follows the client's version, as the real clients choose it:
// before 14.0 the library is loaded from this program's folder with
// LoadLibrary and the extension installed through the entry point at ordinal
// 1, its button on the compose window's Standard bar; from 14.0 on the
// client loads the COM add-ins registered for the user (regsvr32 /n
// /i:user), COM finding the library where the registration says, and the
// button is on the compose window's ribbon.
#include "host.h"
#include "saved_draft.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "quorvel-host: %s\n", message.c_str());
    std::exit(2);
}

namespace {

// The client's set-up for the run: its version, the outbox its deliveries
// go to, the explorer's window, and whether it starts with the explorer.
sim::Config ClientConfig(HWND explorer, const OutputFolders& folders) {
    sim::Config config;
    config.version = Options.version;
    config.deliveryFolder = folders.outbox;
    // What was submitted outlives the process, as a real client's store
    // does: a run after one that died finds it in the Outbox or Sent Items.
    config.storeFolder = folders.store;
    DraftFile = folders.store + "\\Draft.txt";
    // The draft as the client saves it, before any copy of it goes.
    config.onDraftSaved = KeepDraftAt(DraftFile);
    config.onDelivered = [](const sim::Delivery&) { DieIfDue(); };
    config.explorerWindow = explorer;
    config.explorer = !Options.noExplorer;
    config.submitMilliseconds = static_cast<DWORD>(Options.submitMilliseconds);
    return config;
}

void PrintMailing(const Message& message) {
    std::printf("Quorvel host: mailing with the real Quorvel.dll in the simulated mail "
                "client (version %s, %s)\n",
                Options.version.c_str(), sizeof(void*) == 8 ? "x64" : "x86");
    std::printf(
        "  list:    %s\n  subject: %s\n  body:    %s%s\n\n", ListPath.c_str(),
        message.subject.c_str(), message.html.empty() ? "plain text" : "HTML and plain text",
        Options.pause ? (", " + std::to_string(Options.pause) + " s between messages").c_str()
                      : "");
}

// What became of the composed message once the job was done; then every
// compose window still open is closed, discarded, and the references this
// program held on the window's objects go.
void KeepDraft() {
    if (!Client || !ComposeInspector)
        return;
    sim::Ptr<IDispatch> item = Client->CurrentItem(ComposeInspector.Get());
    if (item)
        SaveDraft(DraftFile, Client->View(item.Get()).publicStrings);
}

void CloseComposeWindows(sim::MailClient& client) {
    const std::vector<sim::Ptr<IDispatch>> open = client.OpenInspectors();
    const bool closed = open.empty();
    const bool deleted = !client.Calls("Delete").empty();
    if (JobResult == 1)
        std::printf("The composed message was %s; its window is %s.\n",
                    deleted ? "deleted" : "saved", closed ? "closed" : "still open");
    if (deleted)
        DeleteFileA(DraftFile.c_str());
    else
        KeepDraft();
    for (const sim::Ptr<IDispatch>& window : open)
        client.CloseInspector(window.Get(), 1); // discarded
    BarControl = sim::Ptr<IDispatch>();
    ComposeInspector = sim::Ptr<IDispatch>();
}

void PrintDeliveries(sim::MailClient& client, const std::string& outbox) {
    if (client.SendReceiveCount())
        std::printf("Send/Receive: %u pass(es), %zu through the session's SendAndReceive\n",
                    client.SendReceiveCount(), client.Calls("SendAndReceive").size());
    std::printf("Delivered %zu message(s) to %s\\\n", client.Deliveries().size(), outbox.c_str());
    for (const sim::Delivery& d : client.Deliveries()) {
        const std::string name = d.path.substr(d.path.rfind('\\') + 1);
        std::printf("  %-36s %s\n", d.recipients.empty() ? "" : d.recipients[0].address.c_str(),
                    name.c_str());
    }
}

// The client from its start to its shutdown: the product reached by its
// door, the compose window opened, the user at work until the dialog is gone.
void RunClient(const Message& message, const OutputFolders& folders) {
    const std::string& outbox = folders.outbox;
    HWND explorer = MakeFrame("Inbox - Simulated Mail", 40, 40, 900, 640);
    sim::MailClient client(ClientConfig(explorer, folders));
    Client = &client;
    PrintMailing(message);
    if (Ribbon)
        ConnectAddIn(client, Options);
    else
        InstallExtension(client);
    OpenComposeWindow(client, message);
    RunUser();
    CloseComposeWindows(client);
    if (Options.releaseAll)
        std::printf("Released by the client's clock: %zu waiting message(s)\n",
                    client.RunClockUntilReleased());
    PrintDeliveries(client, outbox);
    Client = nullptr;
    DestroyWindow(ComposeWindow);
    DestroyWindow(explorer);
}

// The problems found, each on its own line; the exit status: 3 with any,
// else 0 when the job completed, 1 when it did not.
int ExitStatus() {
    for (const std::string& problem : Problems)
        std::fprintf(stderr, "quorvel-host: %s\n", problem.c_str());
    if (!Problems.empty())
        return 3;
    return JobResult == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options = ParseOptions(argc, argv);
    const Message message = ReadMessage(Options);
    ListPath = ListFullPath(Options.list);
    const OutputFolders folders = MakeOutputFolders(Options.out, Options.continueMailing);
    if (!Options.screenshots.empty())
        Options.screenshots = MakeFolder(Options.screenshots);
    WriteExtensionOptions(Options);

    RegisterFrames();
    OpenDoor(Options);
    RunClient(message, folders);
    // The client is gone: nothing of it may be left alive in the extension.
    const bool released = sim::LiveObjectCount() == 0;
    if (!released)
        Problems.push_back(std::to_string(sim::LiveObjectCount()) +
                           " object(s) of the client still held after shutdown");
    CloseDoor();

    CopyLogs(folders.logs);
    if (!Options.screenshots.empty())
        std::printf("Screenshots (%d) in %s\\\n", ShotsSaved, Options.screenshots.c_str());
    std::printf("Client shut down: %s %s\n", Ribbon ? "add-in" : "extension",
                released ? "released" : "still holding the client's objects");
    return ExitStatus();
}
