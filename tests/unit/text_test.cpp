// Conversions between texts, integers and date-times.
#include "core/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

namespace wgs {
namespace {

// Full-width forms are written in UTF-8 here and are GBK bytes in the program.
TEST(TextToInt, FullWidthLiteralsAreGbk) {
    EXPECT_EQ(std::string("０２３"), "\xA3\xB0\xA3\xB2\xA3\xB3");
    EXPECT_EQ(std::string("　"), "\xA1\xA1");
    EXPECT_EQ(std::string("五"), "\xCE\xE5");
}

struct IntCase {
    const char* input;
    std::int32_t expected;
};

TEST(TextToInt, ReadsLeadingDecimalWithWrapAround) {
    const IntCase cases[] = {
        {"", 0},
        {"23abc", 23},
        {" 7", 7},
        {"\t42", 42},
        {"\n\v\f\r 9", 9},
        {"-5", -5},
        {"+5", 5},
        {"007", 7},
        {"12.7", 12},
        {"1 2", 1},
        {"abc", 0},
        {"0x1A", 0},
        {"1e3", 1},
        {"- 5", 0},
        {"+-5", 0},
        {"--5", 0},
        {"０２３", 23},
        {"－５", -5},
        {"＋７", 7},
        {"　８", 8},
        {"１２３abc", 123},
        {"８００", 800},
        {"2147483647", 2147483647},
        {"2147483648", INT32_MIN},
        {"-2147483648", INT32_MIN},
        {"-2147483649", 2147483647},
        {"4294967296", 0},
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},  // 10^20 - 1 modulo 2^32
        {"12\xB0", 12},                        // a lone lead byte at the end
        {"\xB0", 0},
        {"5五", 5},
        {"五5", 0},
        {"～5", 0},  // a folded tilde is still no digit
        {"\xA3", 0},
    };
    for (const IntCase& c : cases) EXPECT_EQ(textToInt(c.input), c.expected) << '"' << c.input << '"';
}

TEST(TextToInt, StopsAtAnEmbeddedZeroByte) {
    EXPECT_EQ(textToInt(std::string("12\0"
                                    "34",
                                    5)),
              12);
    EXPECT_EQ(textToInt(std::string("1\xB0\0"
                                    "5",
                                    4)),
              1);
}

TEST(IntToText, DecimalWithoutPadding) {
    EXPECT_EQ(intToText(0), "0");
    EXPECT_EQ(intToText(-8), "-8");
    EXPECT_EQ(intToText(900), "900");
    EXPECT_EQ(intToText(INT32_MIN), "-2147483648");
    EXPECT_EQ(intToText(INT32_MAX), "2147483647");
}

DateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    DateTimeFields f;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    f.second = second;
    return dateTimeFromFields(f);
}

std::string show(const DateTimeFields& f) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buffer;
}

struct DateCase {
    int year, month, day, hour, minute, second;
    double ole;  // the OLE Automation date of that moment
};

TEST(DateTime, FieldsRoundTripAndMatchTheOleDayNumbers) {
    const DateCase cases[] = {
        {100, 1, 1, 0, 0, 0, -657434.0},
        {100, 1, 2, 12, 0, 0, -657433.5},
        {1600, 2, 29, 0, 0, 0, -109512.0},
        {1700, 3, 1, 6, 0, 0, -72987.25},
        {1899, 12, 29, 6, 0, 0, -1.25},
        {1899, 12, 29, 18, 0, 0, -1.75},
        {1899, 12, 30, 0, 0, 0, 0.0},
        {1899, 12, 30, 12, 0, 0, 0.5},
        {1899, 12, 31, 0, 0, 0, 1.0},
        {1900, 1, 1, 0, 0, 0, 2.0},
        {1900, 2, 28, 0, 0, 0, 60.0},
        {1900, 3, 1, 0, 0, 0, 61.0},
        {2000, 2, 29, 18, 0, 0, 36585.75},
        {2012, 12, 30, 14, 5, 7, 41273.0 + (14 * 3600 + 5 * 60 + 7) / 86400.0},
        {9999, 12, 31, 0, 0, 0, 2958465.0},
    };
    for (const DateCase& c : cases) {
        DateTimeFields f;
        f.year = c.year;
        f.month = c.month;
        f.day = c.day;
        f.hour = c.hour;
        f.minute = c.minute;
        f.second = c.second;
        EXPECT_NEAR(dateTimeFromFields(f), c.ole, 1e-9) << show(f);
        EXPECT_EQ(show(dateTimeFields(c.ole)), show(f)) << c.ole;
        EXPECT_EQ(show(dateTimeFields(dateTimeFromFields(f))), show(f));
    }
}

TEST(DateTime, EverySecondOfADayRoundTrips) {
    for (int year : {100, 1899, 1900, 2012}) {
        for (int second = 0; second < 86400; second += 7) {
            DateTimeFields f;
            f.year = year;
            f.month = year == 1899 ? 12 : 3;
            f.day = year == 1899 ? 28 : 1;
            f.hour = second / 3600;
            f.minute = second / 60 % 60;
            f.second = second % 60;
            ASSERT_EQ(show(dateTimeFields(dateTimeFromFields(f))), show(f));
        }
    }
}

TEST(DateTime, RoundsToTheNearestSecond) {
    const double tenths = 1.0 / 864000.0;
    // 23:59:59.6 is already midnight of the next day.
    const DateTime lateEvening = at(2012, 12, 30, 23, 59, 59) + 6 * tenths;
    EXPECT_EQ(hourOf(lateEvening), 0);
    EXPECT_EQ(minuteOf(lateEvening), 0);
    EXPECT_EQ(show(dateTimeFields(lateEvening)), "2012-12-31 00:00:00");
    EXPECT_EQ(show(dateTimeFields(at(2012, 12, 30, 14, 5, 7) + 4 * tenths)), "2012-12-30 14:05:07");
    EXPECT_EQ(show(dateTimeFields(at(2012, 12, 30, 14, 5, 7) + 5 * tenths)), "2012-12-30 14:05:08");
    // Before 1899 the fraction still counts forward from the day's midnight, and
    // rounding past midnight still reaches the next day, not an earlier one.
    EXPECT_EQ(show(dateTimeFields(-1.0 - (86399.6 / 86400.0))), "1899-12-30 00:00:00");
    EXPECT_EQ(show(dateTimeFields(-(86399.6 / 86400.0))), "1899-12-31 00:00:00");
    EXPECT_EQ(show(dateTimeFields(-1.0 - (3600.45 / 86400.0))), "1899-12-29 01:00:00");
    EXPECT_EQ(show(dateTimeFields(-1.0 - (3600.55 / 86400.0))), "1899-12-29 01:00:01");
}

TEST(DateTime, ClampsToTheValidRange) {
    EXPECT_EQ(show(dateTimeFields(1e12)), "9999-12-31 00:00:00");
    EXPECT_EQ(show(dateTimeFields(2958465.99)), "9999-12-31 00:00:00");
    EXPECT_EQ(show(dateTimeFields(-1e12)), "0100-01-01 00:00:00");
    // The ends of the range are midnight: the rest of their day lies outside.
    EXPECT_EQ(show(dateTimeFields(-657434.5)), "0100-01-01 00:00:00");
    EXPECT_EQ(show(dateTimeFields(INFINITY)), "9999-12-31 00:00:00");
    EXPECT_EQ(show(dateTimeFields(-INFINITY)), "0100-01-01 00:00:00");
    EXPECT_EQ(show(dateTimeFields(NAN)), "1899-12-30 00:00:00");
}

TEST(DateTime, FieldsOutOfRangeCarryOver) {
    EXPECT_EQ(show(dateTimeFields(at(2012, 12, 31, 23, 59, 60))), "2013-01-01 00:00:00");
    EXPECT_EQ(show(dateTimeFields(at(2012, 13, 1))), "2013-01-01 00:00:00");
    EXPECT_EQ(show(dateTimeFields(at(2013, 2, 29))), "2013-03-01 00:00:00");
    EXPECT_EQ(show(dateTimeFields(at(1899, 12, 30, 0, 0, -1))), "1899-12-29 23:59:59");
}

TEST(DateTimeToText, DateThenTheShortestTimeOfDay) {
    struct Case {
        DateTime moment;
        const char* text;
    };
    const Case cases[] = {
        {at(2012, 12, 30, 14, 5, 7), "2012年12月30日14时5分7秒"},
        {at(2012, 12, 30, 14, 5, 0), "2012年12月30日14时5分"},
        {at(2012, 12, 30, 14, 0, 0), "2012年12月30日14时"},
        {at(2012, 12, 30, 0, 0, 0), "2012年12月30日"},
        {at(2012, 12, 30, 0, 0, 7), "2012年12月30日0时0分7秒"},
        {at(2012, 12, 30, 0, 5, 0), "2012年12月30日0时5分"},
        {at(2012, 12, 30, 14, 0, 7), "2012年12月30日14时0分7秒"},
        {at(2013, 1, 5, 9, 3, 0), "2013年1月5日9时3分"},
        {at(2012, 12, 30, 23, 59, 59) + 0.6 / 86400.0, "2012年12月31日"},
        {-1.25, "1899年12月29日6时"},
        {kMinDateTime, "100年1月1日"},
    };
    for (const Case& c : cases) EXPECT_EQ(dateTimeToText(c.moment), c.text);
    EXPECT_EQ(std::string("年月日时分秒"), "\xC4\xEA\xD4\xC2\xC8\xD5\xCA\xB1\xB7\xD6\xC3\xEB");
    EXPECT_EQ(dateTimeToText(at(2012, 12, 30, 23, 59, 59)).size(), 26u);
}

TEST(JoinAndCompare, JoinsAndComparesBytesAsUnsigned) {
    EXPECT_EQ(joinTexts("", "\\yxq.ini"), "\\yxq.ini");
    EXPECT_EQ(joinTexts("", "   V1.3"), "   V1.3");
    EXPECT_EQ(joinTexts("D:\\Games", "\\yxq.ini"), "D:\\Games\\yxq.ini");
    EXPECT_EQ(joinTexts("", ""), "");

    EXPECT_EQ(compareTexts("", ""), 0);
    EXPECT_EQ(compareTexts("abc", "abc"), 0);
    EXPECT_EQ(compareTexts("abc", "abd"), -1);
    EXPECT_EQ(compareTexts("b", "abc"), 1);
    EXPECT_EQ(compareTexts("ab", "abc"), -1);
    EXPECT_EQ(compareTexts("abc", "ab"), 1);
    EXPECT_EQ(compareTexts("\xB0", "a"), 1);  // bytes of 0x80 and above sort last
    EXPECT_EQ(compareTexts("a", "\xB0"), -1);

    EXPECT_TRUE(isEmptyText(""));
    EXPECT_TRUE(isEmptyText(Text()));
    EXPECT_FALSE(isEmptyText(" "));
    EXPECT_FALSE(isEmptyText("0"));
}

TEST(NormalizeIntegerBox, WhatAnIntegerBoxShowsWhenItLosesTheFocus) {
    struct Case {
        const char* input;
        const char* plain;     // an ordinary integer box
        const char* keepZero;  // a box in which 0 is a value of its own
    };
    const Case cases[] = {
        {"", "", ""},
        {"0", "", "0"},
        {"00", "", "0"},
        {"-0", "", "0"},
        {"+0", "", "0"},
        {"-", "", ""},
        {"+", "", ""},
        {"abc", "", ""},
        {" ", "", ""},
        {"007", "7", "7"},
        {"23", "23", "23"},
        {"-8", "-8", "-8"},
        {" 12abc", "12", "12"},
        {"\t-3x", "-3", "-3"},
        {"12.7", "12", "12"},
        {"- 5", "", "0"},  // a digit, but it is not read: 0
        {"2147483647", "2147483647", "2147483647"},
        {"2147483648", "2147483647", "2147483647"},
        {"4294967296", "2147483647", "2147483647"},
        {"-2147483648", "-2147483648", "-2147483648"},
        {"-99999999999", "-2147483648", "-2147483648"},
        {"9223372036854775807", "2147483647", "2147483647"},
        {"9223372036854775808", "2147483647", "2147483647"},
        {"-9223372036854775808", "-2147483648", "-2147483648"},
        {"99999999999999999999999999999999", "2147483647", "2147483647"},
        {"-99999999999999999999999999999999", "-2147483648", "-2147483648"},
        {"０", "", ""},  // full-width digits are not read here
    };
    for (const Case& c : cases) {
        EXPECT_EQ(normalizeIntegerBox(c.input), c.plain) << '"' << c.input << '"';
        EXPECT_EQ(normalizeIntegerBox(c.input, true), c.keepZero) << '"' << c.input << "\" keeping zero";
    }
}

}  // namespace
}  // namespace wgs
