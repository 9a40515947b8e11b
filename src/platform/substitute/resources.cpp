// The library module of the substitute platform: its handle, its file path,
// and its resources (the string table and the version resource), which come
// from the same sources as the Windows resource script.
#include "internal.h"

#include "host_files.h"

#include <cstring>

namespace substitute {
namespace {

struct ModuleState {
    std::string path = "C:\\Program Files\\Quorvel\\Quorvel.dll";
    bool versionAvailable = true;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

const HMODULE kLibrary = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x6A000000));
const char kHostProgram[] = "C:\\Program Files\\Mail Host\\mailhost.exe";

// The block GetFileVersionInfoA hands out: a tag, then the fixed part.
struct VersionBlock {
    char tag[8];
    VS_FIXEDFILEINFO fixed;
};

bool SameFile(const char* a, const std::string& b) {
    return hostfs::SameFile(detail::ToHost(a), detail::ToHost(b.c_str()));
}

void TouchModuleFile() {
    const std::string host = detail::ToHost(State().path.c_str());
    hostfs::CreateDirectories(hostfs::ParentPath(host));
    if (FILE* f = std::fopen(host.c_str(), "ab"))
        std::fclose(f);
}

} // namespace

HMODULE LibraryModule() {
    return kLibrary;
}

void SetModulePath(const std::string& windowsPath) {
    State().path = windowsPath;
    if (windowsPath.find('\\') != std::string::npos || windowsPath.find('/') != std::string::npos)
        TouchModuleFile();
}

void SetVersionResourceAvailable(bool available) {
    State().versionAvailable = available;
}

namespace detail {
void ResetResources() {
    State() = ModuleState{};
    TouchModuleFile();
}
} // namespace detail
} // namespace substitute

using namespace substitute;

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    const std::string path = module == kLibrary ? State().path : kHostProgram;
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(fileName, path.c_str(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0)
        return 0;
    for (size_t i = 0; i < kLibraryStringCount; ++i) {
        if (kLibraryStrings[i].id != id)
            continue;
        size_t n = std::strlen(kLibraryStrings[i].text);
        if (n > static_cast<size_t>(bufferMax - 1))
            n = static_cast<size_t>(bufferMax - 1);
        std::memcpy(buffer, kLibraryStrings[i].text, n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    buffer[0] = '\0';
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle)
        *handle = 0;
    if (!fileName || !SameFile(fileName, State().path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!State().versionAvailable) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return sizeof(VersionBlock);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD length, LPVOID data) {
    if (!data || length < sizeof(VersionBlock) || GetFileVersionInfoSizeA(fileName, nullptr) == 0)
        return FALSE;
    VersionBlock block{};
    std::memcpy(block.tag, "VSVERSN", 8);
    block.fixed.dwSignature = 0xFEEF04BD;
    block.fixed.dwStrucVersion = 0x00010000;
    block.fixed.dwFileVersionMS = MAKELONG(kLibraryFileVersion[1], kLibraryFileVersion[0]);
    block.fixed.dwFileVersionLS = MAKELONG(kLibraryFileVersion[3], kLibraryFileVersion[2]);
    block.fixed.dwProductVersionMS = MAKELONG(kLibraryProductVersion[1], kLibraryProductVersion[0]);
    block.fixed.dwProductVersionLS = MAKELONG(kLibraryProductVersion[3], kLibraryProductVersion[2]);
    block.fixed.dwFileOS = 0x00040004; // VOS_NT_WINDOWS32
    block.fixed.dwFileType = 2;        // VFT_DLL
    std::memcpy(data, &block, sizeof block);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    if (!block || !subBlock || !buffer || std::memcmp(block, "VSVERSN", 8) != 0)
        return FALSE;
    if (std::strcmp(subBlock, "\\") != 0)
        return FALSE;
    auto* b = static_cast<const VersionBlock*>(block);
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&b->fixed);
    if (length)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
