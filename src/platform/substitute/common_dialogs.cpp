// The common dialog that opens a file, and the shell's ShellExecuteA: each
// records the call and gives the test's scripted answer.
#include "windows_internal.h"

#include <cstring>

namespace substitute {

using namespace detail;

void SetOpenFileResponder(std::function<std::string(const OpenFileCall&)> responder) {
    State().openFileResponder = std::move(responder);
}

const std::vector<OpenFileCall>& OpenFileCalls() {
    return State().openFileCalls;
}

void SetShellResponder(std::function<INT_PTR(const ShellCall&)> responder) {
    State().shellResponder = std::move(responder);
}

const std::vector<ShellCall>& ShellCalls() {
    return State().shellCalls;
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA openFile) {
    RecordManifestCall("GetOpenFileNameA");
    OpenFileCall call{};
    call.owner = openFile->hwndOwner;
    call.structSize = openFile->lStructSize;
    for (const char* p = openFile->lpstrFilter; p && *p; p += std::strlen(p) + 1)
        call.filter.push_back(p);
    call.filterIndex = openFile->nFilterIndex;
    call.fileSize = openFile->nMaxFile;
    call.initialFile = openFile->lpstrFile ? openFile->lpstrFile : "";
    call.initialDir = openFile->lpstrInitialDir ? openFile->lpstrInitialDir : "";
    call.title = openFile->lpstrTitle ? openFile->lpstrTitle : "";
    call.flags = openFile->Flags;
    call.customFilter = openFile->lpstrCustomFilter != nullptr;
    call.fileTitle = openFile->lpstrFileTitle != nullptr;
    call.defaultExtension = openFile->lpstrDefExt != nullptr;
    call.hook = openFile->lpfnHook != nullptr;
    if (openFile->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
        openFile->lStructSize != sizeof(OPENFILENAMEA))
        Fault("GetOpenFileNameA with a structure of a wrong size");
    State().openFileCalls.push_back(call);
    const std::string chosen = State().openFileResponder ? State().openFileResponder(call) : "";
    if (chosen.empty() || !openFile->lpstrFile || openFile->nMaxFile <= chosen.size())
        return FALSE;
    std::memcpy(openFile->lpstrFile, chosen.c_str(), chosen.size() + 1);
    const size_t slash = chosen.rfind('\\');
    openFile->nFileOffset = static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
    return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, INT showCommand) {
    ShellCall call{owner,
                   verb ? verb : "",
                   file ? file : "",
                   parameters ? parameters : "",
                   directory ? directory : "",
                   showCommand,
                   parameters == nullptr,
                   directory == nullptr};
    State().shellCalls.push_back(call);
    const INT_PTR result = State().shellResponder ? State().shellResponder(call) : 42;
    return reinterpret_cast<HINSTANCE>(result);
}
