// Reference models for the fuzzers: plain, slow re-statements of the rules
// that the program's conversions and its configuration reader follow, written
// without looking at how the program does it. A fuzzer feeds the same input to
// both and stops at the first difference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ref {

// The program's section and keys, as GBK bytes.
inline const std::string kSection =
    "\xC7\xEB\xCE\xF0\xCB\xE6\xB1\xE3\xD0\xDE\xB8\xC4\xB4\xCB\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE";
inline const std::vector<std::string> kKeys = {
    "\xBF\xED\xB6\xC8",  // width
    "\xB8\xDF\xB6\xC8",  // height
    "\xD7\xF3\xB1\xDF",  // left
    "\xB6\xA5\xB1\xDF",  // top
    "\xB5\xD8\xD6\xB7",  // address
    "\xC3\xFB\xB3\xC6",  // name
};

constexpr std::size_t kMaxValue = 10239;

// ---------------------------------------------------------------- INI lookup
//
// The rules: lines end at CR LF, LF or CR. Blanks are space, tab, VT and FF.
// A line whose first non-blank byte is '[' and that holds a ']' (not as the
// second byte of a GBK double-byte character) names a section: the text up to
// the last such ']', blanks around it dropped. A line holding '=' is a key
// line: the key is the text before the first '=', the value the text after it,
// blanks around each dropped. Everything else is ignored. Names match when they
// are equal after lower-casing the ASCII letters that are not the second byte
// of a double-byte character. The first section of a name is the one used, and
// in it the first key line of a name; keys end at the next section line of
// any name. A value that is enclosed in a pair of equal quotation marks ("..."
// or '...') loses them. At most kMaxValue bytes of value come back, and of
// those only the ones before a zero byte (a text holds none).

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

inline std::string trim(std::string s) {
    while (!s.empty() && isBlank(s.front())) s.erase(s.begin());
    while (!s.empty() && isBlank(s.back())) s.pop_back();
    return s;
}

inline bool isLead(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

// Which bytes of s are second bytes of a double-byte character.
inline std::vector<bool> trailBytes(const std::string& s) {
    std::vector<bool> trail(s.size(), false);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (isLead(s[i]) && i + 1 < s.size()) {
            trail[i + 1] = true;
            ++i;
        }
    }
    return trail;
}

inline std::string fold(const std::string& name) {
    const std::vector<bool> trail = trailBytes(name);
    std::string out = name;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!trail[i] && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    return out;
}

inline std::vector<std::string> lines(const std::string& file) {
    std::vector<std::string> out;
    std::string current;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r' || file[i] == '\n') {
            out.push_back(current);
            current.clear();
            if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
        } else {
            current += file[i];
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

struct Entry {
    enum Kind { Ignored, Section, Key } kind = Ignored;
    std::string name;
    std::string value;  // of a key line, blanks not yet dropped
};

inline Entry classify(const std::string& line) {
    Entry e;
    std::size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    const std::string rest = line.substr(start);
    if (!rest.empty() && rest[0] == '[') {
        // The GBK walk starts after the '['.
        const std::string inside = rest.substr(1);
        const std::vector<bool> trail = trailBytes(inside);
        std::size_t close = std::string::npos;
        for (std::size_t i = 0; i < inside.size(); ++i) {
            if (inside[i] == ']' && !trail[i]) close = i;
        }
        if (close != std::string::npos) {
            e.kind = Entry::Section;
            e.name = trim(inside.substr(0, close));
        }
        return e;
    }
    const std::size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        e.kind = Entry::Key;
        e.name = trim(rest.substr(0, eq));
        e.value = rest.substr(eq + 1);
    }
    return e;
}

inline bool lookup(const std::string& file, const std::string& section, const std::string& key,
                   std::string& value) {
    value.clear();
    const std::string wantSection = fold(trim(section));
    const std::string wantKey = fold(trim(key));
    bool inSection = false;
    bool sectionSeen = false;
    for (const std::string& line : lines(file)) {
        const Entry e = classify(line);
        if (e.kind == Entry::Section) {
            if (inSection) return false;  // the first section of the name has ended
            if (!sectionSeen && fold(e.name) == wantSection) {
                inSection = true;
                sectionSeen = true;
            }
            continue;
        }
        if (!inSection || e.kind != Entry::Key || fold(e.name) != wantKey) continue;
        std::string v = trim(e.value);
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
        if (v.size() > kMaxValue) v.resize(kMaxValue);
        value = v.substr(0, v.find('\0'));
        return true;
    }
    return false;
}

// Every (section, key) name pair that has a key line in the file, first
// occurrences only, names as written.
inline std::vector<std::pair<std::string, std::string>> keysOf(const std::string& file) {
    std::vector<std::pair<std::string, std::string>> out;
    std::string section;
    bool haveSection = false;
    for (const std::string& line : lines(file)) {
        const Entry e = classify(line);
        if (e.kind == Entry::Section) {
            section = e.name;
            haveSection = true;
        } else if (e.kind == Entry::Key && haveSection) {
            out.emplace_back(section, e.name);
        }
    }
    return out;
}

// ------------------------------------------------------------- text to integer
//
// Width folding: a byte below 0x80 stays; a byte of 0x80 or above pairs with
// the next one (a lone one at the end is dropped); A3 A1..FE becomes the second
// byte minus 0x80, A1 A1 a blank, A1 AB '~', A1 EE and A1 EF '*'; other pairs
// stay. Then: white space (09..0D, 20), one sign, the longest run of digits,
// value*10+digit modulo 2^32; a minus negates. A text ends at its first zero.

inline std::string foldWidth(const std::string& text) {
    std::string s = text.substr(0, text.find('\0'));
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char a = static_cast<unsigned char>(s[i]);
        if (a < 0x80) {
            out += s[i];
            i += 1;
            continue;
        }
        if (i + 1 == s.size()) break;
        const unsigned char b = static_cast<unsigned char>(s[i + 1]);
        if (a == 0xA3 && b >= 0xA1 && b <= 0xFE) {
            out += static_cast<char>(b - 0x80);
        } else if (a == 0xA1 && b == 0xA1) {
            out += ' ';
        } else if (a == 0xA1 && b == 0xAB) {
            out += '~';
        } else if (a == 0xA1 && (b == 0xEE || b == 0xEF)) {
            out += '*';
        } else {
            out += s.substr(i, 2);
        }
        i += 2;
    }
    return out;
}

inline std::int32_t textToInt(const std::string& text) {
    const std::string s = foldWidth(text);
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= 9 && s[i] <= 13))) ++i;
    bool minus = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) minus = s[i++] == '-';
    std::uint64_t v = 0;  // kept modulo 2^32
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        v = (v * 10 + static_cast<unsigned>(s[i++] - '0')) % 4294967296u;
    if (minus) v = (4294967296u - v) % 4294967296u;
    return v >= 2147483648u ? static_cast<std::int32_t>(static_cast<std::int64_t>(v) - 4294967296LL)
                            : static_cast<std::int32_t>(v);
}

// ------------------------------------------------------ integer box on leaving
//
// Leading white space, one sign, digits up to the first other byte; the exact
// number clamped to the 32-bit range; nonzero in decimal. Zero is the empty
// text, or "0" when zero is kept and the text holds any digit at all.

inline std::string normalizeIntegerBox(const std::string& text, bool keepZero) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13))) ++i;
    bool minus = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    // Any magnitude beyond 10^10 clamps to the same end, so it is held there.
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<unsigned>(text[i] - '0');
        if (magnitude > 10000000000ULL) magnitude = 10000000000ULL;
    }
    std::int64_t value = minus ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value > 2147483647) value = 2147483647;
    if (value < -2147483648LL) value = -2147483648LL;
    if (value != 0) return std::to_string(value);
    bool digit = false;
    for (char c : text) digit = digit || (c >= '0' && c <= '9');
    return keepZero && digit ? "0" : "";
}

// ------------------------------------------------------------------ calendar
//
// The Gregorian calendar counted day by day from 1 January 100, which is day
// -657434 of the OLE count (days since 30 December 1899).

struct Fields {
    int year, month, day, hour, minute, second;
    bool operator==(const Fields& o) const {
        return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute &&
               second == o.second;
    }
};

inline bool leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

inline int daysIn(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

inline void date(std::int64_t oleDay, int& y, int& m, int& d) {
    std::int64_t rest = oleDay + 657434;  // days after 1 January 100
    y = 100;
    while (rest >= (leap(y) ? 366 : 365)) rest -= leap(y) ? 366 : 365, ++y;
    m = 1;
    while (rest >= daysIn(y, m)) rest -= daysIn(y, m), ++m;
    d = static_cast<int>(rest) + 1;
}

}  // namespace ref
