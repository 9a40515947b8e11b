// An open registry key and the one place it is closed: every way out of a
// registration step lets go of the keys it opened.
#pragma once

#include "platform.h"

#include <cstring>

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_)
            RegCloseKey(key_);
    }

    // Opens `path` under `root` with `access`; the status of the call.
    LSTATUS Open(HKEY root, const char* path, REGSAM access) {
        return RegOpenKeyExA(root, path, 0, access, Out());
    }
    // Creates `path` under `root` (or opens it when it is there) for writing.
    LSTATUS Create(HKEY root, const char* path) {
        return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, Out(), nullptr);
    }
    // REG_SZ with its terminating NUL counted, so that a reader that takes
    // the stored bytes as they are gets a terminated string. A null name is
    // the key's default value.
    LSTATUS SetString(const char* name, const char* text) const {
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(std::strlen(text) + 1));
    }
    LSTATUS SetDword(const char* name, DWORD value) const {
        return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }
    LSTATUS DeleteValue(const char* name) const { return RegDeleteValueA(key_, name); }

private:
    HKEY* Out() {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
        return &key_;
    }

    HKEY key_ = nullptr;
};

// A registry status as the failing result a registration step reports.
inline HRESULT RegistrationFailure(LSTATUS status) {
    return status == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(status);
}
