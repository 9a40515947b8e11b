// The text-mode reading layer under the mailing-list reader. It opens a list
// file for one pass, delivers its physical lines each ending in a single LF
// whether the file uses LF or CR LF, and numbers them. Everything above this
// layer sees UTF-8, whatever the file holds (a lone CR, which some programs
// write as their line end, ends a line of its own):
// - a UTF-8, a UTF-16LE or a UTF-16BE byte-order mark says how the rest is
//   stored;
// - without one, a file whose first two bytes are one zero and one other is
//   UTF-16, little-endian when the zero comes second, else big-endian;
// - otherwise, text that holds more well-formed UTF-8 characters beyond
//   ASCII than bytes that are not UTF-8 is UTF-8 (what
//   spreadsheets and web exports write); a line in it that is not UTF-8 (one
//   pasted in from an older file) stops reading there;
// - anything else is the ANSI code page (a legacy list with "Zo\xEB" stays
//   "Zo\xC3\xAB" in UTF-8), read as the C runtime's text mode reads it.
// Which one a file without a mark is becomes known at its first byte beyond
// ASCII; the whole file is checked then, so both passes of a job read it the
// same way. Text that breaks its encoding (malformed UTF-8 after a UTF-8 mark,
// a lone UTF-16 surrogate) or holds a NUL stops reading at its line.
//
// A file also carries why reading it stopped before its end, if it did, and
// the physical line where the record that stopped it starts: the reader
// records it and the job tells it apart from a clean end of the list.
#pragma once

#include <cstddef>
#include <cstdint>

struct ListFile;
struct WorkbookText;

// How the file's text is stored on disk.
enum ListTextEncoding {
    ListTextAnsi = 0,         // no mark, and ASCII so far or not UTF-8: the ANSI code page
    ListTextUtf8 = 1,         // EF BB BF
    ListTextUtf16LE = 2,      // FF FE, or no mark and a zero second byte
    ListTextUtf8Unmarked = 3, // no mark, UTF-8 beyond ASCII
    ListTextUtf16BE = 4,      // FE FF, or no mark and a zero first byte
};

// Why reading stopped before the end of the file.
enum ListStopReason {
    ListStopNone = 0,      // still reading, or ended cleanly at the end of the file
    ListStopTooLong = 1,   // a record's raw text reached 512 units (ListTextUnits)
    ListStopNoMemory = 2,  // memory ran out while a record was being stored
    ListStopReadError = 3, // the file could not be read or its text not converted
    ListStopBadText = 4,   // text that is not what the file's mark says it is
    ListStopNul = 5,       // a NUL character, which no list's text holds
    ListStopNotUtf8 = 6,   // in a UTF-8 file without a mark, a line that is not UTF-8
    ListStopWorkbook = 7,  // a workbook that cannot be read: ListFileStopDetail says why
};

// Lines longer than this are delivered cut to this length; the rest of such a
// line is passed over. Far above any line a record may hold.
constexpr size_t kListLineLimit = size_t{32} * 1024;
constexpr size_t kListLineSlack = 64;

// Opens the file for reading ("r"); null when it cannot be opened or its
// buffers cannot be allocated. outOfMemory, when given, tells which of the
// two: true when memory ran out.
ListFile* OpenListFile(const char* path, bool* outOfMemory = nullptr);
void CloseListFile(ListFile* file);

ListTextEncoding ListFileEncoding(const ListFile* file);

// What the pass has taken from the file so far: the bytes as the C
// runtime's reads gave them, and their ListHash (list_fingerprint.h). Two
// passes over the same file read the same bytes, however far each has gone.
void ListFileReadHash(const ListFile* file, uint64_t* bytes, uint64_t* hash);

// The length the n bytes of delivered text had in the file: what the record
// limit counts, so that a list is read whole whenever its records fit it in
// the file's own encoding, whatever their text grows to as UTF-8. Bytes of a
// UTF-8 file; bytes of the ANSI code page (an accented letter of a legacy
// list is one, not the two it takes in UTF-8); UTF-16 code units of a UTF-16
// file (its characters, one beyond U+FFFF counting two: its bytes would halve
// the limit for lists that were always read whole).
size_t ListTextUnits(const ListFile* file, const char* text, size_t n);
// For a copy the library wrote, as UTF-8, of records from lists of any
// encoding (the sent list): ListTextUnits counts UTF-16 code units, which no
// record that fitted its own list's limit reaches.
void CountListInCharacters(ListFile* file);

// The next physical line, ending in its LF, or in a CR that no LF follows
// (the file's last line may have neither): outside a quoted value a lone CR
// ends a record, as spreadsheets read it. Returns 1 and sets line and length (valid until the next
// call), or 0 at the end of the file and once reading has stopped. The kListLineSlack bytes after
// the line may be read too, for scanning many bytes at once; what they hold means nothing.
int ReadListLine(ListFile* file, const char** line, size_t* length);

// For a reader that finds the line end itself while it copies the line: the
// text buffered after the last line delivered, up to its first CR (the
// kListLineSlack bytes after it readable). Returns its length; 0 when nothing
// is buffered or the next line must come from ReadListLine (reading stopped,
// or the rest of a cut line is being passed over). TakeListLine then delivers
// its first `length` bytes, which end in its first LF and are fewer than
// kListLineLimit, as the next line, just as ReadListLine would have.
size_t PeekListText(ListFile* file, const char** text);
void TakeListLine(ListFile* file, size_t length);

// The next piece of the file's text, of any length, regardless of lines: for
// a scan of the whole text. Returns its length, 0 at the end. Not to be mixed
// with ReadListLine on the same file.
size_t ReadListText(ListFile* file, const char** text);

// The number of physical lines delivered so far: the number of the line last
// returned by ReadListLine (1 for the first line).
long ListFileLineNumber(const ListFile* file);

// Records that reading stopped early, for the record that starts at physical
// line `line`; afterwards the file reads as ended. The first reason recorded
// stays and a later call only names the line: text that cannot be converted
// stops the file by itself at the first line it cannot deliver, and the
// reader then names the start of the record that line belongs to.
void StopListFile(ListFile* file, ListStopReason reason, long line);
ListStopReason ListFileStopReason(const ListFile* file);
// The physical line where the record that stopped reading starts; 0 when
// reading did not stop early.
long ListFileStopLine(const ListFile* file);

// What is wrong with a workbook that stopped reading (ListStopWorkbook), as
// an English phrase ("it is encrypted (protected with a password)"); "".
const char* ListFileStopDetail(const ListFile* file);
// Why reading stopped, as the phrase the user is told in "could not be read
// at line N (...)": "a NUL character", "not enough memory", the workbook's
// problem.
const char* ListFileStopText(const ListFile* file);
// The workbook a workbook's list is read from; null for a text list.
const WorkbookText* ListFileWorkbook(const ListFile* file);
