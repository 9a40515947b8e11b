#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace substitute::hostfs {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string ParentPath(const std::string& path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    const size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos)
        return "";
    size_t keep = slash;
    while (keep > 1 && path[keep - 1] == '/')
        --keep;
    return keep == 0 ? "/" : path.substr(0, keep);
}

bool CreateDirectories(const std::string& path) {
    if (path.empty() || IsDirectory(path))
        return true;
    const std::string parent = ParentPath(path);
    if (!parent.empty() && parent != path && !CreateDirectories(parent))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(path));
}

void RemoveAll(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = ::opendir(path.c_str())) {
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            ::closedir(dir);
            for (const std::string& name : names)
                RemoveAll(path + "/" + name);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

std::string CurrentPath() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string Normal(const std::string& path) {
    const std::string full = !path.empty() && path[0] == '/' ? path : CurrentPath() + "/" + path;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= full.size()) {
        size_t slash = full.find('/', at);
        if (slash == std::string::npos)
            slash = full.size();
        const std::string part = full.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    std::string normal;
    for (const std::string& part : parts)
        normal += "/" + part;
    return normal.empty() ? "/" : normal;
}

std::string MakeTemporaryFolder(const std::string& parent, const std::string& prefix) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // Seeded by the clock, stepped on every try: a name another program took
    // first is passed by (mkdir makes it ours or fails).
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                              (static_cast<unsigned long long>(now.tv_sec) << 30);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        std::string name = parent + "/" + prefix;
        unsigned long long bits = seed >> 16;
        for (int i = 0; i < 6; ++i, bits /= 36)
            name += kLetters[bits % 36];
        if (::mkdir(name.c_str(), 0700) == 0)
            return name;
        if (errno != EEXIST)
            return "";
    }
    return "";
}

} // namespace substitute::hostfs
