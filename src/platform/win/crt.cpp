// The Windows build's C runtime services: the streams are msvcrt's own
// (text mode translates line ends on disk), the heap is the C heap.
#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

struct CrtFile; // never defined: a CrtFile* is the C runtime's FILE*

static FILE* AsFile(CrtFile* file) {
    return reinterpret_cast<FILE*>(file);
}

CrtFile* CrtOpen(const char* path, const char* mode) {
    if (!path || !mode || !*path)
        return nullptr;
    return reinterpret_cast<CrtFile*>(std::fopen(path, mode));
}

size_t CrtRead(void* buffer, size_t bytes, CrtFile* file) {
    return file ? std::fread(buffer, 1, bytes, AsFile(file)) : 0;
}

size_t CrtWrite(const void* data, size_t bytes, CrtFile* file) {
    return file ? std::fwrite(data, 1, bytes, AsFile(file)) : 0;
}

int CrtPrintf(CrtFile* file, const char* format, ...) {
    if (!file)
        return -1;
    va_list args;
    va_start(args, format);
    int result = std::vfprintf(AsFile(file), format, args);
    va_end(args);
    return result;
}

int CrtFlush(CrtFile* file) {
    return file ? std::fflush(AsFile(file)) : -1;
}

// fgetpos and fsetpos take a 64-bit position on every msvcrt, where
// _fseeki64 is not exported by the oldest.
int CrtSeek(CrtFile* file, int64_t offset) {
    if (!file || offset < 0)
        return -1;
    fpos_t position = static_cast<fpos_t>(offset);
    return std::fsetpos(AsFile(file), &position) == 0 ? 0 : -1;
}

int64_t CrtLength(CrtFile* file) {
    if (!file || std::fseek(AsFile(file), 0, SEEK_END) != 0)
        return -1;
    fpos_t position;
    if (std::fgetpos(AsFile(file), &position) != 0)
        return -1;
    return static_cast<int64_t>(position);
}

int CrtClose(CrtFile* file) {
    return file ? std::fclose(AsFile(file)) : -1;
}

void* MemAlloc(size_t bytes) {
    return std::malloc(bytes ? bytes : 1);
}

void* MemRealloc(void* block, size_t bytes) {
    return std::realloc(block, bytes ? bytes : 1);
}

void MemFree(void* block) {
    std::free(block);
}

uint64_t RealMicroseconds() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0 && !QueryPerformanceFrequency(&frequency))
        return 0;
    LARGE_INTEGER now;
    if (!QueryPerformanceCounter(&now) || frequency.QuadPart <= 0)
        return 0;
    const auto ticks = static_cast<uint64_t>(now.QuadPart);
    const auto perSecond = static_cast<uint64_t>(frequency.QuadPart);
    return ticks / perSecond * 1000000u + ticks % perSecond * 1000000u / perSecond;
}
