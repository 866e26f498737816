#include "core/text.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace wgs {

namespace {

bool isDecimalSpace(unsigned char byte) {
    return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D);
}

bool isDigit(unsigned char byte) {
    return byte >= '0' && byte <= '9';
}

// Two's complement reinterpretation without relying on implementation-defined
// narrowing of out-of-range values.
std::int32_t wrapToInt32(std::uint32_t bits) {
    if (bits <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        return static_cast<std::int32_t>(bits);
    }
    return -static_cast<std::int32_t>(~bits) - 1;
}

// Full-width forms of the GBK code page (what an input method types by
// default) become their ASCII counterparts, so that "８００" reads as 800.
// A lone lead byte at the very end is dropped.
std::string foldWidth(const Text& text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead == 0) break;  // a text ends at its first zero byte
        if (lead < 0x80) {
            folded.push_back(static_cast<char>(lead));
            continue;
        }
        if (i + 1 >= text.size() || text[i + 1] == '\0') break;
        const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
        ++i;
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            folded.push_back(static_cast<char>(trail - 0x80));
        } else if (lead == 0xA1 && trail == 0xA1) {
            folded.push_back(' ');  // ideographic space
        } else if (lead == 0xA1 && trail == 0xAB) {
            folded.push_back('~');
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            folded.push_back('*');  // white and black star
        } else {
            folded.push_back(static_cast<char>(lead));
            folded.push_back(static_cast<char>(trail));
        }
    }
    return folded;
}

// Leading white space and one optional sign; returns the index of the first
// byte after them and whether the sign was a minus.
std::size_t skipSpaceAndSign(const std::string& s, bool& negative) {
    std::size_t i = 0;
    while (i < s.size() && isDecimalSpace(static_cast<unsigned char>(s[i]))) ++i;
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    return i;
}

// The calendar: days since 30 December 1899 (the OLE day number) to a
// proleptic Gregorian date and back, counted in 400-year eras of 146097 days
// with the year starting on 1 March so that the leap day comes last.
constexpr std::int64_t kDaysPerEra = 146097;
// Days from 1 March of year 0 to 30 December 1899.
constexpr std::int64_t kOleEpochFromMarch0 = 693899;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t oleDayFromDate(std::int64_t year, std::int64_t month, std::int64_t day) {
    // Months beyond 1..12 carry into the year; days beyond the month carry on.
    year += floorDiv(month - 1, 12);
    month = month - 1 - floorDiv(month - 1, 12) * 12 + 1;
    const std::int64_t marchYear = month <= 2 ? year - 1 : year;
    const std::int64_t monthFromMarch = month <= 2 ? month + 9 : month - 3;  // 0 = March
    const std::int64_t era = floorDiv(marchYear, 400);
    const std::int64_t yearOfEra = marchYear - era * 400;                     // 0..399
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;  // 0..365 for valid days
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPerEra + dayOfEra - kOleEpochFromMarch0;
}

void dateFromOleDay(std::int64_t oleDay, int& year, int& month, int& day) {
    const std::int64_t fromMarch0 = oleDay + kOleEpochFromMarch0;
    const std::int64_t era = floorDiv(fromMarch0, kDaysPerEra);
    const std::int64_t dayOfEra = fromMarch0 - era * kDaysPerEra;  // 0..146096
    // Years of the era: every fourth year is a leap year except the last of each
    // century, and the last year of the era (day 146096) is one again.
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / (kDaysPerEra - 1)) / 365;
    const std::int64_t dayOfYear = dayOfEra - (yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;  // 0 = March
    day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = static_cast<int>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
}

constexpr std::int64_t kSecondsPerDay = 86400;

}  // namespace

std::int32_t textToInt(const Text& text) {
    const std::string folded = foldWidth(text);
    bool negative = false;
    std::size_t i = skipSpaceAndSign(folded, negative);
    std::uint32_t value = 0;
    for (; i < folded.size() && isDigit(static_cast<unsigned char>(folded[i])); ++i) {
        value = value * 10u + static_cast<std::uint32_t>(folded[i] - '0');
    }
    if (negative) value = 0u - value;
    return wrapToInt32(value);
}

Text intToText(std::int32_t value) {
    return std::to_string(value);
}

DateTimeFields dateTimeFields(DateTime value) {
    if (std::isnan(value)) value = 0.0;
    if (value < kMinDateTime) value = kMinDateTime;
    if (value > kMaxDateTime) value = kMaxDateTime;

    // The whole part counts days from 30 December 1899; the fraction is the
    // time of day, counted forward from midnight also for negative values
    // (-1.25 is 29 December 1899, 06:00).
    const double wholeDays = std::trunc(value);
    const double dayFraction = std::fabs(value - wholeDays);
    std::int64_t oleDay = static_cast<std::int64_t>(wholeDays);
    // Half a second further from midnight, then down to the whole second: the
    // nearest second. Rounding up past midnight gives the next calendar day,
    // also before 1899 (where the day number grows toward zero).
    std::int64_t second = static_cast<std::int64_t>(std::floor(dayFraction * kSecondsPerDay + 0.5));
    if (second >= kSecondsPerDay) {
        second -= kSecondsPerDay;
        ++oleDay;
    }

    DateTimeFields fields;
    dateFromOleDay(oleDay, fields.year, fields.month, fields.day);
    fields.hour = static_cast<int>(second / 3600);
    fields.minute = static_cast<int>(second / 60 % 60);
    fields.second = static_cast<int>(second % 60);
    return fields;
}

DateTime dateTimeFromFields(const DateTimeFields& fields) {
    // Out-of-range fields carry over (second 60 is the next minute, and so on).
    const std::int64_t seconds = oleDayFromDate(fields.year, fields.month, fields.day) * kSecondsPerDay +
                                 static_cast<std::int64_t>(fields.hour) * 3600 +
                                 static_cast<std::int64_t>(fields.minute) * 60 + fields.second;
    const std::int64_t oleDay = floorDiv(seconds, kSecondsPerDay);
    const double timeOfDay = static_cast<double>(seconds - oleDay * kSecondsPerDay) / kSecondsPerDay;
    return oleDay >= 0 ? static_cast<double>(oleDay) + timeOfDay : static_cast<double>(oleDay) - timeOfDay;
}

Text dateTimeToText(DateTime value) {
    const DateTimeFields f = dateTimeFields(value);
    Text text = std::to_string(f.year) + "年" + std::to_string(f.month) + "月" + std::to_string(f.day) + "日";
    if (f.second != 0) {
        text +=
            std::to_string(f.hour) + "时" + std::to_string(f.minute) + "分" + std::to_string(f.second) + "秒";
    } else if (f.minute != 0) {
        text += std::to_string(f.hour) + "时" + std::to_string(f.minute) + "分";
    } else if (f.hour != 0) {
        text += std::to_string(f.hour) + "时";
    }
    return text;
}

int hourOf(DateTime value) {
    return dateTimeFields(value).hour;
}

int minuteOf(DateTime value) {
    return dateTimeFields(value).minute;
}

Text joinTexts(const Text& a, const Text& b) {
    return a + b;
}

int compareTexts(const Text& a, const Text& b) {
    // std::char_traits<char> compares as unsigned char, which is the order wanted.
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool isEmptyText(const Text& text) {
    return compareTexts(text, Text()) == 0;
}

Text normalizeIntegerBox(const Text& text, bool keepZero) {
    bool negative = false;
    std::size_t i = skipSpaceAndSign(text, negative);
    // The magnitude saturates instead of overflowing; anything beyond the
    // 32-bit range clamps to the same end anyway.
    constexpr std::uint64_t kSaturated =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;
    std::uint64_t magnitude = 0;
    for (; i < text.size() && isDigit(static_cast<unsigned char>(text[i])); ++i) {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
        magnitude = magnitude > (kSaturated - digit) / 10 ? kSaturated : magnitude * 10 + digit;
    }
    std::int64_t value = 0;
    if (negative) {
        value = magnitude >= kSaturated ? std::numeric_limits<std::int64_t>::min()
                                        : -static_cast<std::int64_t>(magnitude);
    } else {
        value = magnitude >= kSaturated ? std::numeric_limits<std::int64_t>::max()
                                        : static_cast<std::int64_t>(magnitude);
    }
    if (value < std::numeric_limits<std::int32_t>::min()) value = std::numeric_limits<std::int32_t>::min();
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    if (value != 0) return intToText(static_cast<std::int32_t>(value));

    bool hasDigit = false;
    for (char c : text) hasDigit = hasDigit || isDigit(static_cast<unsigned char>(c));
    return keepZero && hasDigit ? Text("0") : Text();
}

}  // namespace wgs
