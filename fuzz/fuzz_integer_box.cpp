// The integer box's text when it loses the focus, against the reference model;
// normalising twice changes nothing more.
#include <cstdint>
#include <string>

#include "check.h"
#include "core/text.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzcheck::show;
    if (size == 0) return 0;
    const bool keepZero = data[0] & 1;
    // What a box can hold: a text, which ends at its first zero byte.
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));

    const std::string got = wgs::normalizeIntegerBox(text, keepZero);
    const std::string want = ref::normalizeIntegerBox(text, keepZero);
    FUZZ_CHECK(got == want,
               show(text) + (keepZero ? " keeping zero" : "") + " got " + show(got) + " want " + show(want));
    FUZZ_CHECK(wgs::normalizeIntegerBox(got, keepZero) == got, show(text) + " then " + show(got));
    if (!got.empty() && got != "0") {
        FUZZ_CHECK(wgs::intToText(wgs::textToInt(got)) == got, show(got));
    }
    return 0;
}
