// Generated inputs for the benchmarks: a mailing list like the ones users
// export (8 fields, some quoted, CR LF line ends) and a large HTML newsletter
// with embedded images and merge tokens.
#pragma once

#include <string>
#include <vector>

// Writes a list of `records` recipients to a host path. Returns false when
// the file cannot be written.
bool WriteBenchList(const std::string& hostPath, long records);

// The newsletter's header: 40 field names, and one recipient's values.
std::vector<std::string> BenchHeader();
std::vector<std::string> BenchValues(int recipient);

// About `bytes` of HTML holding `tokens` merge tokens of BenchHeader's fields.
std::string BenchHtml(size_t bytes, int tokens);
