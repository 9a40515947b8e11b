#include "reference_list.h"

#include "platform.h"

#include <algorithm>

namespace {

std::string CView(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

template <typename String> String ReplaceAll(String s, const String& from, const String& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

std::string TextMode(const std::string& bytes) {
    std::string text = bytes.substr(0, bytes.find('\x1A'));
    return ReplaceAll<std::string>(text, "\r\n", "\n");
}

std::string WideToUtf8(const std::u16string& wide) {
    if (wide.empty())
        return "";
    const auto* w = reinterpret_cast<const WCHAR*>(wide.data());
    int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty())
        return "";
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                        reinterpret_cast<WCHAR*>(wide.data()), n);
    return WideToUtf8(wide);
}

// The length of the well-formed UTF-8 sequence at s[i], or 0.
size_t SequenceAt(const std::string& s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80)
        return 1;
    size_t length = 0;
    unsigned lowest = 0x80, highest = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        lowest = b == 0xE0 ? 0xA0 : 0x80;
        highest = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        lowest = b == 0xF0 ? 0x90 : 0x80;
        highest = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if (c < (k == 1 ? lowest : 0x80) || c > (k == 1 ? highest : 0xBF))
            return 0;
    }
    return length;
}

// The offset of the first byte that is no well-formed UTF-8 (a NUL counts
// as one only when `nulIsFault`), or npos.
size_t FirstUtf8Fault(const std::string& s, bool nulIsFault) {
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '\0' && nulIsFault)
            return i;
        const size_t length = SequenceAt(s, i);
        if (length == 0)
            return i;
        i += length;
    }
    return std::string::npos;
}

// The text before the line that holds offset `at`: lines end in an LF, or
// in a CR that no LF follows.
std::string BeforeLineOf(const std::string& text, size_t at) {
    const size_t lf = at == 0 ? std::string::npos : text.find_last_of("\r\n", at - 1);
    return lf == std::string::npos ? "" : text.substr(0, lf + 1);
}

// The text's lines, each with its line end (an LF, or a CR that no LF
// follows).
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end != std::string::npos && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

constexpr int kFaultBadText = 4; // ListStopBadText
constexpr int kFaultNul = 5;     // ListStopNul
constexpr int kFaultNotUtf8 = 6; // ListStopNotUtf8

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "" becomes ", left to right, going on after each replacement.
std::string Unquote(const std::string& s) {
    return ReplaceAll<std::string>(s, "\"\"", "\"");
}

size_t ClosingQuote(const std::string& s, size_t from) {
    for (;;) {
        size_t q = s.find('"', from);
        if (q == std::string::npos || q + 1 >= s.size() || s[q + 1] != '"')
            return q;
        from = q + 2;
    }
}

// Whether an address holds what no mailbox does, beyond the ASCII rules:
// text that is not UTF-8, a character of the ranges below, an encoded-word.
bool ForeignToAMailbox(const std::string& address) {
    if (address.find('(') != std::string::npos || address.find(')') != std::string::npos)
        return true;
    const size_t open = address.find("=?");
    if (open != std::string::npos && address.find("?=", open + 2) != std::string::npos)
        return true;
    static const unsigned long kRanges[][2] = {
        {0x80, 0xA0},     {0xAD, 0xAD},     {0x61C, 0x61C},    {0x1680, 0x1680}, {0x180E, 0x180E},
        {0x2000, 0x200F}, {0x2028, 0x202F}, {0x205F, 0x206F},  {0x3000, 0x3000}, {0xFEFF, 0xFEFF},
        {0xFF00, 0xFFEF}, {0xFFF9, 0xFFFB}, {0xE0000, 0xE007F}};
    for (size_t i = 0; i < address.size();) {
        const size_t length = SequenceAt(address, i);
        if (length == 0)
            return true;
        unsigned long c = static_cast<unsigned char>(address[i]);
        if (length > 1) {
            c &= 0x7Fu >> length;
            for (size_t k = 1; k < length; ++k)
                c = c << 6 | (static_cast<unsigned char>(address[i + k]) & 0x3Fu);
        }
        for (const auto& range : kRanges)
            if (c >= range[0] && c <= range[1])
                return true;
        i += length;
    }
    return false;
}

} // namespace

namespace {
// The length the record limit counts.
size_t RecordUnits(const std::string& utf8, bool units) {
    if (!units)
        return utf8.size();
    size_t n = 0;
    for (unsigned char c : utf8)
        n += ((c & 0xC0) != 0x80 ? 1 : 0) + (c >= 0xF0 ? 1 : 0);
    return n;
}
} // namespace

ReferenceText ReferenceDeliveredText(const std::string& bytes) {
    ReferenceText out;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        const std::string text = TextMode(bytes.substr(3));
        const size_t fault = FirstUtf8Fault(text, true);
        if (fault == std::string::npos) {
            out.text = text;
        } else {
            out.text = BeforeLineOf(text, fault);
            out.fault = text[fault] == '\0' ? kFaultNul : kFaultBadText;
        }
        return out;
    }
    // UTF-16: a mark, or no mark and a first character of the first 256
    // (one zero byte and one other, as text mode gives them).
    const std::string start = TextMode(bytes.substr(0, 4)).substr(0, 2);
    const bool marked = bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                                              bytes.compare(0, 2, "\xFE\xFF") == 0);
    const bool unmarked = !marked && start.size() == 2 && (start[0] == 0) != (start[1] == 0);
    if (marked || unmarked) {
        const bool bigEndian = marked ? bytes[0] == '\xFE' : start[0] == 0;
        std::u16string wide;
        for (size_t i = marked ? 2 : 0; i + 1 < bytes.size(); i += 2) {
            const auto first = static_cast<unsigned char>(bytes[i]);
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            wide += static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
        }
        wide = ReplaceAll<std::u16string>(wide, u"\r\n", u"\n");
        size_t fault = std::u16string::npos;
        for (size_t i = 0; i < wide.size(); ++i) {
            const char16_t u = wide[i];
            if (u == 0) {
                fault = i;
                out.fault = kFaultNul;
                break;
            }
            if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                wide[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            if (u >= 0xD800 && u <= 0xDFFF) {
                fault = i;
                out.fault = kFaultBadText;
                break;
            }
        }
        if (fault == std::u16string::npos && (bytes.size() - (marked ? 2 : 0)) % 2) {
            fault = wide.size(); // a file cut inside its last character
            out.fault = kFaultBadText;
        }
        if (fault != std::u16string::npos) {
            const size_t lf =
                fault == 0 ? std::u16string::npos : wide.find_last_of(u"\r\n", fault - 1);
            wide = lf == std::u16string::npos ? u"" : wide.substr(0, lf + 1);
        }
        out.text = WideToUtf8(wide);
        out.countsUnits = true;
        return out;
    }
    // Without a mark: UTF-8 when the text holds more well-formed sequences
    // beyond ASCII than bytes that are not UTF-8; a byte that is not then
    // stops the text at its line.
    std::string text = TextMode(bytes);
    size_t sequences = 0, faults = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = text[i] == '\0' ? 1 : SequenceAt(text, i);
        sequences += length > 1 ? 1 : 0;
        faults += length == 0 ? 1 : 0;
        i += length ? length : 1;
    }
    const bool utf8 = sequences > faults;
    const size_t fault = utf8 ? FirstUtf8Fault(text, true) : text.find('\0');
    if (fault != std::string::npos) {
        out.fault = text[fault] == '\0' ? kFaultNul : kFaultNotUtf8;
        text = BeforeLineOf(text, fault);
    }
    out.text = utf8 ? text : AnsiToUtf8(text);
    out.countsUnits = !utf8;
    return out;
}

int ReferenceDelimiter(const std::string& text, const std::string& path) {
    // The header line: the first that is no comment and not empty.
    for (std::string line : LinesOf(text)) {
        if (line.size() >= 2 && line[0] == '/' && line[1] == '/')
            continue;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            continue;
        if (line.find(';') != std::string::npos && line.find(',') == std::string::npos &&
            line.find('\t') == std::string::npos)
            return 2;
        break;
    }
    const bool comma = text.find(',') != std::string::npos;
    const bool tab = text.find('\t') != std::string::npos;
    if (comma && !tab)
        return 0;
    if (tab && !comma)
        return 1;
    std::string lower;
    for (char c : path)
        lower += Lower(c);
    return lower.find(".csv") != std::string::npos ? 0 : 1;
}

ReferenceList ReferenceReadRecords(const ReferenceText& delivered, int delimiter) {
    ReferenceList list;
    if (delimiter < 0 || delimiter > 2)
        return list;
    const std::string& text = delivered.text;
    const char d = delimiter == 0 ? ',' : delimiter == 1 ? '\t' : ';';
    const std::vector<std::string> lines = LinesOf(text);
    size_t next = 0;
    for (;;) {
        // Step 1.
        std::vector<std::string> values;
        std::string raw;
        bool inQuotes = false;
        bool gotText = false;
        size_t firstLine = 0; // the record's first line that is no comment, from 1
        for (;;) {
            if (next == lines.size()) {
                // The text ended early: the record it was in stops the pass.
                if (delivered.fault) {
                    list.stopReason = delivered.fault;
                    list.stopLine = firstLine ? static_cast<long>(firstLine)
                                              : static_cast<long>(lines.size()) + 1;
                    return list;
                }
                break;
            }
            const std::string& line = lines[next++];
            if (line.size() >= 2 && line[0] == '/' && line[1] == '/')
                continue;
            if (firstLine == 0)
                firstLine = next;
            if (RecordUnits(raw + line, delivered.countsUnits) >= 512) {
                list.stopReason = 1; // ListStopTooLong
                list.stopLine = static_cast<long>(firstLine);
                return list;
            }
            raw += line;
            std::string s =
                ReplaceAll<std::string>(ReplaceAll<std::string>(line, "\n", "\r\n"), "\r\r", "\r");
            const char last = s.empty() ? '\0' : s.back();
            gotText = true;
            size_t p = 0;
            while (p < s.size()) {
                if (!inQuotes) {
                    size_t dl = s.find(d, p);
                    size_t q = s.find('"', p);
                    if (dl == std::string::npos && q == std::string::npos) {
                        values.push_back(Unquote(s.substr(p)));
                        break;
                    }
                    if (dl != std::string::npos && (q == std::string::npos || q > dl)) {
                        values.push_back(Unquote(s.substr(p, dl - p)));
                        p = dl + 1;
                        continue;
                    }
                    size_t e = ClosingQuote(s, q + 1);
                    if (e == std::string::npos) {
                        values.push_back(Unquote(s.substr(q + 1)));
                        inQuotes = true;
                        break;
                    }
                    values.push_back(Unquote(s.substr(q + 1, e - q - 1)));
                    size_t after = s.find(d, e + 1);
                    p = after == std::string::npos ? s.size() : after + 1;
                } else {
                    size_t e = ClosingQuote(s, p);
                    if (e == std::string::npos) {
                        values.back() += Unquote(s.substr(p));
                        break;
                    }
                    values.back() += Unquote(s.substr(p, e - p));
                    inQuotes = false;
                    size_t after = s.find(d, e + 1);
                    p = after == std::string::npos ? s.size() : after + 1;
                }
            }
            if ((last == '\n' || last == '\r') && !inQuotes)
                break;
        }
        if (!gotText)
            return list;
        bool allEmpty = true;
        for (std::string& v : values) {
            v = CView(v); // a value is a C string: a NUL byte ends it
            if (!v.empty() && v.back() == '\n')
                v.pop_back();
            if (!v.empty() && v.back() == '\r')
                v.pop_back();
            if (!v.empty())
                allEmpty = false;
        }
        if (!allEmpty)
            list.records.push_back(
                ReferenceRecord{values, CView(raw), static_cast<long>(firstLine)});
    }
}

ReferencePass ReferenceRecipients(const ReferenceText& delivered, int delimiter) {
    ReferencePass pass;
    ReferenceList list = ReferenceReadRecords(delivered, delimiter);
    pass.stopReason = list.stopReason;
    pass.stopLine = list.stopLine;
    if (list.records.empty())
        return pass;
    pass.headerRead = true;
    pass.header = list.records[0].values;
    pass.headerRaw = list.records[0].raw;
    if (pass.header.size() == 1) {
        pass.emailColumn = 0;
    } else {
        for (size_t i = 0; i < pass.header.size(); ++i) {
            std::string lower;
            for (char c : pass.header[i].substr(0, 255))
                lower += Lower(c);
            if (lower.find("e-mail") != std::string::npos ||
                lower.find("email") != std::string::npos) {
                pass.emailColumn = static_cast<int>(i);
                break;
            }
        }
    }
    if (pass.emailColumn < 0) {
        // Nothing is read after the header.
        pass.stopReason = 0;
        pass.stopLine = 0;
        return pass;
    }
    const size_t column = static_cast<size_t>(pass.emailColumn);
    const int kNoAddress = 1, kNotOne = 2; // ListSkipReason
    for (size_t r = 1; r < list.records.size(); ++r) {
        ReferenceRecord record = list.records[r];
        if (record.values.size() <= column) {
            pass.skips.push_back({record.line, kNoAddress, ""});
            continue;
        }
        // One pair of angle brackets around an address: the address.
        std::string& v = record.values[column];
        const size_t open = v.find('<');
        const size_t close = v.find('>');
        if (std::count(v.begin(), v.end(), '<') == 1 && std::count(v.begin(), v.end(), '>') == 1 &&
            open < close && v.substr(open + 1, close - open - 1).find('@') != std::string::npos)
            v = v.substr(open + 1, close - open - 1);
        const char* blanks = " \t\r\n";
        const size_t first = v.find_first_not_of(blanks);
        const std::string address = first == std::string::npos
                                        ? ""
                                        : v.substr(first, v.find_last_not_of(blanks) - first + 1);
        if (address.empty()) {
            pass.skips.push_back({record.line, kNoAddress, v});
            continue;
        }
        bool one = address.size() < 256 && std::count(address.begin(), address.end(), '@') == 1 &&
                   address.front() != '@' && address.back() != '@';
        for (char c : address) {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u == 0x7F || c == '"' || c == ',' || c == ';' || c == '<' || c == '>')
                one = false;
        }
        if (!one || ForeignToAMailbox(address)) {
            pass.skips.push_back({record.line, kNotOne, v});
            continue;
        }
        pass.recipients.push_back(ReferenceRecipient{address, record.raw, record.values});
    }
    return pass;
}
