// Files, folders and paths of the substitute platform. Windows paths map onto
// the host's files (drive letters onto host folders); the Win32 file calls
// work on them here, the C runtime's streams in crt_streams.cpp.
#include "internal.h"

#include "host_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace substitute {
namespace {

struct FileHandle {
    int fd;
    std::string hostPath;
    bool deleteOnClose;
    DWORD access;    // GENERIC_READ, GENERIC_WRITE
    DWORD shareMode; // FILE_SHARE_READ, FILE_SHARE_WRITE
};

// CreateFile (MSDN, Win32 file API): an open fails with a sharing violation
// when a handle already open on the file does not share the access asked
// for, or when the share mode asked for does not allow what that handle
// does. A program that locks a file (share mode 0) keeps everyone out.
bool SharingViolation(const std::map<HANDLE, FileHandle>& handles, const std::string& host,
                      DWORD access, DWORD shareMode) {
    for (const auto& [handle, open] : handles) {
        if (open.hostPath != host)
            continue;
        if (((access & GENERIC_READ) && !(open.shareMode & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(open.shareMode & FILE_SHARE_WRITE)) ||
            ((open.access & GENERIC_READ) && !(shareMode & FILE_SHARE_READ)) ||
            ((open.access & GENERIC_WRITE) && !(shareMode & FILE_SHARE_WRITE)))
            return true;
    }
    return false;
}

// A wide path as the host names it: UTF-8, the platform's own conversion.
bool WidePath(LPCWSTR path, std::string* out) {
    if (!path)
        return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, -1, text.data(), bytes, nullptr, nullptr);
    text.resize(static_cast<size_t>(bytes) - 1);
    *out = text;
    return true;
}

struct FileState {
    std::map<char, std::string> drives; // upper-case letter -> host folder
    std::string currentDirectory;       // Windows path, no trailing backslash
    std::map<int, std::string> specialFolders;
    std::string tempPath = "C:\\Temp\\";
    std::map<HANDLE, FileHandle> handles;
    uintptr_t nextHandle = 0x30000;
    UINT nextUnique = 0x1A2B;
    std::string scratchRoot;  // the host folder made for C:, removed on reset
    std::string failOpenPath; // host path whose failOpenNth-th CrtOpen from now fails
    unsigned failOpenNth = 0;
    // Bytes the disk still takes from the C runtime's writes; SIZE_MAX: no limit.
    size_t diskRoom = SIZE_MAX;
    std::map<std::string, std::string> shortNames;  // lower-case Windows path -> short form
    std::map<std::string, std::string> memoryFiles; // host path -> the bytes a read gives
};

FileState& State() {
    static FileState state;
    return state;
}

void RemoveScratch() {
    FileState& s = State();
    if (!s.scratchRoot.empty()) {
        hostfs::RemoveAll(s.scratchRoot);
        s.scratchRoot.clear();
    }
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows paths compare without regard to the case of ASCII letters.
std::string PathKey(const std::string& windowsPath) {
    std::string key = windowsPath;
    for (char& c : key)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return key;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// An absolute Windows path ("X:\..."), resolved against the current directory.
std::string Absolute(const std::string& path) {
    const std::string& cwd = State().currentDirectory;
    if (HasDrive(path)) {
        if (path.size() == 2 || !IsSeparator(path[2])) // "X:rel" -> relative to that drive's root
            return path.substr(0, 2) + "\\" + path.substr(2);
        return path;
    }
    if (!path.empty() && IsSeparator(path[0]))
        return cwd.substr(0, 2) + path;
    return cwd + "\\" + path;
}

DWORD ErrnoToWin32(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// A missing file in an existing folder is "file not found"; a missing folder
// on the way is "path not found", as Windows tells them apart.
DWORD MissingError(const std::string& host) {
    const std::string parent = hostfs::ParentPath(host);
    return parent.empty() || hostfs::IsDirectory(parent) ? ERROR_FILE_NOT_FOUND
                                                         : ERROR_PATH_NOT_FOUND;
}

DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    // The Win32 convention: the length without the NUL when it fits, else the
    // size needed including the NUL.
    const DWORD length = static_cast<DWORD>(text.size());
    if (!buffer || size <= length)
        return length + 1;
    std::memcpy(buffer, text.c_str(), length + 1);
    return length;
}

} // namespace

void MapDrive(char drive, const std::string& hostFolder) {
    std::string root = hostFolder;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    State().drives[Upper(drive)] = root;
}

std::string HostPath(const std::string& windowsPath) {
    return detail::ToHost(windowsPath.c_str());
}

std::string WindowsPath(const std::string& hostPath) {
    std::string host = hostfs::Normal(hostPath);
    const FileState& s = State();
    char bestDrive = 0;
    size_t bestLength = 0;
    for (const auto& [drive, root] : s.drives) {
        const bool prefix = root == "/" || host == root ||
                            (host.compare(0, root.size(), root) == 0 && host[root.size()] == '/');
        if (prefix && (bestDrive == 0 || root.size() > bestLength)) {
            bestDrive = drive;
            bestLength = root.size();
        }
    }
    if (!bestDrive)
        return host;
    std::string rest = bestLength == 1 ? host.substr(1) : host.substr(bestLength);
    while (!rest.empty() && rest[0] == '/')
        rest.erase(0, 1);
    for (char& c : rest)
        if (c == '/')
            c = '\\';
    return std::string(1, bestDrive) + ":\\" + rest;
}

void SetSpecialFolder(int csidl, const std::string& windowsPath) {
    State().specialFolders[csidl] = windowsPath;
}

void FillDisk(size_t bytesLeft) {
    State().diskRoom = bytesLeft;
}

void FailFileOpen(const std::string& windowsPath, unsigned n) {
    State().failOpenPath = n ? detail::ToHost(windowsPath.c_str()) : std::string();
    State().failOpenNth = n;
}

void SetMemoryFile(const std::string& windowsPath, const std::string& bytes) {
    State().memoryFiles[detail::ToHost(windowsPath.c_str())] = bytes;
}

void SetShortPathName(const std::string& windowsPath, const std::string& shortPath) {
    State().shortNames[PathKey(windowsPath)] = shortPath;
}

namespace detail {

std::string ToHost(const char* windowsPath) {
    std::string path = windowsPath ? windowsPath : "";
    if (!path.empty() && path[0] == '/')
        return path; // already a host path (tools pass these through)
    std::string absolute = Absolute(path);
    const char drive = Upper(absolute[0]);
    auto it = State().drives.find(drive);
    std::string root =
        it == State().drives.end() ? "/nonexistent-drive-" + std::string(1, drive) : it->second;
    std::string rest = absolute.substr(3);
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (root == "/")
        return "/" + rest;
    return rest.empty() ? root : root + "/" + rest;
}

bool FailThisOpen(const std::string& host) {
    FileState& s = State();
    return s.failOpenNth && host == s.failOpenPath && --s.failOpenNth == 0;
}

std::string* MemoryFile(const std::string& host) {
    auto it = State().memoryFiles.find(host);
    return it == State().memoryFiles.end() ? nullptr : &it->second;
}

size_t& DiskRoom() {
    return State().diskRoom;
}

void ResetFiles() {
    ResetFileCalls();
    RemoveScratch();
    for (auto& h : State().handles)
        ::close(h.second.fd);
    State() = FileState{};
    FileState& s = State();

    const char* tmp = std::getenv("TMPDIR");
    s.scratchRoot = hostfs::MakeTemporaryFolder(tmp && *tmp ? tmp : "/tmp", "qv-substitute-");
    if (s.scratchRoot.empty()) {
        std::perror("substitute: a scratch folder");
        std::abort();
    }
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(RemoveScratch);
    }
    MapDrive('C', s.scratchRoot);
    MapDrive('Z', "/");
    s.currentDirectory = WindowsPath(hostfs::CurrentPath());
    while (s.currentDirectory.size() > 3 && s.currentDirectory.back() == '\\')
        s.currentDirectory.pop_back();

    s.specialFolders[CSIDL_APPDATA] = "C:\\Users\\Tester\\AppData\\Roaming";
    s.specialFolders[CSIDL_LOCAL_APPDATA] = "C:\\Users\\Tester\\AppData\\Local";
    for (const char* folder : {"/Users/Tester/AppData/Roaming", "/Users/Tester/AppData/Local",
                               "/Temp", "/Windows/system32"})
        hostfs::CreateDirectories(s.scratchRoot + folder);
}

} // namespace detail
} // namespace substitute

using namespace substitute;

// ---- Win32 files and folders ------------------------------------------------------

DWORD WINAPI GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
    if (!shortPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    struct stat st;
    std::string host = detail::ToHost(shortPath);
    if (::stat(host.c_str(), &st) != 0) {
        SetLastError(MissingError(host));
        return 0;
    }
    return CopyOut(shortPath, longPath, size);
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    if (!longPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    struct stat st;
    std::string host = detail::ToHost(longPath);
    if (::stat(host.c_str(), &st) != 0) {
        SetLastError(MissingError(host));
        return 0;
    }
    auto it = State().shortNames.find(PathKey(longPath));
    if (it == State().shortNames.end())
        return CopyOut(longPath, shortPath, size);
    if (it->second.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return CopyOut(it->second, shortPath, size);
}

BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int folder, BOOL create) {
    auto it = State().specialFolders.find(folder);
    if (!path || it == State().specialFolders.end() || it->second.empty() ||
        it->second.size() >= MAX_PATH)
        return FALSE;
    if (create) {
        hostfs::CreateDirectories(detail::ToHost(it->second.c_str()));
    }
    std::memcpy(path, it->second.c_str(), it->second.size() + 1);
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string cwd = State().currentDirectory;
    if (cwd.size() == 2)
        cwd += "\\";
    return CopyOut(cwd, buffer, size);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string absolute = Absolute(path);
    std::string host = detail::ToHost(absolute.c_str());
    if (!hostfs::IsDirectory(host)) {
        SetLastError(hostfs::Exists(host) ? ERROR_PATH_NOT_FOUND : MissingError(host));
        return FALSE;
    }
    // Keep it normalised, as Windows does: no "." or "..", no trailing separator.
    std::string normal = WindowsPath(hostfs::Normal(host));
    while (normal.size() > 3 && normal.back() == '\\')
        normal.pop_back();
    State().currentDirectory = normal.size() == 3 ? normal.substr(0, 2) : normal;
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host = detail::ToHost(path);
    if (::mkdir(host.c_str(), 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToWin32(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    detail::NoteFileCall("MoveFileExA", existing);
    if (!existing || !newName || (flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (detail::FailThisMove()) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    const std::string from = detail::ToHost(existing), to = detail::ToHost(newName);
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) {
        SetLastError(MissingError(from));
        return FALSE;
    }
    if (::stat(to.c_str(), &st) == 0 &&
        (S_ISDIR(st.st_mode) || !(flags & MOVEFILE_REPLACE_EXISTING))) {
        SetLastError(S_ISDIR(st.st_mode) ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    // rename() replaces the target in one step, as MoveFileEx does on one
    // volume: a reader sees the old file or the new one, never neither.
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(ErrnoToWin32(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host = detail::ToHost(path);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(host.c_str()) != 0) {
        SetLastError(errno == ENOENT ? MissingError(host) : ErrnoToWin32(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD detail::AttributesOf(const char* path) {
    if (detail::RefuseNetworkPath(path))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    std::string host = detail::ToHost(path);
    if (!path || ::stat(host.c_str(), &st) != 0) {
        SetLastError(path ? MissingError(host) : ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD set = detail::SetAttributesOf(host);
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY | set
                               : (set ? set : FILE_ATTRIBUTE_NORMAL);
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    detail::NoteFileCall("GetFileAttributesA", path);
    return detail::AttributesOf(path);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
    std::string narrow;
    if (!WidePath(path, &narrow)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    detail::NoteFileCall("GetFileAttributesW", narrow.c_str());
    return detail::AttributesOf(narrow.c_str());
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    return CopyOut(State().tempPath, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut("C:\\Windows\\system32", buffer, size);
}

UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName) {
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string folder = path;
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    std::string stem = std::string(prefix ? prefix : "").substr(0, 3);
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        UINT number = unique ? unique : (State().nextUnique++ & 0xFFFF);
        if (number == 0)
            continue;
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp", number);
        std::string full = folder + stem + name;
        if (full.size() >= MAX_PATH) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (unique) {
            std::memcpy(tempFileName, full.c_str(), full.size() + 1);
            return number;
        }
        std::string host = detail::ToHost(full.c_str());
        int fd = ::open(host.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
        if (fd >= 0) {
            ::close(fd);
            std::memcpy(tempFileName, full.c_str(), full.size() + 1);
            return number;
        }
        if (errno != EEXIST) {
            SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToWin32(errno));
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

static HANDLE OpenFile(LPCSTR path, DWORD access, DWORD shareMode, DWORD disposition, DWORD flags) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (detail::RefuseNetworkPath(path))
        return INVALID_HANDLE_VALUE;
    int oflags = 0;
    const bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
    oflags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        oflags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        oflags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        oflags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        oflags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string host = detail::ToHost(path);
    if (SharingViolation(State().handles, host, access, shareMode)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    // A folder is no file to open. It is told from the opened descriptor
    // (or from the refusal) rather than by a look at the path beforehand: one
    // path lookup fewer on every open, which a mailing makes per message.
    // A file just made (O_EXCL) is never a folder: no look at all.
    int fd = ::open(host.c_str(), oflags, 0666);
    struct stat st;
    if (fd >= 0 && !(oflags & O_EXCL) && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fd = -1;
        errno = EISDIR;
    } else if (fd < 0 && errno == EEXIST && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
    }
    if (fd < 0) {
        SetLastError(errno == EISDIR   ? ERROR_ACCESS_DENIED
                     : errno == EEXIST ? ERROR_FILE_EXISTS
                     : errno == ENOENT ? MissingError(host)
                                       : ErrnoToWin32(errno));
        return INVALID_HANDLE_VALUE;
    }
    FileState& s = State();
    HANDLE handle = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 4;
    s.handles[handle] = FileHandle{fd, host, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0,
                                   access & (GENERIC_READ | GENERIC_WRITE),
                                   shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)};
    return handle;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flags, HANDLE) {
    detail::NoteFileCall("CreateFileA", path);
    return OpenFile(path, access, shareMode, disposition, flags);
}

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flags, HANDLE) {
    std::string narrow;
    if (!WidePath(path, &narrow)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    detail::NoteFileCall("CreateFileW", narrow.c_str());
    return OpenFile(narrow.c_str(), access, shareMode, disposition, flags);
}

static FileHandle* FindHandle(HANDLE handle) {
    auto it = State().handles.find(handle);
    if (it == State().handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
    FileHandle* h = FindHandle(file);
    if (!h)
        return FALSE;
    ssize_t got = ::read(h->fd, buffer, toRead);
    if (got < 0) {
        SetLastError(ErrnoToWin32(errno));
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*) {
    FileHandle* h = FindHandle(file);
    if (!h)
        return FALSE;
    ssize_t put = ::write(h->fd, buffer, toWrite);
    if (put < 0) {
        SetLastError(ErrnoToWin32(errno));
        return FALSE;
    }
    if (written)
        *written = static_cast<DWORD>(put);
    return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD moveMethod) {
    FileHandle* h = FindHandle(file);
    if (!h)
        return FALSE;
    int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                 : moveMethod == FILE_CURRENT ? SEEK_CUR
                                              : SEEK_END;
    off_t at = ::lseek(h->fd, static_cast<off_t>(distance.QuadPart), whence);
    if (at < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (newPosition)
        newPosition->QuadPart = at;
    return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    FileHandle* h = FindHandle(file);
    struct stat st;
    if (!h || ::fstat(h->fd, &st) != 0)
        return FALSE;
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE file) {
    FileHandle* h = FindHandle(file);
    if (!h)
        return FALSE;
    off_t at = ::lseek(h->fd, 0, SEEK_CUR);
    return at >= 0 && ::ftruncate(h->fd, at) == 0 ? TRUE : FALSE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    FileHandle* h = FindHandle(object);
    if (!h)
        return FALSE;
    ::close(h->fd);
    if (h->deleteOnClose)
        ::unlink(h->hostPath.c_str());
    State().handles.erase(object);
    return TRUE;
}
