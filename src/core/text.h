// Texts, integers and date-times, and the conversions between them.
//
// A text is a byte string in code page 936 (GBK) held as std::string: the
// null text and the empty text are the same value, and every result is a new
// value owned by the caller.
#pragma once

#include <cstdint>
#include <string>

#include "core/gbk_literals.h"

namespace wgs {

using Text = std::string;

// Local date and time as days since 30 December 1899 (the OLE Automation date).
using DateTime = double;

constexpr DateTime kMinDateTime = -657434.0;  // 1 January 100
constexpr DateTime kMaxDateTime = 2958465.0;  // 31 December 9999

struct DateTimeFields {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Leading full-width forms fold to ASCII, then a locale-free decimal read with
// 32-bit wrap-around; no digits give 0.
std::int32_t textToInt(const Text& text);
Text intToText(std::int32_t value);

// Clamped to the valid range, rounded to the nearest whole second, split by
// the proleptic Gregorian calendar.
DateTimeFields dateTimeFields(DateTime value);
DateTime dateTimeFromFields(const DateTimeFields& fields);
// Date, then the time of day in its shortest form: 2012年12月30日14时5分7秒.
Text dateTimeToText(DateTime value);
int hourOf(DateTime value);
int minuteOf(DateTime value);

Text joinTexts(const Text& a, const Text& b);
int compareTexts(const Text& a, const Text& b);
bool isEmptyText(const Text& text);

// What an integer edit box shows once it loses the focus: a 64-bit decimal read
// clamped to 32 bits, with 0 shown as the empty text. With `keepZero`, a text
// that holds a digit and reads as 0 shows "0" instead; without any digit it
// still empties.
Text normalizeIntegerBox(const Text& text, bool keepZero = false);

}  // namespace wgs
