// A failed check in a fuzz target: print what differed and abort, so that
// libFuzzer saves the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzcheck {

inline std::string show(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s.substr(0, 200)) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (s.size() > 200) out += "...(" + std::to_string(s.size()) + " bytes)";
    return out + "\"";
}

[[noreturn]] inline void fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, what, detail.c_str());
    std::abort();
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(cond, detail)                                                      \
    do {                                                                              \
        if (!(cond)) fuzzcheck::fail(__FILE__, __LINE__, #cond, std::string(detail)); \
    } while (0)
