// Text to integer against the reference model (full-width folding, a
// locale-free decimal read, 32-bit wrap-around), and integer to text and back.
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "core/text.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using fuzzcheck::show;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::int32_t got = wgs::textToInt(text);
    const std::int32_t want = ref::textToInt(text);
    FUZZ_CHECK(got == want, show(text) + " got " + std::to_string(got) + " want " + std::to_string(want));

    if (size >= 4) {
        std::int32_t number;
        std::memcpy(&number, data, sizeof number);
        const std::string decimal = wgs::intToText(number);
        FUZZ_CHECK(decimal == std::to_string(number), std::to_string(number) + " gave " + show(decimal));
        FUZZ_CHECK(wgs::textToInt(decimal) == number, show(decimal));
        // Written as the configuration file holds it, after blanks and with
        // trailing text, it still reads as the same number.
        FUZZ_CHECK(wgs::textToInt(" \t" + decimal + "px") == number, show(decimal));
    }
    return 0;
}
