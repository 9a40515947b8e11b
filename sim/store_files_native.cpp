// The substitute platform has no MoveFileExA: the new version is copied over
// the old one, then the temporary file goes. A substitute process cannot be
// killed inside a call, and should one stop between the two steps, the
// store's reader takes the whole temporary file over the one in place.
#include "world_internal.h"

namespace sim {

bool ReplaceFileWith(const std::string& temp, const std::string& target) {
    HANDLE in = CreateFileA(temp.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(in, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(in);
    if (!ok)
        return false;
    HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
    CloseHandle(out);
    return ok && DeleteFileA(temp.c_str());
}

} // namespace sim
