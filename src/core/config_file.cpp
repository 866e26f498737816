#include "core/config_file.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace wgs {

const char* const kConfigSection = "请勿随便修改此配置文件";
const char* const kConfigFileName = "yxq.ini";

namespace {

// A lead byte of a GBK double-byte character; the byte after it is its trail
// byte, which may lie in the ASCII range (0x40..0x7E: letters, '[', '\', ']').
bool isGbkLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool isBlank(unsigned char byte) {
    return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f';
}

// One line of the file: [begin, end) is its content, [end, next) its line break
// (CR LF, LF, CR or nothing at the end of the file).
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

std::vector<Line> splitLines(const std::string& bytes) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        std::size_t end = begin;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
        std::size_t next = end;
        if (next < bytes.size() && bytes[next] == '\r') ++next;
        if (next < bytes.size() && bytes[next] == '\n') ++next;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

std::string trimBlanks(const std::string& s, std::size_t begin, std::size_t end) {
    while (begin < end && isBlank(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && isBlank(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names compare case-insensitively for ASCII letters only. Double-byte
// characters compare exactly: their trail byte may look like an ASCII letter
// (B0 41 is not B0 61).
bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (isGbkLead(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;            // section name or key, blanks dropped
    std::size_t valueBegin = 0;  // of a key line: the bytes after '='
    bool blank = true;           // nothing but blanks
};

ParsedLine parseLine(const std::string& bytes, const Line& line) {
    ParsedLine parsed;
    std::size_t i = line.begin;
    while (i < line.end && isBlank(static_cast<unsigned char>(bytes[i]))) ++i;
    if (i == line.end) return parsed;
    parsed.blank = false;

    if (bytes[i] == '[') {
        // The name runs to the last ']' that is not the trail byte of a
        // double-byte character, so "[a]b]" names "a]b"; without one the line
        // is stray text.
        std::size_t close = line.end;
        for (std::size_t j = i + 1; j < line.end; ++j) {
            const unsigned char byte = static_cast<unsigned char>(bytes[j]);
            if (isGbkLead(byte) && j + 1 < line.end) {
                ++j;
            } else if (byte == ']') {
                close = j;
            }
        }
        if (close != line.end) {
            parsed.kind = LineKind::Section;
            parsed.name = trimBlanks(bytes, i + 1, close);
        }
        return parsed;
    }

    // '=' is never a trail byte, so the first one separates key and value.
    for (std::size_t j = i; j < line.end; ++j) {
        if (bytes[j] == '=') {
            parsed.kind = LineKind::Key;
            parsed.name = trimBlanks(bytes, i, j);
            parsed.valueBegin = j + 1;
            return parsed;
        }
    }
    return parsed;  // text without '=' is no key; it is kept but never matches
}

// Where a section lies in the file: its header line and the lines up to the
// next header.
struct SectionSpan {
    bool found = false;
    std::size_t header = 0;
    std::size_t end = 0;  // index of the next section's header, or the line count
};

SectionSpan findSection(const std::string& bytes, const std::vector<Line>& lines,
                        std::vector<ParsedLine>& parsed, const std::string& section) {
    parsed.clear();
    parsed.reserve(lines.size());
    for (const Line& line : lines) parsed.push_back(parseLine(bytes, line));

    // A duplicate section later in the file is never looked at: the first wins.
    SectionSpan span;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        if (parsed[i].kind != LineKind::Section || !sameName(parsed[i].name, section)) continue;
        span.found = true;
        span.header = i;
        span.end = parsed.size();
        for (std::size_t j = i + 1; j < parsed.size(); ++j) {
            if (parsed[j].kind == LineKind::Section) {
                span.end = j;
                break;
            }
        }
        break;
    }
    return span;
}

std::size_t findKey(const std::vector<ParsedLine>& parsed, const SectionSpan& span, const std::string& key) {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        if (parsed[i].kind == LineKind::Key && sameName(parsed[i].name, key)) return i;
    }
    return span.end;
}

// A value ends at the first line break: written raw it would end the line
// early and turn its remainder into a line of its own. The zero byte ends a
// text anyway.
std::string singleLine(const std::string& value) {
    const std::size_t cut = value.find_first_of(std::string("\r\n\0", 3));
    return cut == std::string::npos ? value : value.substr(0, cut);
}

void dropLeadingControlBytes(std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= 0x20) ++i;
    s.erase(0, i);
}

}  // namespace

namespace ini {

bool lookup(const std::string& fileBytes, const std::string& section, const std::string& key,
            std::string& value) {
    value.clear();
    const std::vector<Line> lines = splitLines(fileBytes);
    std::vector<ParsedLine> parsed;
    // The names in the file are read without the blanks around them, so the
    // names asked for are compared the same way.
    const SectionSpan span = findSection(fileBytes, lines, parsed, trimBlanks(section, 0, section.size()));
    if (!span.found) return false;
    const std::size_t at = findKey(parsed, span, trimBlanks(key, 0, key.size()));
    if (at == span.end) return false;

    std::string found = trimBlanks(fileBytes, parsed[at].valueBegin, lines[at].end);
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
        found.back() == found.front()) {
        found = found.substr(1, found.size() - 2);
    }
    if (found.size() > kMaxValueBytes) found.resize(kMaxValueBytes);
    // A text ends at its first zero byte; a zero byte typed into the file by
    // hand must not travel on inside a caption or an address.
    found.resize(std::min(found.size(), found.find('\0')));
    value = found;
    return true;
}

std::string update(const std::string& fileBytes, const std::string& section, const std::string& key,
                   const std::string& value) {
    static const char kLineBreak[] = "\r\n";
    const std::string keyLine = key + "=" + singleLine(value);
    const std::vector<Line> lines = splitLines(fileBytes);
    std::vector<ParsedLine> parsed;
    const SectionSpan span = findSection(fileBytes, lines, parsed, trimBlanks(section, 0, section.size()));

    if (!span.found) {
        // A new section goes at the end of the file, after a line break of its own
        // if the last line has none.
        std::string out = fileBytes;
        if (!lines.empty() && lines.back().end == lines.back().next) out += kLineBreak;
        return out + "[" + section + "]" + kLineBreak + keyLine + kLineBreak;
    }

    // Without this a key written with a blank at its end would never be found
    // again: every write would add one more line and every read miss them all.
    const std::size_t at = findKey(parsed, span, trimBlanks(key, 0, key.size()));
    if (at != span.end) {
        // Replaced in place: the key keeps its spelling in the file and the line
        // its line break.
        const Line& line = lines[at];
        return fileBytes.substr(0, line.begin) + parsed[at].name + "=" + singleLine(value) +
               fileBytes.substr(line.end);
    }

    // A new key follows the last line of the section that is not blank, so that
    // blank lines before the next section stay between the sections.
    std::size_t last = span.header;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        if (!parsed[i].blank) last = i;
    }
    const Line& after = lines[last];
    std::string out = fileBytes.substr(0, after.next);
    if (after.end == after.next) out += kLineBreak;  // the last line of a file without a final line break
    return out + keyLine + kLineBreak + fileBytes.substr(after.next);
}

}  // namespace ini

void splitProgramPath(const std::string& path, char separator, bool doubleByteAware, std::string& directory,
                      std::string& fileName) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (doubleByteAware && isGbkLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            ++i;  // the trail byte may be 0x5C, the backslash, without being one
        } else if (path[i] == separator) {
            last = i;
        }
    }
    if (last == std::string::npos) {
        directory.clear();
        fileName = path;
        return;
    }
    directory = path.substr(0, last);
    fileName = path.substr(last + 1);
}

ConfigFile::ConfigFile(FileAccess& files, std::string runDirectory, char separator)
    : files_(files), runDirectory_(std::move(runDirectory)), separator_(separator) {}

std::string ConfigFile::path() const {
    return joinTexts(runDirectory_ + separator_, kConfigFileName);
}

Text ConfigFile::read(const Text& key, const Text& defaultValue) const {
    std::string filePath = path();
    std::string section = kConfigSection;
    std::string name = key;
    dropLeadingControlBytes(filePath);
    dropLeadingControlBytes(section);
    dropLeadingControlBytes(name);
    if (filePath.empty() || section.empty() || name.empty()) return Text();

    std::string bytes;
    if (!files_.readFile(filePath, bytes)) return defaultValue;
    std::string value;
    if (!ini::lookup(bytes, section, name, value)) return defaultValue;
    return value;
}

void ConfigFile::write(const Text& key, const Text& value) const {
    const std::string filePath = path();
    std::string bytes;
    if (!files_.readFile(filePath, bytes)) bytes.clear();  // a missing file is created
    // A failed write leaves the old file as it was; nothing is reported.
    files_.replaceFile(filePath, ini::update(bytes, kConfigSection, key, value));
}

}  // namespace wgs
