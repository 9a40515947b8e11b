// Number formats as ECMA-376 Part 1 (SpreadsheetML, numFmt) writes them.
// A number is first taken to 15 significant digits, as spreadsheet programs
// keep it, and only then rounded to the places the format shows (half away
// from zero), so 2.675 shown with two decimals is 2.68 as on screen.
#include "number_format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// |value| to 15 significant digits: the digits and the power of ten of the first.
struct Digits {
    std::string digits; // 15 of them, or "0"
    int exponent = 0;   // value = 0.d1d2... * 10^(exponent + 1)
};

Digits SignificantDigits(double value) {
    Digits d;
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) {
        d.digits = "0";
        return d;
    }
    // d.dddddddddddddde±x, exactly rounded as printf's %.14e gives it but
    // without its locale and its arbitrary-precision arithmetic: a sheet
    // formats a million of these.
    char text[40];
    const std::to_chars_result done =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14);
    const char* e = std::find(text, done.ptr, 'e');
    if (done.ec != std::errc() || e == done.ptr || e - text < 3) {
        d.digits = "0";
        return d;
    }
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), done.ptr, exponent);
    d.exponent = exponent;
    d.digits.push_back(text[0]);
    d.digits.append(text + 2, static_cast<size_t>(e - text - 2));
    return d;
}

// |value| rounded to `places` decimals: its integer digits ("0" for none)
// and exactly `places` fraction digits.
void FixedParts(double value, int places, std::string* whole, std::string* fraction) {
    Digits d = SignificantDigits(value);
    // The digit string as integer digits and fraction digits.
    std::string all = d.digits;
    int pointAt = d.exponent + 1; // digits before the point
    if (pointAt <= 0) {
        all.insert(0, static_cast<size_t>(-pointAt), '0');
        pointAt = 0;
    }
    if (static_cast<int>(all.size()) < pointAt + places)
        all.append(static_cast<size_t>(pointAt + places) - all.size(), '0');
    const size_t keep = static_cast<size_t>(pointAt) + static_cast<size_t>(places);
    bool up = keep < all.size() && all[keep] >= '5';
    all.resize(keep);
    for (size_t i = all.size(); up && i-- > 0;) {
        if (all[i] == '9') {
            all[i] = '0';
        } else {
            ++all[i];
            up = false;
        }
    }
    if (up) {
        all.insert(0, 1, '1');
        ++pointAt;
    }
    *whole = all.substr(0, static_cast<size_t>(pointAt));
    *fraction = all.substr(static_cast<size_t>(pointAt));
    const size_t nonZero = whole->find_first_not_of('0');
    *whole = nonZero == std::string::npos ? "0" : whole->substr(nonZero);
}

std::string Grouped(const std::string& whole) {
    std::string out;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(whole[i]);
    }
    return out;
}

// ---- Sections and tokens ----------------------------------------------------------

enum TokenKind { Literal, Digit, Point, Comma, Percent, Exponent, DatePart, AmPm, Unsupported };

struct Token {
    TokenKind kind;
    std::string text; // the literal, the digit placeholder, the date part ("yyyy", "[h]"...)
};

std::vector<std::string> SplitSections(const std::string& code) {
    std::vector<std::string> sections(1);
    bool quoted = false, bracket = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (!quoted && !bracket && c == '\\' && i + 1 < code.size()) {
            sections.back() += code.substr(i, 2);
            ++i;
            continue;
        }
        if (c == '"' && !bracket)
            quoted = !quoted;
        else if (c == '[' && !quoted)
            bracket = true;
        else if (c == ']' && !quoted)
            bracket = false;
        if (c == ';' && !quoted && !bracket)
            sections.emplace_back();
        else
            sections.back().push_back(c);
    }
    return sections;
}

bool StartsWithNoCase(const std::string& text, size_t at, const char* word) {
    for (size_t i = 0; word[i]; ++i) {
        if (at + i >= text.size())
            return false;
        char c = text[at + i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i])
            return false;
    }
    return true;
}

// A bracketed part: a colour or locale (nothing shown), a currency ([$€-407]
// shows €), an elapsed time, or a condition (not reproduced).
void BracketToken(const std::string& inside, std::vector<Token>* tokens) {
    if (inside.empty())
        return;
    const char first = static_cast<char>(inside[0] | 0x20);
    if (inside[0] == '$') {
        const size_t dash = inside.find('-');
        tokens->push_back(
            {Literal, inside.substr(1, dash == std::string::npos ? std::string::npos : dash - 1)});
    } else if ((first == 'h' || first == 'm' || first == 's') &&
               inside.find_first_not_of(inside[0]) == std::string::npos) {
        tokens->push_back({DatePart, "[" + std::string(1, first) + "]"});
    } else if (std::strchr("<>=", inside[0])) {
        tokens->push_back({Unsupported, inside});
    }
}

std::vector<Token> Tokenize(const std::string& section) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '"') {
            const size_t close = section.find('"', i + 1);
            tokens.push_back({Literal, section.substr(i + 1, close - i - 1)});
            i = close == std::string::npos ? section.size() : close;
        } else if (c == '\\' && i + 1 < section.size()) {
            tokens.push_back({Literal, section.substr(++i, 1)});
        } else if (c == '_' && i + 1 < section.size()) {
            tokens.push_back({Literal, " "}); // the width of the next character
            ++i;
        } else if (c == '*' && i + 1 < section.size()) {
            ++i; // a fill repeated to the column's width: nothing at no width
        } else if (c == '[') {
            const size_t close = section.find(']', i);
            if (close == std::string::npos)
                return {{Unsupported, section}};
            BracketToken(section.substr(i + 1, close - i - 1), &tokens);
            i = close;
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back({Digit, std::string(1, c)});
        } else if (c == '.') {
            tokens.push_back({Point, "."});
        } else if (c == ',') {
            tokens.push_back({Comma, ","});
        } else if (c == '%') {
            tokens.push_back({Percent, "%"});
        } else if (lower == 'e' && i + 1 < section.size() &&
                   (section[i + 1] == '+' || section[i + 1] == '-')) {
            tokens.push_back({Exponent, section.substr(i, 2)});
            ++i;
        } else if (StartsWithNoCase(section, i, "AM/PM")) {
            tokens.push_back({AmPm, "AM/PM"});
            i += 4;
        } else if (StartsWithNoCase(section, i, "A/P")) {
            tokens.push_back({AmPm, "A/P"});
            i += 2;
        } else if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 's') {
            size_t end = i;
            while (end < section.size() && (section[end] | 0x20) == lower)
                ++end;
            tokens.push_back({DatePart, std::string(end - i, lower)});
            i = end - 1;
        } else if (c == '/') {
            tokens.push_back({Literal, "/"}); // a date's separator; a fraction's bar
        } else if (c == '@' || lower == 'g' || lower == 'b') {
            // Text placement, General inside a section, Buddhist years.
            tokens.push_back({Unsupported, std::string(1, c)});
        } else {
            tokens.push_back({Literal, std::string(1, c)});
        }
    }
    return tokens;
}

bool HasKind(const std::vector<Token>& tokens, TokenKind kind) {
    for (const Token& t : tokens)
        if (t.kind == kind)
            return true;
    return false;
}

// A format code as its sections' tokens, parsed once: a sheet formats every
// number cell with one of the few codes its styles name. The last codes
// seen are kept (a workbook names a few dozen at most); the readers run on
// one thread.
const std::vector<std::vector<Token>>& ParsedSections(const std::string& code) {
    static std::vector<std::pair<std::string, std::vector<std::vector<Token>>>> cache;
    for (const auto& entry : cache)
        if (entry.first == code)
            return entry.second;
    if (cache.size() >= 64)
        cache.clear();
    std::vector<std::vector<Token>> sections;
    for (const std::string& section : SplitSections(code))
        sections.push_back(Tokenize(section));
    cache.emplace_back(code, std::move(sections));
    return cache.back().second;
}

// ---- Numbers ------------------------------------------------------------------

// Fills the integer placeholders from the right with the digits of whole;
// digits beyond the placeholders go in front of the first.
std::string FillWhole(const std::vector<const Token*>& placeholders, const std::string& whole,
                      size_t index) {
    const size_t count = placeholders.size();
    const std::string digits = whole == "0" ? "" : whole;
    std::string out;
    const size_t fromRight = count - 1 - index;
    if (fromRight < digits.size()) {
        const size_t at = digits.size() - 1 - fromRight;
        out = index == 0 ? digits.substr(0, at + 1) : digits.substr(at, 1);
        return out;
    }
    const char kind = placeholders[index]->text[0];
    return kind == '0' ? "0" : kind == '?' ? " " : "";
}

// The fraction nearest x (x >= 0) whose denominator is at most most: the
// best of the continued fraction's convergents and the semiconvergent at
// the bound.
void NearestFraction(double x, long long most, long long* numerator, long long* denominator) {
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double rest = x;
    for (int step = 0; step < 64; ++step) {
        const double a = std::floor(rest);
        if (a > 1e15)
            break;
        const long long whole = static_cast<long long>(a);
        long long p2 = 0, q2 = 0;
        // A numerator past 64 bits (a huge value over a long denominator)
        // ends the search at the convergent before it.
        if (__builtin_mul_overflow(whole, p1, &p2) || __builtin_add_overflow(p2, p0, &p2) ||
            __builtin_mul_overflow(whole, q1, &q2) || __builtin_add_overflow(q2, q0, &q2) ||
            q2 > most)
            break;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (rest - a < 1e-12)
            break;
        rest = 1 / (rest - a);
    }
    const long long k = q1 > 0 ? (most - q0) / q1 : 0;
    long long ps = 0, qs = 0;
    const bool fits = !__builtin_mul_overflow(k, p1, &ps) && !__builtin_add_overflow(ps, p0, &ps) &&
                      !__builtin_mul_overflow(k, q1, &qs) && !__builtin_add_overflow(qs, q0, &qs);
    if (q1 == 0 || (fits && qs > 0 &&
                    std::fabs(x - static_cast<double>(ps) / static_cast<double>(qs)) <
                        std::fabs(x - static_cast<double>(p1) / static_cast<double>(q1)))) {
        p1 = ps, q1 = qs;
    }
    *numerator = p1;
    *denominator = q1;
}

// Digits in a placeholder's room: '0' pads with zeros, '?' with spaces
// (on the left of a number, on the right of a denominator), '#' not at all.
std::string Padded(const std::string& digits, const std::vector<const Token*>& room, bool right) {
    std::string pad;
    for (size_t i = digits.size(); i < room.size(); ++i) {
        const char kind = room[right ? i : room.size() - 1 - i]->text[0];
        if (kind != '#')
            pad.push_back(kind == '0' && !right ? '0' : ' ');
    }
    return right ? digits + pad : pad + digits;
}

int ShownWidth(const Token& t) {
    return t.kind == Digit ? 1 : static_cast<int>(t.text.size());
}

// A fraction ("# ?/?", two digits a side, "?/?", "# ?/8"): a mixed number when
// placeholders stand before the numerator's, else an improper fraction; the
// denominator at most as many digits as its placeholders, or the one
// written. A mixed number whose fraction rounds to nothing shows its whole
// part and blanks where the fraction would be.
bool RenderFraction(double value, const std::vector<Token>& tokens, size_t slash,
                    std::string* out) {
    size_t numeratorFrom = slash;
    while (numeratorFrom > 0 && tokens[numeratorFrom - 1].kind == Digit)
        --numeratorFrom;
    size_t denominatorEnd = slash + 1;
    std::vector<const Token*> wholeRoom, numeratorRoom, denominatorRoom;
    std::string fixed; // a denominator written out
    while (denominatorEnd < tokens.size() && tokens[denominatorEnd].kind == Digit)
        denominatorRoom.push_back(&tokens[denominatorEnd++]);
    while (denominatorRoom.empty() && denominatorEnd < tokens.size() &&
           tokens[denominatorEnd].kind == Literal && tokens[denominatorEnd].text.size() == 1 &&
           std::isdigit(static_cast<unsigned char>(tokens[denominatorEnd].text[0])))
        fixed += tokens[denominatorEnd++].text;
    for (size_t i = numeratorFrom; i < slash; ++i)
        numeratorRoom.push_back(&tokens[i]);
    bool grouped = false;
    size_t wholeEnd = 0;
    for (size_t i = 0; i < numeratorFrom; ++i) {
        if (tokens[i].kind == Digit) {
            wholeRoom.push_back(&tokens[i]);
            wholeEnd = i + 1;
        } else if (tokens[i].kind == Comma && !wholeRoom.empty()) {
            grouped = true;
        } else if (tokens[i].kind != Literal && tokens[i].kind != Comma) {
            return false; // a point, an exponent or a percent beside a fraction
        }
    }
    if ((denominatorRoom.empty() && (fixed.empty() || fixed.size() > 6 || fixed[0] == '0')) ||
        denominatorRoom.size() > 6 || value >= 1e15)
        return false;
    long long most = 1;
    for (size_t i = 0; i < denominatorRoom.size(); ++i)
        most *= 10;
    const bool mixed = !wholeRoom.empty();
    if (!mixed && value * static_cast<double>(most) >= 1e15)
        return false; // a numerator past the digits a double holds whole
    double whole = mixed ? std::floor(value) : 0;
    long long numerator = 0, denominator = 1;
    if (!fixed.empty()) {
        denominator = std::atoll(fixed.c_str());
        numerator = static_cast<long long>(
            std::floor((value - whole) * static_cast<double>(denominator) + 0.5));
    } else {
        NearestFraction(value - whole, most - 1, &numerator, &denominator);
    }
    if (mixed && numerator >= denominator) { // 2.99 as ?/? is 3
        whole += 1;
        numerator = 0;
    }
    std::string wholeDigits, ignored;
    FixedParts(whole, 0, &wholeDigits, &ignored);
    const bool blank = mixed && numerator == 0;
    std::string text;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (blank && i >= wholeEnd && i < denominatorEnd) {
            // A written denominator goes with the blanked fraction, taking no room.
            if (i <= slash || !denominatorRoom.empty())
                text.append(static_cast<size_t>(ShownWidth(t)), ' ');
        } else if (mixed && i < wholeEnd && t.kind == Digit) {
            if (&t == wholeRoom.front()) {
                // A whole part of nothing shows only under a '0', or beside no fraction.
                const std::string digits = wholeDigits == "0" && !blank ? "" : wholeDigits;
                text += Padded(grouped ? Grouped(digits) : digits, wholeRoom, false);
            }
        } else if (i == numeratorFrom) {
            text += Padded(std::to_string(numerator), numeratorRoom, false);
        } else if (i > numeratorFrom && i < slash) {
            continue;
        } else if (i == slash) {
            text += "/";
        } else if (i > slash && i < denominatorEnd) {
            if (i == slash + 1)
                text += Padded(std::to_string(denominator), denominatorRoom, true);
        } else if (t.kind == Literal) {
            text += t.text;
        } else if (t.kind != Comma) {
            return false;
        }
    }
    *out = text;
    return true;
}

bool RenderNumber(double value, const std::vector<Token>& tokens, std::string* out) {
    // Where the parts of the number are.
    size_t point = tokens.size(), exponent = tokens.size(), lastDigit = tokens.size();
    int percents = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Point && point == tokens.size() && exponent == tokens.size())
            point = i;
        else if (tokens[i].kind == Exponent && exponent == tokens.size())
            exponent = i;
        else if (tokens[i].kind == Percent)
            ++percents;
        else if (tokens[i].kind == Digit && point == tokens.size() && exponent == tokens.size())
            lastDigit = i;
    }
    std::vector<const Token*> whole, fraction;
    bool grouped = false;
    int scale = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Digit && i < point && i < exponent)
            whole.push_back(&tokens[i]);
        else if (tokens[i].kind == Digit && i > point && i < exponent)
            fraction.push_back(&tokens[i]);
        else if (tokens[i].kind == Comma && i < point && i < exponent) {
            // Between placeholders it groups thousands; after the last it divides by 1000.
            if (lastDigit != tokens.size() && i > lastDigit)
                ++scale;
            else if (!whole.empty())
                grouped = true;
        }
    }
    for (size_t i = 1; i < tokens.size(); ++i)
        if (tokens[i].kind == Literal && tokens[i].text == "/" && tokens[i - 1].kind == Digit)
            return RenderFraction(value, tokens, i, out);
    for (int i = 0; i < percents; ++i)
        value *= 100;
    for (int i = 0; i < scale; ++i)
        value /= 1000;
    // Enough '%' signs take a large number past the doubles: shown as
    // General, as any format not reproduced.
    if (!std::isfinite(value))
        return false;
    // The exponent is a multiple of the whole part's placeholders: one for
    // 0.00E+00, three for the engineering form ##0.0E+0 (12.3E+3).
    int power = 0;
    const int group = static_cast<int>(whole.size());
    if (exponent < tokens.size()) {
        if (group < 1 || group > 6)
            return false;
        if (value != 0) {
            power = static_cast<int>(std::floor(std::log10(std::fabs(value))));
            power -= (power % group + group) % group;
            value /= std::pow(10.0, power);
        }
    }
    std::string wholeDigits, fractionDigits;
    FixedParts(value, static_cast<int>(fraction.size()), &wholeDigits, &fractionDigits);
    if (exponent < tokens.size() && wholeDigits.size() > static_cast<size_t>(group)) {
        power += group; // 9.996 rounded up to 10.00 is 1.00E+1
        FixedParts(value / std::pow(10.0, group), static_cast<int>(fraction.size()), &wholeDigits,
                   &fractionDigits);
    }
    // Trailing fraction zeros under '#' go, under '?' become spaces.
    size_t keep = fractionDigits.size();
    while (keep > 0 && fractionDigits[keep - 1] == '0' && fraction[keep - 1]->text[0] != '0')
        --keep;
    std::string text;
    size_t wholeIndex = 0, fractionIndex = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Digit && i < point && i < exponent) {
            if (grouped) {
                if (wholeIndex++ == 0) {
                    std::string digits = wholeDigits == "0" ? "" : wholeDigits;
                    size_t zeros = 0;
                    for (const Token* p : whole)
                        zeros += p->text[0] == '0';
                    if (digits.size() < zeros)
                        digits.insert(0, zeros - digits.size(), '0');
                    text += Grouped(digits);
                }
            } else {
                text += FillWhole(whole, wholeDigits, wholeIndex++);
            }
        } else if (t.kind == Digit && i > point && i < exponent) {
            const size_t at = fractionIndex++;
            text += at < keep                      ? fractionDigits.substr(at, 1)
                    : fraction[at]->text[0] == '?' ? " "
                                                   : "";
        } else if (t.kind == Digit) {
            continue; // the exponent's digits, written with it
        } else if (t.kind == Point) {
            if (i == point)
                text += ".";
        } else if (t.kind == Exponent) {
            size_t places = 0;
            for (size_t j = i + 1; j < tokens.size() && tokens[j].kind == Digit; ++j)
                ++places;
            std::string digits = std::to_string(std::abs(power));
            if (digits.size() < places)
                digits.insert(0, places - digits.size(), '0');
            text += "E";
            text += power < 0 ? "-" : t.text[1] == '+' ? "+" : "";
            text += digits;
        } else if (t.kind == Percent || t.kind == Literal) {
            text += t.text;
        } else if (t.kind != Comma) {
            return false;
        }
    }
    *out = text;
    return true;
}

// ---- Dates and times ------------------------------------------------------------

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

// Days since 1970-01-01 to the civil date (Howard Hinnant's algorithm).
void CivilFromDays(long long z, int* year, int* month, int* day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

struct When {
    int year = 0, month = 0, day = 0, weekday = 0;
    long long hours = 0; // elapsed hours too, for [h]
    int hour = 0, minute = 0, second = 0;
    double days = 0; // the serial number, for [h], [m], [s]
};

// The serial number as a date: the 1900 system counts 1900-02-29, a day
// that never was, as Lotus 1-2-3 did; the 1904 system starts at 1904-01-01.
bool DateFromSerial(double serial, bool date1904, bool needsDate, When* w) {
    if (serial < 0 || serial >= 2958466)
        return false;
    long long seconds = static_cast<long long>(std::floor(serial * 86400 + 0.5));
    long long days = seconds / 86400;
    seconds %= 86400;
    w->days = serial;
    w->hours = static_cast<long long>(std::floor(serial * 24 + 0.5 / 3600));
    w->hour = static_cast<int>(seconds / 3600);
    w->minute = static_cast<int>(seconds / 60 % 60);
    w->second = static_cast<int>(seconds % 60);
    if (date1904) {
        CivilFromDays(days - 24107, &w->year, &w->month, &w->day); // 1904-01-01: day -24107
        w->weekday = static_cast<int>(((days - 24107) % 7 + 11) % 7);
        return true;
    }
    if (days == 60) {
        w->year = 1900, w->month = 2, w->day = 29, w->weekday = 3;
        return true;
    }
    if (days == 0)
        return !needsDate; // "1900-01-00": shown by no program alike
    const long long fromEpoch = days - 25569 + (days < 60 ? 1 : 0); // 1899-12-30 + serial
    CivilFromDays(fromEpoch, &w->year, &w->month, &w->day);
    w->weekday = static_cast<int>(((fromEpoch % 7) + 11) % 7);
    return true;
}

std::string TwoDigits(long long n) {
    if (n >= 0 && n < 100) // every part of a date but the year in full
        return {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
    char text[24];
    std::snprintf(text, sizeof text, "%02lld", n);
    return text;
}

// Whether the m at token i means minutes: after an hour, or before a second.
bool IsMinute(const std::vector<Token>& tokens, size_t i) {
    for (size_t j = i; j-- > 0;) {
        if (tokens[j].kind != DatePart)
            continue;
        if (tokens[j].text[0] == 'h' || tokens[j].text == "[h]")
            return true;
        break;
    }
    for (size_t j = i + 1; j < tokens.size(); ++j) {
        if (tokens[j].kind != DatePart)
            continue;
        return tokens[j].text[0] == 's' || tokens[j].text == "[s]";
    }
    return false;
}

bool RenderDate(double value, const std::vector<Token>& tokens, bool date1904, std::string* out) {
    bool needsDate = false, twelve = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        // A month needs a date as a year or a day does: the serial's days
        // before 1900-01-01 have none.
        if (t.kind == DatePart &&
            (t.text[0] == 'y' || t.text[0] == 'd' ||
             (t.text[0] == 'm' && (t.text.size() > 2 || !IsMinute(tokens, i)))))
            needsDate = true;
        if (t.kind == AmPm)
            twelve = true;
        if (t.kind == Digit || t.kind == Exponent)
            return false; // sub-second digits and numbers among dates are not reproduced
    }
    When w;
    if (!DateFromSerial(value, date1904, needsDate, &w))
        return false;
    std::string text;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const std::string& p = t.text;
        const size_t n = p.size();
        if (t.kind == Literal || t.kind == Comma || t.kind == Percent || t.kind == Point) {
            text += p;
        } else if (t.kind == AmPm) {
            text += p == "A/P" ? (w.hour < 12 ? "A" : "P") : (w.hour < 12 ? "AM" : "PM");
        } else if (p == "[h]") {
            text += std::to_string(static_cast<long long>(std::floor(w.days * 24 + 0.5 / 3600)));
        } else if (p == "[m]") {
            text += std::to_string(static_cast<long long>(std::floor(w.days * 1440 + 0.5 / 60)));
        } else if (p == "[s]") {
            text += std::to_string(static_cast<long long>(std::floor(w.days * 86400 + 0.5)));
        } else if (p[0] == 'y') {
            text += n <= 2 ? TwoDigits(w.year % 100) : std::to_string(w.year);
        } else if (p[0] == 'd') {
            text += n == 1   ? std::to_string(w.day)
                    : n == 2 ? TwoDigits(w.day)
                    : n == 3 ? std::string(kDays[w.weekday], 3)
                             : std::string(kDays[w.weekday]);
        } else if (p[0] == 'h') {
            const int hour = twelve ? (w.hour % 12 == 0 ? 12 : w.hour % 12) : w.hour;
            text += n == 1 ? std::to_string(hour) : TwoDigits(hour);
        } else if (p[0] == 's') {
            text += n == 1 ? std::to_string(w.second) : TwoDigits(w.second);
        } else if (p[0] == 'm' && n <= 2 && IsMinute(tokens, i)) {
            text += n == 1 ? std::to_string(w.minute) : TwoDigits(w.minute);
        } else if (p[0] == 'm') {
            const char* name = kMonths[w.month - 1];
            text += n == 1   ? std::to_string(w.month)
                    : n == 2 ? TwoDigits(w.month)
                    : n == 3 ? std::string(name, 3)
                    : n == 4 ? std::string(name)
                             : std::string(name, 1);
        } else {
            return false;
        }
    }
    *out = text;
    return true;
}

} // namespace

const char* BuiltInFormatCode(int id) {
    switch (id) {
    case 1:
        return "0";
    case 2:
        return "0.00";
    case 3:
        return "#,##0";
    case 4:
        return "#,##0.00";
    case 9:
        return "0%";
    case 10:
        return "0.00%";
    case 11:
        return "0.00E+00";
    case 12:
        return "# ?/?";
    case 13:
        return "# ?\?/?\?"; // "?\?" keeps the two marks from reading as a trigraph
    case 14:
        return "mm-dd-yy";
    case 15:
        return "d-mmm-yy";
    case 16:
        return "d-mmm";
    case 17:
        return "mmm-yy";
    case 18:
        return "h:mm AM/PM";
    case 19:
        return "h:mm:ss AM/PM";
    case 20:
        return "h:mm";
    case 21:
        return "h:mm:ss";
    case 22:
        return "m/d/yy h:mm";
    case 37:
    case 38: // in red, which a list does not show
        return "#,##0 ;(#,##0)";
    case 39:
    case 40:
        return "#,##0.00;(#,##0.00)";
    case 45:
        return "mm:ss";
    case 46:
        return "[h]:mm:ss";
    case 47:
        return "mm:ss.0";
    case 48:
        return "##0.0E+0";
    case 49:
        return "@";
    default:
        return "";
    }
}

std::string GeneralNumber(double value) {
    if (!std::isfinite(value))
        return "#NUM!";
    if (value == 0)
        return "0";
    const Digits d = SignificantDigits(value);
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (d.exponent >= 15 || d.exponent < -9) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        char exponent[16];
        std::snprintf(exponent, sizeof exponent, "E%c%02d", d.exponent < 0 ? '-' : '+',
                      std::abs(d.exponent));
        return out + exponent;
    }
    if (d.exponent < 0)
        return out + "0." + std::string(static_cast<size_t>(-d.exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(d.exponent) + 1;
    if (digits.size() <= whole)
        return out + digits + std::string(whole - digits.size(), '0');
    return out + digits.substr(0, whole) + "." + digits.substr(whole);
}

bool IsDateFormat(const NumberFormat& format) {
    const std::string code = format.code.empty() ? BuiltInFormatCode(format.id) : format.code;
    return HasKind(ParsedSections(code)[0], DatePart);
}

bool FormatCellNumber(double value, const NumberFormat& format, bool date1904, std::string* out) {
    const std::string builtIn = format.code.empty() ? BuiltInFormatCode(format.id) : "";
    const std::string& code = format.code.empty() ? builtIn : format.code;
    if (code.empty() || StartsWithNoCase(code, 0, "GENERAL") || code == "@") {
        *out = GeneralNumber(value);
        // The built-in ids without a code here (currencies, the East Asian
        // dates) depend on the reader's locale: not reproduced.
        return !code.empty() || format.id == 0;
    }
    if (!std::isfinite(value)) {
        *out = GeneralNumber(value);
        return false;
    }
    const std::vector<std::vector<Token>>& sections = ParsedSections(code);
    size_t pick = 0;
    bool minus = false;
    if (value < 0 && sections.size() >= 2)
        pick = 1;
    else if (value == 0 && sections.size() >= 3)
        pick = 2;
    else if (value < 0)
        minus = true;
    const std::vector<Token>& tokens = sections[pick];
    bool ok = !HasKind(tokens, Unsupported);
    std::string shown;
    if (ok && HasKind(tokens, DatePart))
        ok = RenderDate(value, tokens, date1904, &shown);
    else if (ok)
        ok = RenderNumber(std::fabs(value), tokens, &shown);
    if (!ok) {
        *out = GeneralNumber(value);
        return false;
    }
    // A negative number in a one-section format keeps its sign; a section
    // of its own for negatives shows what it says.
    if (minus && !HasKind(tokens, DatePart) &&
        shown.find_first_of("123456789") != std::string::npos)
        shown.insert(0, "-");
    *out = shown;
    return true;
}
