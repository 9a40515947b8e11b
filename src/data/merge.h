// The mail merge: each "[[name]]" token of a text, for each field name of the
// list's header record, becomes the recipient's value for that field.
// Tokens match without regard to ASCII letter case. Fields are applied in
// header order, each to the whole text as the earlier fields left it, so a
// value that holds a later field's token is expanded by that field.
#pragma once

#include "data/mailing_list.h"

#include <climits>
#include <cstddef>

// A measured size is never below this.
constexpr int kMergeMinimumNeed = 10;
// Nor above this: the buffer of need + 10 bytes the job makes from it, and
// the capacity of need + 1 it merges in, stay within a signed 32-bit size.
// A text whose merge would be larger fails to measure.
constexpr int kMergeMaximumNeed = INT_MAX - 16;

// Measure mode (need given): the text is not changed and capacity is ignored;
// need receives the bytes a buffer must offer to hold the merged text and its
// NUL (at least kMergeMinimumNeed), counting only the tokens of the unmerged
// text. Replace mode (need null): the tokens are replaced in the text, whose
// buffer holds capacity bytes.
// Returns 1, or 0 when a value has 512 or more characters (of UTF-8: a
// character of several bytes counts one), a field name 507
// or more, (measure mode) the size would exceed kMergeMaximumNeed, or
// (replace mode) a substitution would not fit; the text is then left partly
// merged.
int MergeFields(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                int* need);
// The same with `maximumNeed` (kMergeMinimumNeed or more) in place of
// kMergeMaximumNeed, so that the failure at the ceiling can be reached with
// short texts. On that failure need holds the size counted before the token
// that would have passed the ceiling (0 when the text alone passes it).
int MergeFieldsWithin(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                      int* need, int maximumNeed);

// Merging into an HTML body: a value is text, not markup, so "Smith <Holdings>
// & Sons" must show as it reads. EscapeHtmlValues writes the record's values
// into `escaped` with &, <, > and " as character references (false when
// memory ran out); MergeHtmlFields merges them as MergeFields merges the
// record's own, the limit on a value's length applying to `record`'s plain
// values.
bool EscapeHtmlValues(const ListRecord* record, ListRecord* escaped);
int MergeHtmlFields(char* text, int capacity, const ListRecord* header, const ListRecord* record,
                    const ListRecord* escaped, int* need);

// The mail client's HTML editor puts its own markup into what the user typed
// as one token: spelling and language spans, bold on part of a word, empty
// paragraph marks, conditional comments, even between the two brackets
// ("[[<span lang=EN-GB>First</span> Name]]"). The merge would then never see
// the token. UnsplitHtmlTokens rejoins, in place, every "[[...]]" of the HTML
// whose text, with its tags and comments left out, names a header field as
// the merge compares names: the token then reads "[[First Name]]", and the
// tags and comments that were within it follow it in their order, so that
// each still pairs with its partner outside the token. When the text as it
// stands names no field, "&nbsp;", "&#160;" and "&#xA0;" and each line break
// (CR, LF or CR LF) are read as one blank, as the editor writes them where
// the user typed one. Nothing else changes: a "[[...]]" that names no field
// keeps its markup, and so does one with more than 128 tags and comments.
// The text never grows. Returns the number of tokens rejoined.
size_t UnsplitHtmlTokens(char* html, const ListRecord* header);

// The first field of the header whose value in `record` has 512 characters
// or more, so that no text of the message merges with it; -1 when there is
// none. The review tells such records before anything is sent.
int FieldOverMergeLimit(const ListRecord* header, const ListRecord* record);

// A subject is one line: every line break of the merged text (CR, LF, CR LF,
// NEL U+0085, LINE SEPARATOR U+2028, PARAGRAPH SEPARATOR U+2029) becomes one
// blank, in place, so that no value can start a header line of its own in
// what recipients receive, and the preview shows what they will read. The
// text never grows. Returns the number of breaks replaced.
size_t FlattenSubjectLines(char* subject);

// The first occurrence of needle in haystack, comparing with ASCII letters
// folded to upper case; null when there is none (always for an empty
// haystack).
const char* FindNoCase(const char* haystack, const char* needle);
inline char* FindNoCase(char* haystack, const char* needle) {
    return const_cast<char*>(FindNoCase(static_cast<const char*>(haystack), needle));
}
