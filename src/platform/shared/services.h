// Services the portable code takes from the platform beyond the Win32 names:
// the C runtime's buffered file streams and the heap for the project's own
// buffers. On Windows they are the C runtime's own (text mode translates
// "\n" to CR LF on disk); the substitute platform applies the same text-mode
// rules over the host's files and lets tests make allocations fail.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define QV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QV_PRINTF_FORMAT(fmt, args)
#endif

struct CrtFile;

// fopen's modes: "r", "w", "a", with "+" and "b" ("t" is the default).
CrtFile* CrtOpen(const char* path, const char* mode);
// fread of bytes: the count read, 0 at end of file or on error.
size_t CrtRead(void* buffer, size_t bytes, CrtFile* file);
size_t CrtWrite(const void* data, size_t bytes, CrtFile* file);
int CrtPrintf(CrtFile* file, const char* format, ...) QV_PRINTF_FORMAT(2, 3);
int CrtFlush(CrtFile* file);
// Binary streams ("rb") only: moves to offset bytes from the file's start
// (0 on success), and the file's length in bytes (-1 when it cannot be told).
int CrtSeek(CrtFile* file, int64_t offset);
int64_t CrtLength(CrtFile* file);
int CrtClose(CrtFile* file);

// The project's own heap buffers. Never throw; null when memory is exhausted.
void* MemAlloc(size_t bytes);
void* MemRealloc(void* block, size_t bytes);
void MemFree(void* block);

// Microseconds on a real, monotonic clock, whatever clock the rest of the
// platform keeps: for measuring how long the thread went without pumping its
// messages, which the substitute's virtual clock cannot tell. Only
// differences between two readings mean anything.
uint64_t RealMicroseconds();
