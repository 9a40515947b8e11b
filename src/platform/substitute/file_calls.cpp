// The file calls recorded, paths on other machines refused, and the
// attributes a program sets on a file (hidden, system) kept beside the
// host's files, which have none of their own.
#include "internal.h"

#include <map>

#include <sys/stat.h>

namespace substitute {
namespace {

struct FileCallState {
    std::vector<FileCall> calls;
    std::map<std::string, DWORD> attributes; // host path -> the attributes set
    unsigned failExtendedNth = 0;            // GetFileAttributesExA calls until one fails
    unsigned failMoveNth = 0;                // MoveFileExA calls until one fails
    bool recording = true;
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

void FailFileAttributesExAt(unsigned n) {
    Calls().failExtendedNth = n;
}

void RecordFileCalls(bool on) {
    Calls().recording = on;
}

void FailMoveFileAt(unsigned n) {
    Calls().failMoveNth = n;
}

namespace detail {

bool FailThisMove() {
    unsigned& n = Calls().failMoveNth;
    return n && --n == 0;
}

void NoteFileCall(const char* function, const char* path) {
    if (Calls().recording)
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

// FILETIME counts 100 ns units from 1601-01-01; the host's time counts from
// 1970-01-01 (MSDN, "File Times").
BOOL WINAPI GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    detail::NoteFileCall("GetFileAttributesExA", path);
    FileCallState& state = Calls();
    if (state.failExtendedNth && --state.failExtendedNth == 0) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (!path || !information || level != GetFileExInfoStandard) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD attributes = detail::AttributesOf(path);
    struct stat st;
    if (attributes == INVALID_FILE_ATTRIBUTES || ::stat(detail::ToHost(path).c_str(), &st) != 0)
        return FALSE;
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    const auto size = static_cast<uint64_t>(st.st_size);
    const uint64_t since1601 =
        (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600u) * 10000000u +
        static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
    FILETIME written = {static_cast<DWORD>(since1601), static_cast<DWORD>(since1601 >> 32)};
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = attributes;
    data->ftCreationTime = written;
    data->ftLastAccessTime = written;
    data->ftLastWriteTime = written;
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}
