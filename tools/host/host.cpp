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
#include "real_user_win.h"
#include "screenshot_win.h"
#include "base/dialog_ids.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "quorvel-host: %s\n", message.c_str());
    std::exit(2);
}

namespace {

bool ReadWhole(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string ReadOrFail(const std::string& what, const std::string& path) {
    std::string text;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !ReadWhole(path, &text))
        Fail("cannot read the " + what + " " + path);
    return text;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full, n) : path;
}

// The client keeps message bodies with CR LF line ends.
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

void CopyLog(const std::string& from, const std::string& to) {
    DeleteFileA(to.c_str());
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

} // namespace

int main(int argc, char** argv) {
    Options = ParseOptions(argc, argv);
    const HostOptions& o = Options;
    const std::string subject =
        o.subjectGiven ? o.subject
                       : FirstLine(ReadOrFail("subject", QV_EXAMPLES_DIR "\\subject.txt"));
    const std::string body = WithCrLf(ReadOrFail("body", o.body));
    const std::string html = o.html.empty() ? "" : ReadOrFail("HTML body", o.html);
    const Message message{subject, body, html};
    ReadOrFail("mailing list", o.list);
    ListPath = FullPath(o.list);

    const std::string out = FullPath(o.out);
    const std::string outbox = out + "\\outbox", logsOut = out + "\\appdata\\Quorvel";
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA(outbox.c_str(), nullptr);
    CreateDirectoryA((out + "\\appdata").c_str(), nullptr);
    CreateDirectoryA(logsOut.c_str(), nullptr);
    if (!(GetFileAttributesA(logsOut.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileAttributesA(outbox.c_str()) == INVALID_FILE_ATTRIBUTES)
        Fail("cannot create the folders in " + out);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((outbox + "\\*.eml").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((outbox + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (!o.screenshots.empty()) {
        Options.screenshots = FullPath(o.screenshots);
        CreateDirectoryA(Options.screenshots.c_str(), nullptr);
    }

    WriteExtensionOptions(o);
    RegisterFrames();

    OpenDoor(o);

    bool released = false;
    size_t delivered = 0;
    bool saved = false, deleted = false, closed = false;
    {
        HWND explorer = MakeFrame("Inbox - Simulated Mail", 40, 40, 900, 640);
        sim::Config config;
        config.version = o.version;
        config.deliveryFolder = outbox;
        config.explorerWindow = explorer;
        config.explorer = !o.noExplorer;
        // Each message takes a moment to hand over, so the dialog's status
        // can be watched and the user's clicks land between messages.
        config.submitMilliseconds = 150;
        sim::MailClient client(config);
        Client = &client;

        std::printf("Quorvel host: mailing with the real Quorvel.dll in the simulated mail "
                    "client (version %s, %s)\n",
                    o.version.c_str(), sizeof(void*) == 8 ? "x64" : "x86");
        std::printf("  list:    %s\n  subject: %s\n  body:    %s%s\n\n", ListPath.c_str(),
                    subject.c_str(), html.empty() ? "plain text" : "HTML and plain text",
                    o.pause ? (", " + std::to_string(o.pause) + " s between messages").c_str()
                            : "");
        if (Ribbon)
            ConnectAddIn(client, o);
        else
            InstallExtension(client);

        OpenComposeWindow(client, message);
        RunUser();

        const std::vector<sim::Ptr<IDispatch>> open = client.OpenInspectors();
        closed = open.empty();
        deleted = !client.Calls("Delete").empty();
        saved = !client.Calls("Save").empty() && !deleted;
        if (JobResult == 1)
            std::printf("The composed message was %s; its window is %s.\n",
                        deleted ? "deleted" : "saved", closed ? "closed" : "still open");
        for (const sim::Ptr<IDispatch>& window : open)
            client.CloseInspector(window.Get(), 1); // discarded
        BarControl = sim::Ptr<IDispatch>();
        ComposeInspector = sim::Ptr<IDispatch>();

        if (client.SendReceiveCount())
            std::printf("Send/Receive: %u pass(es), %zu through the session's SendAndReceive\n",
                        client.SendReceiveCount(), client.Calls("SendAndReceive").size());
        delivered = client.Deliveries().size();
        std::printf("Delivered %zu message(s) to %s\\\n", delivered, outbox.c_str());
        for (const sim::Delivery& d : client.Deliveries()) {
            const std::string name = d.path.substr(d.path.rfind('\\') + 1);
            std::printf("  %-36s %s\n", d.recipients.empty() ? "" : d.recipients[0].address.c_str(),
                        name.c_str());
        }
        Client = nullptr;
        DestroyWindow(ComposeWindow);
        DestroyWindow(explorer);
    }
    // The client is gone: nothing of it may be left alive in the extension.
    released = sim::LiveObjectCount() == 0;
    if (!released)
        Problems.push_back(std::to_string(sim::LiveObjectCount()) +
                           " object(s) of the client still held after shutdown");
    CloseDoor();

    // The job's logs, from the user's data folder to the output folder.
    char appData[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
    const std::string logs = std::string(appData) + "\\Quorvel\\";
    for (const char* name : {"CurrentJob.txt", "JobHistory.txt", "tosent.txt"})
        CopyLog(logs + name, logsOut + "\\" + name);
    std::printf("Logs in %s\\:\n  CurrentJob.txt (this job), JobHistory.txt (every job), "
                "tosent.txt (the records sent to)\n",
                logsOut.c_str());
    if (!o.screenshots.empty())
        std::printf("Screenshots (%d) in %s\\\n", ShotsSaved, Options.screenshots.c_str());
    std::printf("Client shut down: %s %s\n", Ribbon ? "add-in" : "extension",
                released ? "released" : "still holding the client's objects");
    (void)saved;
    for (const std::string& problem : Problems)
        std::fprintf(stderr, "quorvel-host: %s\n", problem.c_str());
    if (!Problems.empty())
        return 3;
    return JobResult == 1 ? 0 : 1;
}
