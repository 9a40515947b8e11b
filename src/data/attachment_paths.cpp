#include "data/attachment_paths.h"

#include <cstring>

namespace {

// The most components a path is resolved through; a longer one is no name
// the file system takes anyway.
constexpr size_t kMostComponents = 512;
constexpr size_t kJoinedSize = 4096;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `text` starts with `prefix`, letter case aside; a "\" of the
// prefix stands for either separator, as Windows takes "/" for "\".
bool StartsWith(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (*prefix == '\\' ? !IsSeparator(*text) : LowerAscii(*text) != *prefix)
            return false;
    }
    return true;
}

bool HasDrive(const char* p) {
    return IsLetter(p[0]) && p[1] == ':';
}

bool IsUrl(const char* p) {
    if (!IsLetter(p[0]))
        return false;
    size_t n = 1;
    while (IsLetter(p[n]) || (p[n] >= '0' && p[n] <= '9') || p[n] == '+' || p[n] == '-' ||
           p[n] == '.')
        ++n;
    // One letter before the colon is a drive.
    if (n < 2 || p[n] != ':')
        return false;
    if (IsSeparator(p[n + 1]))
        return true;
    static const char* const kSchemes[] = {
        "mailto:", "data:", "javascript:", "vbscript:", "tel:", "news:", "about:", "urn:"};
    for (const char* scheme : kSchemes)
        if (StartsWith(p, scheme))
            return true;
    return false;
}

// The names Windows reserves for devices in every folder, with or without an
// extension and trailing blanks ("nul.txt", "CON .pdf"): Naming Files, Paths,
// and Namespaces (Win32 file I/O documentation).
bool IsDeviceName(const char* name, size_t n) {
    size_t base = 0;
    while (base < n && name[base] != '.')
        ++base;
    while (base > 0 && (name[base - 1] == ' ' || name[base - 1] == '\t'))
        --base;
    char lower[8] = "";
    if (base > 7)
        return false;
    for (size_t i = 0; i < base; ++i)
        lower[i] = LowerAscii(name[i]);
    lower[base] = '\0';
    static const char* const kFixed[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* fixed : kFixed)
        if (std::strcmp(lower, fixed) == 0)
            return true;
    const bool port = std::strncmp(lower, "com", 3) == 0 || std::strncmp(lower, "lpt", 3) == 0;
    if (port && base == 4 && lower[3] >= '1' && lower[3] <= '9')
        return true;
    // COM and LPT with a superscript one, two or three (UTF-8).
    return port && base == 5 && static_cast<unsigned char>(lower[3]) == 0xC2 &&
           (static_cast<unsigned char>(lower[4]) == 0xB9 ||
            static_cast<unsigned char>(lower[4]) == 0xB2 ||
            static_cast<unsigned char>(lower[4]) == 0xB3);
}

bool HasDeviceComponent(const char* p) {
    while (*p) {
        while (IsSeparator(*p))
            ++p;
        size_t n = 0;
        while (p[n] && !IsSeparator(p[n]))
            ++n;
        if (n > 0 && IsDeviceName(p, n))
            return true;
        p += n;
    }
    return false;
}

// Appends components of `rest` to `out` (which holds the root, `used`
// bytes), resolving "." and ".."; `fixed` components (a share's server and
// name) cannot be left by "..".
size_t AppendComponents(const char* rest, size_t fixed, bool relative, char* out, size_t used,
                        size_t size) {
    if (used >= size)
        return 0; // no room for the root and its end
    size_t starts[kMostComponents];
    size_t count = 0;
    const char* p = rest;
    while (*p) {
        while (IsSeparator(*p))
            ++p;
        size_t n = 0;
        while (p[n] && !IsSeparator(p[n]))
            ++n;
        const char* component = p;
        p += n;
        if (n == 0 || (n == 1 && component[0] == '.'))
            continue;
        const bool dots = n == 2 && component[0] == '.' && component[1] == '.';
        // A relative path keeps the ".." it cannot resolve, and the ones
        // after those.
        bool kept = relative && count == 0;
        if (relative && count > 0) {
            const size_t last = starts[count - 1] + (out[starts[count - 1]] == '\\' ? 1 : 0);
            kept = used - last == 2 && out[last] == '.' && out[last + 1] == '.';
        }
        if (dots && !kept) {
            if (count > fixed)
                used = starts[--count];
            continue;
        }
        while (!dots && n > 0 && (component[n - 1] == '.' || component[n - 1] == ' '))
            --n;
        if (n == 0)
            continue;
        if (count == kMostComponents)
            return 0;
        starts[count++] = used;
        const bool separator = used > 0 || !relative;
        if (used + n + 2 > size)
            return 0;
        if (separator)
            out[used++] = '\\';
        std::memcpy(out + used, component, n);
        used += n;
    }
    if (used == 2 && !relative && HasDrive(out)) {
        if (size < 4)
            return 0;
        out[used++] = '\\';
    }
    out[used] = '\0';
    return used;
}

size_t Root(const char* text, size_t length, char* out, size_t size) {
    if (length + 1 > size)
        return 0;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return length;
}

// The root of a full folder path: "X:", or "\\server\share" as written.
size_t FolderRoot(const char* folder, char* out, size_t size) {
    if (HasDrive(folder))
        return Root(folder, 2, out, size);
    size_t n = 2;
    for (int part = 0; part < 2; ++part) {
        while (IsSeparator(folder[n]))
            ++n;
        while (folder[n] && !IsSeparator(folder[n]))
            ++n;
    }
    return Root(folder, n, out, size);
}

} // namespace

AttachmentPathKind KindOfAttachmentPath(const char* path) {
    if (IsUrl(path))
        return AttachmentPathKind::Url;
    const char* rest = path;
    bool network = false;
    if (StartsWith(path, "\\\\?\\unc\\")) {
        network = true;
        rest = path + 8;
    } else if (StartsWith(path, "\\\\?\\")) {
        if (!HasDrive(path + 4))
            return AttachmentPathKind::Device; // "\\?\Volume{...}", "\\?\GLOBALROOT"
        rest = path + 4;
    } else if (StartsWith(path, "\\\\.\\") || StartsWith(path, "\\??\\")) {
        return AttachmentPathKind::Device;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        network = true;
        rest = path + 2;
    }
    const char* body = HasDrive(rest) ? rest + 2 : rest;
    if (std::strchr(body, ':'))
        return AttachmentPathKind::Stream;
    if (HasDeviceComponent(body))
        return AttachmentPathKind::Device;
    return network ? AttachmentPathKind::Network : AttachmentPathKind::Local;
}

size_t FullAttachmentPath(const char* folder, const char* path, char* out, size_t size) {
    if (size == 0)
        return 0;
    out[0] = '\0';
    const char* p = StartsWith(path, "\\\\?\\") && HasDrive(path + 4) ? path + 4 : path;
    char joined[kJoinedSize];
    const bool relativeToFolder =
        folder[0] && !IsSeparator(p[0]) && !(HasDrive(p) && IsSeparator(p[2]));
    if (relativeToFolder) {
        // "X:name" names the drive's current folder: the list's, when the
        // list is on that drive.
        if (HasDrive(p)) {
            if (LowerAscii(p[0]) != LowerAscii(folder[0]) || folder[1] != ':') {
                const size_t used = Root(p, 2, out, size);
                return used == 0 ? 0 : AppendComponents(p + 2, 0, false, out, used, size);
            }
            p += 2;
        }
        const size_t a = std::strlen(folder), b = std::strlen(p);
        if (a + b + 2 > sizeof joined)
            return 0;
        std::memcpy(joined, folder, a);
        joined[a] = '\\';
        std::memcpy(joined + a + 1, p, b + 1);
        p = joined;
    } else if (IsSeparator(p[0]) && !IsSeparator(p[1]) && folder[0]) {
        // "\\name" is at the root of the list's drive (or share).
        const size_t used = FolderRoot(folder, out, size);
        return used == 0 ? 0 : AppendComponents(p, 0, false, out, used, size);
    }
    const char* share = StartsWith(p, "\\\\?\\unc\\")            ? p + 8
                        : IsSeparator(p[0]) && IsSeparator(p[1]) ? p + 2
                                                                 : nullptr;
    if (share) {
        out[0] = '\\'; // the first component brings the second
        const size_t used = AppendComponents(share, 2, false, out, 1, size);
        return used > 1 ? used : 0; // no server named: no path
    }
    if (HasDrive(p)) {
        const size_t used = Root(p, 2, out, size);
        return used == 0 ? 0 : AppendComponents(p + 2, 0, false, out, used, size);
    }
    return AppendComponents(p, 0, !IsSeparator(p[0]), out, 0, size);
}

bool SameAttachmentPath(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    return *a == *b;
}

bool AttachmentPathIsUnder(const char* path, const char* folder) {
    size_t n = std::strlen(folder);
    while (n > 0 && folder[n - 1] == '\\')
        --n;
    if (n == 0 || std::strlen(path) <= n + 1 || path[n] != '\\')
        return false;
    for (size_t i = 0; i < n; ++i)
        if (LowerAscii(path[i]) != LowerAscii(folder[i]))
            return false;
    return true;
}

namespace {

// Whether one component of a path could be the 8.3 alias Windows gives the
// long name `name` (n bytes): "QUORVE~1" for "Quorvel", "APPDAT~1" for
// "AppData". Without asking the disk only its form is known: a "~" and a
// digit, before it up to six characters that begin the long name once its
// blanks and dots are left out.
bool MayBeShortNameOf(const char* component, size_t length, const char* name, size_t n) {
    const void* tilde = std::memchr(component, '~', length);
    if (!tilde)
        return false;
    const size_t before = static_cast<size_t>(static_cast<const char*>(tilde) - component);
    if (before == 0 || before > 6 || before + 1 >= length || component[before + 1] < '0' ||
        component[before + 1] > '9')
        return false;
    size_t k = 0;
    for (size_t i = 0; i < n && k < before; ++i) {
        if (name[i] == ' ' || name[i] == '.')
            continue;
        if (LowerAscii(name[i]) != LowerAscii(component[k]))
            return false;
        ++k;
    }
    return k == before;
}

} // namespace

bool AttachmentPathMayBeUnder(const char* path, const char* folder) {
    if (!folder[0] || AttachmentPathIsUnder(path, folder) || SameAttachmentPath(path, folder))
        return folder[0] != '\0';
    // Component by component: each the folder's own, letter case aside, or
    // a short name that could be it.
    const char* p = path;
    const char* f = folder;
    for (;;) {
        while (*f == '\\' && *p == '\\')
            ++f, ++p;
        if (!*f)
            return true;
        const size_t fn = std::strcspn(f, "\\");
        const size_t pn = std::strcspn(p, "\\");
        if (pn == 0)
            return false;
        bool same = fn == pn;
        for (size_t i = 0; same && i < fn; ++i)
            same = LowerAscii(f[i]) == LowerAscii(p[i]);
        if (!same && !MayBeShortNameOf(p, pn, f, fn))
            return false;
        f += fn;
        p += pn;
        if (!*f)
            return true;
        if (*p != '\\')
            return false;
    }
}
