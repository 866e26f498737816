#include "platform/gtk/gbk.h"

#include <glib.h>
#include <iconv.h>

#include <cerrno>

namespace wgs::gtkbackend {
namespace {

// glibc names the Windows code page itself (0x80 is the euro sign there).
constexpr const char* kCodePage = "CP936";

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns the errno that stopped it (0 at the end).
    int run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[256];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            char* src = const_cast<char*>(in);
            const size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
            in = src;
            out.append(buffer, dst - buffer);
            if (r == static_cast<size_t>(-1) && errno != E2BIG) return errno;
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        return 0;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string gbkToUtf8(const std::string& gbk) {
    std::string out;
    Converter conv("UTF-8", kCodePage);
    if (!conv.ok()) {
        for (unsigned char c : gbk) out += c < 0x80 ? static_cast<char>(c) : '?';
        return out;
    }
    const char* in = gbk.data();
    size_t left = gbk.size();
    while (left > 0) {
        const int err = conv.run(in, left, out);
        if (err == 0) break;
        out += "\xEF\xBF\xBD";     // U+FFFD for the byte that is not a character
        if (err == EINVAL) break;  // a lead byte at the very end
        ++in;
        --left;
    }
    return out;
}

std::string utf8ToGbk(const std::string& utf8) {
    std::string out;
    Converter conv(kCodePage, "UTF-8");
    const char* p = utf8.data();
    const char* end = p + utf8.size();
    while (p < end) {
        // Convert the longest valid run in one go, then deal with what stopped it.
        const char* invalid = nullptr;
        g_utf8_validate(p, end - p, &invalid);
        if (invalid == nullptr) invalid = end;
        const char* in = p;
        size_t left = invalid - p;
        while (left > 0) {
            const int err = conv.ok() ? conv.run(in, left, out) : EILSEQ;
            if (err == 0) break;
            out += '?';  // not representable in code page 936
            const char* next = g_utf8_next_char(in);
            left -= next - in;
            in = next;
        }
        p = invalid;
        if (p < end) {
            out += '?';  // a byte that is not UTF-8
            ++p;
        }
    }
    return out;
}

std::string withUnixLineBreaks(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        out += utf8[i];
    }
    return out;
}

std::string windowsMnemonicsToGtk(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '_') {
            out += "__";
        } else if (c == '&' && i + 1 < utf8.size()) {
            ++i;
            if (utf8[i] == '&') {
                out += '&';
            } else if (utf8[i] == '_') {
                out += "___";  // an underlined underscore
            } else {
                out += '_';
                out += utf8[i];
            }
        } else {
            out += c;
        }
    }
    return out;
}

int gbkOffsetOfChar(const std::string& utf8, int chars) {
    if (chars <= 0) return 0;
    const char* p = utf8.c_str();
    const char* end = p + utf8.size();
    const char* q = p;
    for (int i = 0; i < chars && q < end; ++i) q = g_utf8_next_char(q);
    if (q > end) q = end;
    return static_cast<int>(utf8ToGbk(std::string(p, q)).size());
}

int charOffsetOfGbk(const std::string& utf8, int gbkBytes) {
    if (gbkBytes <= 0) return 0;
    const char* p = utf8.c_str();
    const char* end = p + utf8.size();
    int chars = 0;
    int bytes = 0;
    while (p < end && bytes < gbkBytes) {
        const char* next = g_utf8_next_char(p);
        if (next > end) next = end;
        bytes += static_cast<int>(utf8ToGbk(std::string(p, next)).size());
        p = next;
        ++chars;
    }
    return chars;
}

}  // namespace wgs::gtkbackend
