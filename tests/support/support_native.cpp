#include "test_support.h"

#include "base/dialog_ids.h"
#include "control.h"

#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>

HMODULE TestModule() {
    return substitute::LibraryModule();
}

HMODULE ProductLibrary() {
    return TestModule();
}

HMODULE ModuleWithoutVersionResource() {
    substitute::SetVersionResourceAvailable(false);
    return substitute::LibraryModule();
}

bool UnderWine() {
    return false;
}

namespace {
std::function<void(HWND)> ReviewHandler;
} // namespace

void TakeReviews(const std::function<void(HWND review)>& handler) {
    ReviewHandler = handler;
}

void PlatformTest::SetUp() {
    substitute::Reset();
    ReviewHandler = nullptr;
    substitute::OnDialogShown([](HWND dialog, int templateId) {
        if (templateId != IDD_REVIEW)
            return;
        if (ReviewHandler)
            ReviewHandler(dialog);
        else
            substitute::Click(dialog, IDOK);
    });
}

void PlatformTest::TearDown() {}

std::string ReadFileBytes(const std::string& windowsPath) {
    std::ifstream in(substitute::HostPath(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes) {
    std::ofstream out(substitute::HostPath(windowsPath), std::ios::binary);
    out << bytes;
}

void WriteFileBytesKeepingTime(const std::string& windowsPath, const std::string& bytes) {
    const std::string host = substitute::HostPath(windowsPath);
    // POSIX's calls rather than <filesystem>, which the WebAssembly build's
    // C++ library has not.
    struct stat before {};
    const bool known = ::stat(host.c_str(), &before) == 0;
    WriteFileBytes(windowsPath, bytes);
    if (known) {
        const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
        ::utimensat(AT_FDCWD, host.c_str(), times, 0);
    }
}

void AnswerMessageBoxes(const std::function<int(const ShownMessageBox&)>& responder) {
    substitute::SetMessageBoxResponder([responder](const substitute::MessageBoxCall& call) {
        return responder(ShownMessageBox{call.owner, call.text, call.caption, call.flags});
    });
}

std::vector<ShownMessageBox> ShownMessageBoxes() {
    std::vector<ShownMessageBox> shown;
    for (const substitute::MessageBoxCall& call : substitute::MessageBoxes())
        shown.push_back(ShownMessageBox{call.owner, call.text, call.caption, call.flags});
    return shown;
}

std::string RegistryKeyClass(HKEY root, const char* path) {
    return substitute::RegistryKeyClass(root, path);
}

void InstallRecordingHelpViewer() {
    substitute::SetHtmlHelpAvailable(true);
}

void InstallHelpViewerWithoutEntry() {
    substitute::SetHtmlHelpAvailable(false);
}

std::vector<HelpViewerCall> HelpViewerCalls() {
    std::vector<HelpViewerCall> calls;
    for (const substitute::HtmlHelpCall& c : substitute::HtmlHelpCalls())
        calls.push_back(HelpViewerCall{c.owner, c.file, c.command, c.data, c.link, c.keywords});
    return calls;
}
