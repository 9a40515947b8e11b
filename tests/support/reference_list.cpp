#include "reference_list.h"

#include "platform.h"

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

std::string WideToAnsi(const std::u16string& wide) {
    if (wide.empty())
        return "";
    const auto* w = reinterpret_cast<const WCHAR*>(wide.data());
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(wide.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, static_cast<int>(wide.size()), out.data(),
                        n, nullptr, nullptr);
    return out;
}

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

} // namespace

std::string ReferenceDeliveredText(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        std::string utf8 = TextMode(bytes.substr(3));
        if (utf8.empty())
            return "";
        int n =
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        std::u16string wide(static_cast<size_t>(n), u'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                            reinterpret_cast<WCHAR*>(wide.data()), n);
        return WideToAnsi(wide);
    }
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (bytes.size() % 2)
            wide += u'\xFFFD';
        return WideToAnsi(ReplaceAll<std::u16string>(wide, u"\r\n", u"\n"));
    }
    return TextMode(bytes);
}

int ReferenceDelimiter(const std::string& text, const std::string& path) {
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

ReferenceList ReferenceReadRecords(const std::string& text, int delimiter) {
    ReferenceList list;
    if (delimiter != 0 && delimiter != 1)
        return list;
    const char d = delimiter == 0 ? ',' : '\t';
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t lf = text.find('\n', at);
        size_t end = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    size_t next = 0;
    for (;;) {
        // Step 1.
        std::vector<std::string> values;
        std::string raw;
        bool inQuotes = false;
        bool gotText = false;
        size_t firstLine = 0; // the record's first line that is no comment, from 1
        for (;;) {
            if (next == lines.size())
                break;
            const std::string line = lines[next++];
            if (line.size() >= 2 && line[0] == '/' && line[1] == '/')
                continue;
            if (firstLine == 0)
                firstLine = next;
            if (raw.size() + line.size() >= 512) {
                list.stopped = true;
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
            if (last == '\n' && !inQuotes)
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
            list.records.push_back(ReferenceRecord{values, CView(raw)});
    }
}

ReferencePass ReferenceRecipients(const std::string& text, int delimiter) {
    ReferencePass pass;
    ReferenceList list = ReferenceReadRecords(text, delimiter);
    pass.stopped = list.stopped;
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
        pass.stopped = false;
        pass.stopLine = 0;
        return pass;
    }
    const size_t column = static_cast<size_t>(pass.emailColumn);
    for (size_t r = 1; r < list.records.size(); ++r) {
        ReferenceRecord record = list.records[r];
        if (record.values.size() <= column)
            continue;
        std::string& v = record.values[column];
        size_t open = v.rfind('<');
        if (open != std::string::npos) {
            size_t close = v.find('>', open + 1);
            if (close != std::string::npos && v.find('@', open + 1) != std::string::npos) {
                v = v.substr(0, close);
                if (close - open - 1 < 511)
                    v = v.substr(open + 1, close - open - 1);
            }
        }
        std::string address = v.substr(0, 255);
        const char* blanks = " \t\r\n";
        size_t first = address.find_first_not_of(blanks);
        address = first == std::string::npos
                      ? ""
                      : address.substr(first, address.find_last_not_of(blanks) - first + 1);
        if (address.find('@') == std::string::npos)
            continue;
        pass.recipients.push_back(ReferenceRecipient{address, record.raw, record.values});
    }
    return pass;
}
