// The in-memory registry of the substitute platform, with the real result
// codes: missing keys and values, access rights, ERROR_MORE_DATA for a value
// longer than the buffer, values stored exactly as written (a REG_SZ written
// without its terminating NUL comes back without one).
#include "internal.h"

#include <cstring>
#include <iterator>
#include <map>
#include <memory>

namespace substitute {
namespace {

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct Value {
    std::string name;
    RegistryValue value;
};

struct Key {
    Key* parent = nullptr;
    std::string name; // as first created
    std::string keyClass;
    bool denyWrites = false;
    std::map<std::string, Value> values;              // by lower-case name
    std::map<std::string, std::unique_ptr<Key>> keys; // by lower-case name
};

struct OpenKey {
    Key* key;
    REGSAM access;
};

struct RegistryState {
    std::map<uintptr_t, Key> roots;
    std::map<HKEY, OpenKey> handles;
    uintptr_t nextHandle = 0x20000;
};

RegistryState& State() {
    static RegistryState state;
    return state;
}

// The predefined keys are negative 32-bit values, sign-extended on 64-bit.
bool IsRoot(HKEY key) {
    const intptr_t v = reinterpret_cast<intptr_t>(key);
    return v >= static_cast<int32_t>(0x80000000) && v <= static_cast<int32_t>(0x80000006);
}

// The key a handle stands for, with the access it was opened with.
Key* FromHandle(HKEY handle, REGSAM* access) {
    if (IsRoot(handle)) {
        *access = KEY_ALL_ACCESS;
        return &State().roots[reinterpret_cast<uintptr_t>(handle)];
    }
    auto it = State().handles.find(handle);
    if (it == State().handles.end())
        return nullptr;
    *access = it->second.access;
    return it->second.key;
}

std::vector<std::string> SplitPath(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path ? path : ""; *p; ++p) {
        if (*p == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

// Walks from `base` along `path`; with `create`, makes missing keys and tells
// whether it did.
Key* Walk(Key* base, const char* path, bool create, const char* keyClass, bool* created) {
    Key* key = base;
    for (const std::string& part : SplitPath(path)) {
        auto& slot = key->keys[Lower(part)];
        if (!slot) {
            if (!create) {
                key->keys.erase(Lower(part));
                return nullptr;
            }
            slot = std::make_unique<Key>();
            slot->parent = key;
            slot->name = part;
            slot->keyClass = keyClass ? keyClass : "";
            if (created)
                *created = true;
        }
        key = slot.get();
    }
    return key;
}

HKEY NewHandle(Key* key, REGSAM access) {
    RegistryState& s = State();
    HKEY handle = reinterpret_cast<HKEY>(s.nextHandle);
    s.nextHandle += 4;
    s.handles[handle] = OpenKey{key, access};
    return handle;
}

// A key refuses writes when it or any key above it was marked.
bool Denied(const Key* key) {
    for (; key; key = key->parent)
        if (key->denyWrites)
            return true;
    return false;
}

Key* AtPath(HKEY root, const std::string& path, bool create) {
    return Walk(&State().roots[reinterpret_cast<uintptr_t>(root)], path.c_str(), create, nullptr,
                nullptr);
}

} // namespace

void SetRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::vector<BYTE>& data) {
    Key* key = AtPath(root, path, true);
    key->values[Lower(name)] = Value{name, RegistryValue{type, data}};
}

void SetRegistryString(HKEY root, const std::string& path, const std::string& name,
                       const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SetRegistryValue(root, path, name, REG_SZ, data);
}

bool GetRegistryValue(HKEY root, const std::string& path, const std::string& name,
                      RegistryValue* value) {
    Key* key = AtPath(root, path, false);
    if (!key)
        return false;
    auto it = key->values.find(Lower(name));
    if (it == key->values.end())
        return false;
    if (value)
        *value = it->second.value;
    return true;
}

bool RegistryKeyExists(HKEY root, const std::string& path) {
    return AtPath(root, path, false) != nullptr;
}

std::string RegistryKeyClass(HKEY root, const std::string& path) {
    Key* key = AtPath(root, path, false);
    return key ? key->keyClass : std::string();
}

void DenyRegistryWrites(HKEY root, const std::string& path) {
    AtPath(root, path, true)->denyWrites = true;
}

namespace detail {
void ResetRegistry() {
    State() = RegistryState{};
}
} // namespace detail

} // namespace substitute

using namespace substitute;

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    REGSAM parentAccess;
    Key* base = FromHandle(key, &parentAccess);
    if (!base)
        return ERROR_INVALID_HANDLE;
    Key* target = Walk(base, subKey, false, nullptr, nullptr);
    if (!target)
        return ERROR_FILE_NOT_FOUND;
    if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) && Denied(target))
        return ERROR_ACCESS_DENIED;
    *result = NewHandle(target, access);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR keyClass, DWORD, REGSAM access,
                               const SECURITY_ATTRIBUTES*, HKEY* result, LPDWORD disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    REGSAM parentAccess;
    Key* base = FromHandle(key, &parentAccess);
    if (!base)
        return ERROR_INVALID_HANDLE;
    Key* existing = Walk(base, subKey, false, nullptr, nullptr);
    if (existing) {
        if ((access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) && Denied(existing))
            return ERROR_ACCESS_DENIED;
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        *result = NewHandle(existing, access);
        return ERROR_SUCCESS;
    }
    // The new keys are made below the deepest key that exists on the path.
    Key* deepest = base;
    for (const std::string& part : SplitPath(subKey)) {
        auto it = deepest->keys.find(Lower(part));
        if (it == deepest->keys.end())
            break;
        deepest = it->second.get();
    }
    if (Denied(deepest))
        return ERROR_ACCESS_DENIED;
    bool created = false;
    Key* target = Walk(base, subKey, true, keyClass, &created);
    if (disposition)
        *disposition = REG_CREATED_NEW_KEY;
    *result = NewHandle(target, access);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
    REGSAM access;
    Key* k = FromHandle(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    if (!(access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    auto it = k->values.find(Lower(valueName ? valueName : ""));
    if (it == k->values.end())
        return ERROR_FILE_NOT_FOUND;
    const RegistryValue& v = it->second.value;
    if (type)
        *type = v.type;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (dataSize)
            *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(data, v.data.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
    REGSAM access;
    Key* k = FromHandle(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(access & KEY_SET_VALUE) || Denied(k))
        return ERROR_ACCESS_DENIED;
    if (!data && dataSize)
        return ERROR_INVALID_PARAMETER;
    std::string name = valueName ? valueName : "";
    RegistryValue value{type, std::vector<BYTE>(data, data + dataSize)};
    k->values[Lower(name)] = Value{name, value};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    REGSAM access;
    Key* k = FromHandle(key, &access);
    if (!k)
        return ERROR_INVALID_HANDLE;
    if (!(access & KEY_SET_VALUE) || Denied(k))
        return ERROR_ACCESS_DENIED;
    if (!k->values.erase(Lower(valueName ? valueName : "")))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    REGSAM access;
    Key* base = FromHandle(key, &access);
    if (!base)
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> parts = SplitPath(subKey);
    if (parts.empty())
        return ERROR_ACCESS_DENIED;
    Key* parent = base;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->keys.find(Lower(parts[i]));
        if (it == parent->keys.end())
            return ERROR_FILE_NOT_FOUND;
        parent = it->second.get();
    }
    auto it = parent->keys.find(Lower(parts.back()));
    if (it == parent->keys.end())
        return ERROR_FILE_NOT_FOUND;
    if (!it->second->keys.empty() || Denied(it->second.get()))
        return ERROR_ACCESS_DENIED;
    Key* doomed = it->second.get();
    for (auto h = State().handles.begin(); h != State().handles.end();)
        h = h->second.key == doomed ? State().handles.erase(h) : std::next(h);
    parent->keys.erase(it);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR,
                             LPDWORD, FILETIME*) {
    REGSAM access;
    Key* base = FromHandle(key, &access);
    if (!base)
        return ERROR_INVALID_HANDLE;
    if (!name || !nameSize)
        return ERROR_INVALID_PARAMETER;
    if (index >= base->keys.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = base->keys.begin();
    std::advance(it, index);
    const std::string& text = it->second->name;
    if (text.size() + 1 > *nameSize)
        return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), text.size() + 1);
    *nameSize = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (IsRoot(key))
        return ERROR_SUCCESS;
    return State().handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
