// Date-time to text and back to fields over the whole valid range: the text
// parses back into the fields of the nearest whole second, in the shortest
// form; the fields are those of the reference calendar; fields turn back into
// a date-time that gives the same fields.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "core/text.h"
#include "reference.h"

namespace {

const std::string kYear = "\xC4\xEA", kMonth = "\xD4\xC2", kDay = "\xC8\xD5";
const std::string kHour = "\xCA\xB1", kMinute = "\xB7\xD6", kSecond = "\xC3\xEB";

// A decimal number without a leading zero (a lone 0 is allowed), then `unit`.
bool number(const std::string& s, std::size_t& at, const std::string& unit, int& out) {
    const std::size_t start = at;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - start < 6) ++at;
    if (at == start || (s[start] == '0' && at - start > 1)) return false;
    out = std::stoi(s.substr(start, at - start));
    if (s.compare(at, unit.size(), unit) != 0) return false;
    at += unit.size();
    return true;
}

// Parses the text back; false when it is not in the documented form.
bool parse(const std::string& s, ref::Fields& f) {
    std::size_t at = 0;
    f = ref::Fields{0, 0, 0, 0, 0, 0};
    if (!number(s, at, kYear, f.year) || !number(s, at, kMonth, f.month) || !number(s, at, kDay, f.day))
        return false;
    if (at == s.size()) return true;  // midnight: the date alone
    if (!number(s, at, kHour, f.hour)) return false;
    if (at == s.size()) return f.hour != 0;
    if (!number(s, at, kMinute, f.minute)) return false;
    if (at == s.size()) return f.minute != 0;
    if (!number(s, at, kSecond, f.second)) return false;
    return at == s.size() && f.second != 0;
}

// The fields of the nearest whole second, `shift` seconds later (for a moment
// that lies too close to half a second to say which way it rounds).
ref::Fields referenceFields(double value, int shift) {
    if (std::isnan(value)) value = 0;
    value = std::fmin(std::fmax(value, -657434.0), 2958465.0);
    // The whole part counts days; the fraction is the time of day, counted
    // forward from that day's midnight also for negative values.
    const long double whole = std::trunc(static_cast<long double>(value));
    const long double moment = whole * 86400 + std::fabs(static_cast<long double>(value) - whole) * 86400;
    const std::int64_t nearest = static_cast<std::int64_t>(std::floor(moment + 0.5L)) + shift;
    std::int64_t day = nearest / 86400;
    std::int64_t second = nearest % 86400;
    if (second < 0) second += 86400, --day;
    ref::Fields f{};
    ref::date(day, f.year, f.month, f.day);
    f.hour = static_cast<int>(second / 3600);
    f.minute = static_cast<int>(second / 60 % 60);
    f.second = static_cast<int>(second % 60);
    return f;
}

bool nearHalfSecond(double value) {
    const long double whole = std::trunc(static_cast<long double>(value));
    const long double seconds = std::fabs(static_cast<long double>(value) - whole) * 86400;
    return std::fabs(seconds - std::floor(seconds) - 0.5L) < 1e-4L;
}

std::string show(const ref::Fields& f) {
    return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) + " " +
           std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" + std::to_string(f.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    double value = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {  // any bit pattern: NaN, infinities, far outside the range
            const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
            std::memcpy(&value, &bits, sizeof value);
            break;
        }
        case 1: {  // a whole second of a day in the range (and a little beyond)
            const std::int64_t day = in.ConsumeIntegralInRange<std::int64_t>(-657436, 2958467);
            const std::int64_t second = in.ConsumeIntegralInRange<std::int64_t>(0, 86399);
            const double time = static_cast<double>(second) / 86400;
            value = day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
            break;
        }
        default:
            value = in.ConsumeFloatingPointInRange<double>(-657440.0, 2958470.0);
            break;
    }

    const wgs::DateTimeFields got = wgs::dateTimeFields(value);
    const ref::Fields fields{got.year, got.month, got.day, got.hour, got.minute, got.second};
    char bits[32];
    std::snprintf(bits, sizeof bits, "%.17g", value);
    const std::string where = std::string("value ") + bits + " fields " + show(fields);

    ref::Fields want = referenceFields(value, 0);
    if (!(fields == want) && nearHalfSecond(value)) {
        // Too close to call: either neighbouring second is right.
        if (fields == referenceFields(value, -1)) want = fields;
        if (fields == referenceFields(value, 1)) want = fields;
    }
    FUZZ_CHECK(fields == want, where + " want " + show(want));

    const std::string text = wgs::dateTimeToText(value);
    ref::Fields parsed{};
    FUZZ_CHECK(parse(text, parsed), where + " text " + fuzzcheck::show(text));
    FUZZ_CHECK(parsed == fields, where + " text " + fuzzcheck::show(text) + " parsed " + show(parsed));
    FUZZ_CHECK(text.size() <= 26, where);
    FUZZ_CHECK(wgs::hourOf(value) == fields.hour && wgs::minuteOf(value) == fields.minute, where);

    const wgs::DateTime again = wgs::dateTimeFromFields(got);
    const wgs::DateTimeFields back = wgs::dateTimeFields(again);
    FUZZ_CHECK(back.year == got.year && back.month == got.month && back.day == got.day &&
                   back.hour == got.hour && back.minute == got.minute && back.second == got.second,
               where + " from fields gave " + bits);
    return 0;
}
