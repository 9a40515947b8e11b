// The run's files: the message read from its files, the output folder made
// (the messages of an earlier run taken out of its outbox, unless the run
// continues its mailing), and the job's logs copied from the user's data
// folder afterwards.
#include "host.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full, n) : path;
}

void CopyLog(const std::string& from, const std::string& to) {
    DeleteFileA(to.c_str());
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

} // namespace

Message ReadMessage(const HostOptions& o) {
    Message message;
    message.subject = o.subjectGiven
                          ? o.subject
                          : FirstLine(ReadOrFail("subject", QV_EXAMPLES_DIR "\\subject.txt"));
    message.body = WithCrLf(ReadOrFail("body", o.body));
    message.html = o.html.empty() ? "" : ReadOrFail("HTML body", o.html);
    return message;
}

std::string ListFullPath(const std::string& list) {
    ReadOrFail("mailing list", list);
    return FullPath(list);
}

std::string MakeFolder(const std::string& folder) {
    const std::string full = FullPath(folder);
    CreateDirectoryA(full.c_str(), nullptr);
    return full;
}

// The files of a folder matching `pattern` ("*.eml"), removed.
void RemoveFiles(const std::string& folder, const char* pattern) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string DataFolder() {
    char appData[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
    return std::string(appData) + "\\Quorvel\\";
}

OutputFolders MakeOutputFolders(const std::string& folder, bool keep) {
    const std::string out = FullPath(folder);
    const std::string outbox = out + "\\outbox", logsOut = out + "\\appdata\\Quorvel";
    const std::string store = out + "\\store";
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA(outbox.c_str(), nullptr);
    CreateDirectoryA((out + "\\appdata").c_str(), nullptr);
    CreateDirectoryA(logsOut.c_str(), nullptr);
    if (!(GetFileAttributesA(logsOut.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileAttributesA(outbox.c_str()) == INVALID_FILE_ATTRIBUTES)
        Fail("cannot create the folders in " + out);
    if (!keep) {
        // The runs share the user's profile: an earlier run's unfinished
        // mailing of the same list would otherwise be offered to continue.
        RemoveFiles(outbox, "*.eml");
        RemoveFiles(store + "\\Outbox", "*");
        RemoveFiles(store, "*");
        DeleteFileA((DataFolder() + "JobState.txt").c_str());
    }
    CreateDirectoryA(store.c_str(), nullptr);
    return {outbox, logsOut, store};
}

void CopyLogs(const std::string& logsOut) {
    // The job's logs, from the user's data folder to the output folder.
    const std::string logs = DataFolder();
    for (const char* name : {"CurrentJob.txt", "JobHistory.txt", "tosent.txt", "JobState.txt"})
        CopyLog(logs + name, logsOut + "\\" + name);
    std::printf("Logs in %s\\:\n  CurrentJob.txt (this job), JobHistory.txt (every job), "
                "tosent.txt (the records sent to)\n",
                logsOut.c_str());
}
