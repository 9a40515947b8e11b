// The file calls recorded, paths on other machines refused, and the
// attributes a program sets on a file (hidden, system) kept beside the
// host's files, which have none of their own.
#include "internal.h"

#include <map>

namespace substitute {
namespace {

struct FileCallState {
    std::vector<FileCall> calls;
    std::map<std::string, DWORD> attributes; // host path -> the attributes set
};

FileCallState& Calls() {
    static FileCallState state;
    return state;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The attributes SetFileAttributes keeps (MSDN, SetFileAttributesW): the
// others are the file system's to give.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

} // namespace

const std::vector<FileCall>& FileCalls() {
    return Calls().calls;
}

namespace detail {

void NoteFileCall(const char* function, const char* path) {
    Calls().calls.push_back(FileCall{function, path ? path : ""});
}

// "\\server\share\x", "//server/x" and "\\?\UNC\server\x" name another
// machine; "\\?\" and "\\.\" before anything else name this one's devices,
// which the substitute has none of.
bool RefuseNetworkPath(const char* path) {
    if (!path || !IsSeparator(path[0]) || !IsSeparator(path[1]))
        return false;
    const bool prefixed = (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
    const bool unc = prefixed && path[2] == '?' && (path[4] == 'U' || path[4] == 'u') &&
                     (path[5] == 'N' || path[5] == 'n') && (path[6] == 'C' || path[6] == 'c') &&
                     IsSeparator(path[7]);
    SetLastError(!prefixed || unc ? ERROR_BAD_NETPATH : ERROR_FILE_NOT_FOUND);
    return true;
}

DWORD SetAttributesOf(const std::string& host) {
    auto it = Calls().attributes.find(host);
    return it == Calls().attributes.end() ? 0 : it->second;
}

void ResetFileCalls() {
    Calls() = FileCallState{};
}

} // namespace detail
} // namespace substitute

using namespace substitute;

BOOL WINAPI SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    char narrow[4096] = "";
    if (!path ||
        WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr) <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    detail::NoteFileCall("SetFileAttributesW", narrow);
    if (detail::RefuseNetworkPath(narrow))
        return FALSE;
    if (detail::AttributesOf(narrow) == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    Calls().attributes[detail::ToHost(narrow)] = attributes & kSettable;
    return TRUE;
}
