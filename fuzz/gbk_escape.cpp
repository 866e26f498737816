// Copies a C++ source file, rewriting every non-ASCII character inside a
// narrow string literal as the \x escapes of its GBK bytes.
//
// The program's sources hold their Chinese literals in UTF-8 and are built
// with -fexec-charset=GBK, which clang does not support. The fuzzers are built
// with clang (libFuzzer's coverage needs it), so their build runs the very same
// sources through this filter first: "名称" becomes "\xC3\xFB\xB3\xC6", the
// bytes g++ would have put into the program. Comments and code outside
// literals are copied unchanged; a Chinese character literal, a prefixed or a
// raw literal with Chinese inside, or a character that GBK cannot encode stops
// the build, as it would with g++.
//
// Usage: gbk_escape INPUT OUTPUT
#include <iconv.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& file, std::size_t line, const std::string& what) {
    std::cerr << file << ":" << line << ": gbk_escape: " << what << "\n";
    std::exit(1);
}

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    return 0;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isIdentifierChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The GBK bytes of one UTF-8 character, or false when GBK has no such character.
bool toGbk(iconv_t cd, const std::string& utf8, std::string& gbk) {
    char out[8];
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return false;
    gbk.assign(out, static_cast<std::size_t>(outPtr - out));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: gbk_escape INPUT OUTPUT\n";
        return 2;
    }
    const std::string file = argv[1];
    std::ifstream in(file, std::ios::binary);
    if (!in) fail(file, 0, "cannot read");
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string src = buffer.str();

    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) fail(file, 0, "iconv has no GBK");

    enum class State { Code, LineComment, BlockComment, String, Char, Raw };
    State state = State::Code;
    std::string out;
    out.reserve(src.size() + src.size() / 8);
    std::size_t line = 1;
    bool prefixed = false;        // the literal has an encoding prefix (L, u, U, u8)
    bool afterOwnEscape = false;  // the last bytes written are a \x escape of ours
    std::string rawEnd;           // )delimiter" of a raw literal

    for (std::size_t i = 0; i < src.size(); ++i) {
        const char c = src[i];
        if (c == '\n') ++line;
        switch (state) {
            case State::Code:
                if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
                    state = State::LineComment;
                } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
                    out += "/*";
                    ++i;
                    state = State::BlockComment;
                    continue;
                } else if (c == '"' || c == '\'') {
                    // The identifier right before the quote, if any, is its prefix.
                    std::size_t p = i;
                    while (p > 0 && isIdentifierChar(src[p - 1])) --p;
                    const std::string prefix = src.substr(p, i - p);
                    const bool raw = !prefix.empty() && prefix.back() == 'R' &&
                                     (prefix == "R" || prefix == "LR" || prefix == "uR" || prefix == "UR" ||
                                      prefix == "u8R");
                    prefixed = prefix == "L" || prefix == "u" || prefix == "U" || prefix == "u8" || raw;
                    if (c == '"' && raw) {
                        const std::size_t open = src.find('(', i);
                        if (open == std::string::npos) fail(file, line, "unterminated raw literal");
                        rawEnd = ")" + src.substr(i + 1, open - i - 1) + "\"";
                        out.append(src, i, open - i + 1);
                        i = open;
                        state = State::Raw;
                        continue;
                    }
                    state = c == '"' ? State::String : State::Char;
                    afterOwnEscape = false;
                }
                out += c;
                break;
            case State::LineComment:
                if (c == '\n') state = State::Code;
                out += c;
                break;
            case State::BlockComment:
                if (c == '*' && i + 1 < src.size() && src[i + 1] == '/') {
                    out += "*/";
                    ++i;
                    state = State::Code;
                    continue;
                }
                out += c;
                break;
            case State::Raw:
                if (static_cast<unsigned char>(c) >= 0x80)
                    fail(file, line, "non-ASCII text in a raw literal");
                if (src.compare(i, rawEnd.size(), rawEnd) == 0) {
                    out += rawEnd;
                    i += rawEnd.size() - 1;
                    state = State::Code;
                    continue;
                }
                out += c;
                break;
            case State::String:
            case State::Char: {
                const unsigned char byte = static_cast<unsigned char>(c);
                if (byte >= 0x80) {
                    if (state == State::Char) fail(file, line, "non-ASCII character literal");
                    if (prefixed) fail(file, line, "non-ASCII text in a prefixed literal");
                    const std::size_t length = utf8Length(byte);
                    if (length == 0 || i + length > src.size()) fail(file, line, "invalid UTF-8");
                    std::string gbk;
                    if (!toGbk(cd, src.substr(i, length), gbk))
                        fail(file, line, "character without a GBK encoding");
                    for (unsigned char b : gbk) {
                        char escape[5];
                        std::snprintf(escape, sizeof escape, "\\x%02X", b);
                        out += escape;
                    }
                    i += length - 1;
                    afterOwnEscape = true;
                    continue;
                }
                if (afterOwnEscape && isHexDigit(c)) out += "\" \"";  // a hex digit would extend our escape
                afterOwnEscape = false;
                if (c == '\\' && i + 1 < src.size()) {
                    out += c;
                    out += src[++i];
                    if (src[i] == '\n') ++line;
                    continue;
                }
                if ((state == State::String && c == '"') || (state == State::Char && c == '\''))
                    state = State::Code;
                if (c == '\n') fail(file, line, "unterminated literal");
                out += c;
                break;
            }
        }
    }
    iconv_close(cd);
    if (state == State::String || state == State::Char) fail(file, line, "unterminated literal at the end");

    std::ofstream o(argv[2], std::ios::binary);
    o << out;
    return o ? 0 : 1;
}
