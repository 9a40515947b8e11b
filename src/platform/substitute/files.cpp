// Files, folders and paths of the substitute platform. Windows paths map onto
// the host's files (drive letters onto host folders), text-mode streams apply
// the Windows C runtime's rules: "\n" is written as CR LF, CR LF reads back as
// "\n", and a Ctrl+Z byte ends a text-mode read as the end of the file does.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

struct CrtFile {
    FILE* file = nullptr;
    bool text = true;
    bool sawCtrlZ = false;
    bool writeFailed = false; // a write found the disk full: the stream is in error
};

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
        std::error_code ec;
        fs::remove_all(s.scratchRoot, ec);
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
    fs::path parent = fs::path(host).parent_path();
    std::error_code ec;
    return parent.empty() || fs::is_directory(parent, ec) ? ERROR_FILE_NOT_FOUND
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
    std::string host = fs::absolute(hostPath).lexically_normal().string();
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

void ResetFiles() {
    ResetFileCalls();
    RemoveScratch();
    for (auto& h : State().handles)
        ::close(h.second.fd);
    State() = FileState{};
    FileState& s = State();

    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qv-substitute-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        std::perror("substitute: mkdtemp");
        std::abort();
    }
    s.scratchRoot = buffer.data();
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(RemoveScratch);
    }
    MapDrive('C', s.scratchRoot);
    MapDrive('Z', "/");
    s.currentDirectory = WindowsPath(fs::current_path().string());
    while (s.currentDirectory.size() > 3 && s.currentDirectory.back() == '\\')
        s.currentDirectory.pop_back();

    s.specialFolders[CSIDL_APPDATA] = "C:\\Users\\Tester\\AppData\\Roaming";
    s.specialFolders[CSIDL_LOCAL_APPDATA] = "C:\\Users\\Tester\\AppData\\Local";
    for (const char* folder : {"/Users/Tester/AppData/Roaming", "/Users/Tester/AppData/Local",
                               "/Temp", "/Windows/system32"})
        fs::create_directories(s.scratchRoot + folder);
}

} // namespace detail
} // namespace substitute

using namespace substitute;

// ---- C runtime streams ----------------------------------------------------------

CrtFile* CrtOpen(const char* path, const char* mode) {
    detail::NoteFileCall("CrtOpen", path);
    if (!path || !mode || !*path || detail::RefuseNetworkPath(path))
        return nullptr;
    bool text = true;
    std::string hostMode;
    for (const char* m = mode; *m; ++m) {
        if (*m == 'b')
            text = false;
        else if (*m == 't')
            text = true;
        else
            hostMode += *m;
    }
    if (hostMode.empty() || !std::strchr("rwa", hostMode[0]))
        return nullptr;
    const std::string host = detail::ToHost(path);
    FileState& s = State();
    if (s.failOpenNth && host == s.failOpenPath && --s.failOpenNth == 0)
        return nullptr;
    auto memory = s.memoryFiles.find(host);
    if (memory != s.memoryFiles.end()) {
        if (hostMode != "r")
            return nullptr;
        std::string& bytes = memory->second;
        FILE* f = bytes.empty() ? std::fopen("/dev/null", "r")
                                : fmemopen(bytes.data(), bytes.size(), "r");
        return f ? new CrtFile{f, text, false} : nullptr;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return nullptr;
    FILE* f = std::fopen(host.c_str(), hostMode.c_str());
    if (!f)
        return nullptr;
    return new CrtFile{f, text, false};
}

size_t CrtRead(void* buffer, size_t bytes, CrtFile* file) {
    if (!file || !buffer)
        return 0;
    if (!file->text)
        return std::fread(buffer, 1, bytes, file->file);
    char* out = static_cast<char*>(buffer);
    size_t filled = 0;
    while (filled < bytes && !file->sawCtrlZ) {
        size_t got = std::fread(out + filled, 1, bytes - filled, file->file);
        if (got == 0)
            break;
        // Translate in place: the text only ever shrinks. A Ctrl+Z ends it;
        // runs without a CR are moved whole (benchmarks read lists this way).
        char* src = out + filled;
        char* end = src + got;
        if (char* ctrlZ = static_cast<char*>(std::memchr(src, '\x1A', got))) {
            end = ctrlZ;
            file->sawCtrlZ = true;
        }
        char* dst = src;
        while (src < end) {
            char* cr = static_cast<char*>(std::memchr(src, '\r', static_cast<size_t>(end - src)));
            char* stop = cr ? cr : end;
            if (dst != src)
                std::memmove(dst, src, static_cast<size_t>(stop - src));
            dst += stop - src;
            src = stop;
            if (!cr)
                break;
            ++src;
            int next;
            if (src < end)
                next = static_cast<unsigned char>(*src);
            else if (file->sawCtrlZ)
                next = '\x1A'; // the CR is the last character of the text
            else if ((next = std::fgetc(file->file)) != EOF)
                std::ungetc(next, file->file);
            if (next == '\n') {
                if (src < end)
                    ++src;
                else
                    std::fgetc(file->file);
                *dst++ = '\n';
            } else {
                *dst++ = '\r';
            }
        }
        filled = static_cast<size_t>(dst - out);
    }
    return filled;
}

namespace {

// fwrite within the room the disk has left: a full disk takes what fits and
// no more, and the stream is in error from then on.
size_t WriteWithin(const char* data, size_t bytes, CrtFile* file) {
    size_t& room = State().diskRoom;
    const size_t fits = room == SIZE_MAX ? bytes : std::min(bytes, room);
    const size_t written = fits ? std::fwrite(data, 1, fits, file->file) : 0;
    if (room != SIZE_MAX)
        room -= written;
    if (written < bytes)
        file->writeFailed = true;
    return written;
}

} // namespace

size_t CrtWrite(const void* data, size_t bytes, CrtFile* file) {
    if (!file || !data)
        return 0;
    if (!file->text)
        return WriteWithin(static_cast<const char*>(data), bytes, file);
    const char* p = static_cast<const char*>(data);
    const char* end = p + bytes;
    size_t done = 0;
    while (p < end) {
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        size_t run = static_cast<size_t>(stop - p);
        if (run && WriteWithin(p, run, file) != run)
            return done;
        done += run;
        p = stop;
        if (lf) {
            if (WriteWithin("\r\n", 2, file) != 2)
                return done;
            ++done;
            ++p;
        }
    }
    return done;
}

int CrtPrintf(CrtFile* file, const char* format, ...) {
    if (!file)
        return -1;
    va_list args;
    va_start(args, format);
    // Most lines fit a buffer on the stack: formatted once, no allocation.
    char line[1024];
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(line, sizeof line, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return -1;
    }
    if (static_cast<size_t>(length) < sizeof line) {
        va_end(args);
        return CrtWrite(line, static_cast<size_t>(length), file) == static_cast<size_t>(length)
                   ? length
                   : -1;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    return CrtWrite(text.data(), text.size(), file) == text.size() ? length : -1;
}

int CrtFlush(CrtFile* file) {
    if (!file)
        return -1;
    const int result = std::fflush(file->file);
    return file->writeFailed ? -1 : result;
}

int CrtSeek(CrtFile* file, int64_t offset) {
    if (!file || file->text || offset < 0)
        return -1;
    return fseeko(file->file, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : -1;
}

int64_t CrtLength(CrtFile* file) {
    if (!file || file->text || fseeko(file->file, 0, SEEK_END) != 0)
        return -1;
    const off_t length = ftello(file->file);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

int CrtClose(CrtFile* file) {
    if (!file)
        return -1;
    int result = std::fclose(file->file);
    if (file->writeFailed)
        result = -1;
    delete file;
    return result;
}

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
        std::error_code ec;
        fs::create_directories(detail::ToHost(it->second.c_str()), ec);
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
    std::error_code ec;
    if (!fs::is_directory(host, ec)) {
        SetLastError(fs::exists(host, ec) ? ERROR_PATH_NOT_FOUND : MissingError(host));
        return FALSE;
    }
    // Keep it normalised, as Windows does: no "." or "..", no trailing separator.
    std::string normal = WindowsPath(fs::path(host).lexically_normal().string());
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
    struct stat st;
    if (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED); // a folder is no file to open
        return INVALID_HANDLE_VALUE;
    }
    if (SharingViolation(State().handles, host, access, shareMode)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(host.c_str(), oflags, 0666);
    if (fd < 0) {
        SetLastError(errno == EEXIST   ? ERROR_FILE_EXISTS
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
