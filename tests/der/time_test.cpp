// UTCTime and GeneralizedTime contents: the looser forms read, the messages of each fault, and DER's
// form written.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <der/primitives.hpp>
#include <der/time_text.hpp>

namespace {

der::timestamp at(int year, int month, int day, int hour, int minute, int second, std::uint32_t nanoseconds = 0) {
    return der::from_civil({year, month, day, hour, minute, second}, nanoseconds);
}

struct read_case {
    std::string text;
    der::timestamp time;
};
struct refused_case {
    std::string text;
    std::string message;  // without the type name and the text
};

TEST(UtcTime, Reading) {
    const std::vector<read_case> cases = {
        {"4912312359Z", at(2049, 12, 31, 23, 59, 0)},
        {"500101000000Z", at(1950, 1, 1, 0, 0, 0)},
        {"991231235959+0100", at(1999, 12, 31, 22, 59, 59)},
        {"991231235959-0130", at(2000, 1, 1, 1, 29, 59)},
        {"000229000000Z", at(2000, 2, 29, 0, 0, 0)},
        {"991231235960Z", at(2000, 1, 1, 0, 0, 0)},
        // A field ends early at the first character that is not a digit.
        {"99123123595Z", at(1999, 12, 31, 23, 59, 5)},
    };
    for (const auto& c : cases) {
        const auto r = der::read_utc_time(c.text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(*r, c.time) << c.text;
    }
}

TEST(UtcTime, Refused) {
    const std::vector<refused_case> cases = {
        {"", "unexpected end"},
        {"9912312359", "unexpected end"},
        {"99123123", "unexpected end"},
        {"991231235959", "unexpected end"},
        {"991231235959+01", "unexpected end"},
        {"991231235959+", "unexpected end"},
        {"991231235959X", "invalid format"},
        {"991231235959Z ", "invalid format"},
        {"99-2312359Z", "invalid format"},
        {"991231235959.5Z", "invalid format"},
        {"991231235959+01:00", "invalid format"},
        // The syntax is checked before the fields' ranges.
        {"990230000000Zx", "invalid format"},
        {"990230000000Z", "out of range"},
        {"990229000000Z", "out of range"},
        {"990100000000Z", "out of range"},
        {"991300000000Z", "out of range"},
        {"991231240000Z", "out of range"},
        {"991231236000Z", "out of range"},
        {"991231235961Z", "out of range"},
    };
    for (const auto& c : cases) {
        const auto r = der::read_utc_time(c.text);
        ASSERT_FALSE(r.has_value()) << c.text;
        EXPECT_EQ(r.error(), "UTCTime: " + c.message + ": " + c.text);
    }
}

TEST(GeneralizedTime, Reading) {
    const std::vector<read_case> cases = {
        {"2024010112Z", at(2024, 1, 1, 12, 0, 0)},
        {"2024010112", at(2024, 1, 1, 12, 0, 0)},
        {"202401011230Z", at(2024, 1, 1, 12, 30, 0)},
        {"20240101120000", at(2024, 1, 1, 12, 0, 0)},
        {"20240101235960Z", at(2024, 1, 2, 0, 0, 0)},
        {"20240101120000.5Z", at(2024, 1, 1, 12, 0, 0, 500'000'000)},
        {"20240101120000.05Z", at(2024, 1, 1, 12, 0, 0, 50'000'000)},
        {"20240101120000.123Z", at(2024, 1, 1, 12, 0, 0, 123'000'000)},
        {"20240101120000.120", at(2024, 1, 1, 12, 0, 0, 120'000'000)},
        {"20240101120000+0130", at(2024, 1, 1, 10, 30, 0)},
        {"20240101003000.250-0045", at(2024, 1, 1, 1, 15, 0, 250'000'000)},
        {"20000229000000Z", at(2000, 2, 29, 0, 0, 0)},
        {"24000229000000Z", at(2400, 2, 29, 0, 0, 0)},
        {"00000101000000Z", at(0, 1, 1, 0, 0, 0)},
        {"99991231235959.999Z", at(9999, 12, 31, 23, 59, 59, 999'000'000)},
    };
    for (const auto& c : cases) {
        const auto r = der::read_generalized_time(c.text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(*r, c.time) << c.text;
    }
}

TEST(GeneralizedTime, Refused) {
    const std::vector<refused_case> cases = {
        {"", "unexpected end"},
        {"202401", "unexpected end"},
        {"20240101", "unexpected end"},
        {"20240101120000.", "unexpected end"},
        {"20240101120000+01", "unexpected end"},
        {"20240101120000-", "unexpected end"},
        // More than three digits of fraction are refused, not cut.
        {"20240101120000.1234Z", "invalid format"},
        {"20240101120000.Z", "invalid format"},
        {"202401011200.5Z", "invalid format"},
        {"20240101120000Z1", "invalid format"},
        {"20240101120000+0A00", "invalid format"},
        {"2024-01-01T12:00:00Z", "invalid format"},
        {"20230229000000Z", "out of range"},
        {"19000229000000Z", "out of range"},
        {"20241301000000Z", "out of range"},
        {"20240101250000Z", "out of range"},
        // The instant must stay inside years 0000 to 9999, after the zone offset and the fraction.
        {"99991231235960Z", "out of range"},
        {"99991231235959-0001", "out of range"},
        {"00000101000000+0001", "out of range"},
        {"00000101000000+9999", "out of range"},
        {"99991231000000-9999", "out of range"},
    };
    for (const auto& c : cases) {
        const auto r = der::read_generalized_time(c.text);
        ASSERT_FALSE(r.has_value()) << c.text;
        EXPECT_EQ(r.error(), "GeneralizedTime: " + c.message + ": " + c.text);
    }
}

// The instant as year-month-dayThh:mm:ss, with ".mmm" when it has a sub-second part.
std::string utc_text(der::timestamp t) {
    const der::civil_time c = der::to_civil(t);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                                c.minute, c.second);
    std::string out(text, static_cast<std::size_t>(n));
    if (t.nanoseconds != 0) {
        std::snprintf(text, sizeof text, ".%03u", static_cast<unsigned>(t.nanoseconds / 1'000'000));
        out += text;
    }
    return out;
}

// Only the date-time fields are bounded: the zone's hh and mm may be any two digits, the offset being
// sign x (hh x 3600 + mm x 60) seconds.
TEST(Time, ZoneFieldsAreNotBounded) {
    struct zone_case {
        der::result<der::timestamp> (*read)(std::string_view);
        std::string text;
        std::string instant;
    };
    const std::vector<zone_case> cases = {
        {der::read_utc_time, "991231235959+2400", "1999-12-30T23:59:59"},
        {der::read_utc_time, "991231235959+0060", "1999-12-31T22:59:59"},
        {der::read_utc_time, "991231235959-9999", "2000-01-05T04:38:59"},
        {der::read_utc_time, "4912312359+0099", "2049-12-31T22:20:00"},
        {der::read_utc_time, "500101000000-2400", "1950-01-02T00:00:00"},
        {der::read_generalized_time, "20240101120000+0099", "2024-01-01T10:21:00"},
        {der::read_generalized_time, "20240101120000-9959", "2024-01-05T15:59:00"},
        {der::read_generalized_time, "20240101120000.5+4800", "2023-12-30T12:00:00.500"},
        {der::read_generalized_time, "2024010123+9999", "2023-12-28T18:21:00"},
    };
    for (const auto& c : cases) {
        const auto r = c.read(c.text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(utc_text(*r), c.instant) << c.text;
    }
}

struct write_case {
    der::timestamp time;
    std::string text;
};

TEST(GeneralizedTime, Writing) {
    const std::vector<write_case> cases = {
        {at(2024, 1, 2, 3, 4, 5), "20240102030405Z"},
        {at(1999, 12, 31, 23, 59, 59, 999'000'000), "19991231235959.999Z"},
        {at(2024, 1, 1, 12, 0, 0, 500'000'000), "20240101120000.500Z"},
        {at(2024, 1, 1, 12, 0, 0, 1'500'000), "20240101120000.001Z"},
        {at(2024, 1, 1, 12, 0, 0, 400), "20240101120000.000Z"},
        {at(0, 1, 1, 0, 0, 0), "00000101000000Z"},
        {at(9999, 12, 31, 23, 59, 59), "99991231235959Z"},
        {at(1969, 12, 31, 23, 59, 59, 1'000'000), "19691231235959.001Z"},
        // Outside the timestamp range the nearest instant the text can hold is written.
        {at(10000, 1, 1, 0, 0, 0), "99991231235959.999Z"},
        {at(-1, 12, 31, 23, 59, 59), "00000101000000Z"},
    };
    for (const auto& c : cases) {
        std::string out;
        der::write_generalized_time(out, c.time);
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(der::generalized_time_size(c.time), out.size());
    }
}

TEST(UtcTime, Writing) {
    const std::vector<write_case> cases = {
        {at(1999, 12, 31, 23, 59, 59), "991231235959Z"},
        {at(2024, 1, 2, 3, 4, 5, 999'999'999), "240102030405Z"},
        {at(1950, 1, 1, 0, 0, 0), "500101000000Z"},
        {at(2049, 12, 31, 23, 59, 59), "491231235959Z"},
        // Two-digit years cannot leave 1950..2049: the nearest end of the window is written.
        {at(2050, 1, 1, 0, 0, 0), "491231235959Z"},
        {at(1949, 12, 31, 23, 59, 59), "500101000000Z"},
        {at(9999, 1, 1, 0, 0, 0), "491231235959Z"},
    };
    for (const auto& c : cases) {
        std::string out;
        der::write_utc_time(out, c.time);
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(der::utc_time_size(c.time), out.size());
    }
}

// What the writers produce reads back as the same instant, to the millisecond.
TEST(Time, WrittenTextsReadBack) {
    for (const auto& t : {at(2024, 2, 29, 13, 14, 15, 16'000'000), at(0, 1, 1, 0, 0, 0, 1'000'000),
                          at(9999, 12, 31, 23, 59, 59, 999'000'000), at(1970, 1, 1, 0, 0, 0)}) {
        std::string g;
        der::write_generalized_time(g, t);
        EXPECT_EQ(der::read_generalized_time(g), t) << g;
    }
    const auto t = at(2033, 7, 8, 9, 10, 11);
    std::string u;
    der::write_utc_time(u, t);
    EXPECT_EQ(der::read_utc_time(u), t);
}

// The one text of a timestamp, in both layouts and each fraction, for any instant an int64 holds.
TEST(TimeText, LayoutsAndFractions) {
    using der::time_fraction;
    using der::time_layout;
    struct text_case {
        der::timestamp time;
        time_layout layout;
        time_fraction fraction;
        std::string text;
    };
    const std::vector<text_case> cases = {
        {at(2024, 1, 2, 3, 4, 5, 120'000'000), time_layout::generalized, time_fraction::none, "20240102030405Z"},
        {at(2024, 1, 2, 3, 4, 5, 120'000'000), time_layout::generalized, time_fraction::milliseconds, "20240102030405.120Z"},
        {at(2024, 1, 2, 3, 4, 5, 120'000'000), time_layout::rfc3339, time_fraction::none, "2024-01-02T03:04:05-00:00"},
        {at(2024, 1, 2, 3, 4, 5, 120'000'000), time_layout::rfc3339, time_fraction::exact, "2024-01-02T03:04:05.120-00:00"},
        {at(2024, 1, 2, 3, 4, 5, 120'500'000), time_layout::rfc3339, time_fraction::exact, "2024-01-02T03:04:05.120500-00:00"},
        {at(2024, 1, 2, 3, 4, 5, 7), time_layout::rfc3339, time_fraction::exact, "2024-01-02T03:04:05.000000007-00:00"},
        {at(2024, 1, 2, 3, 4, 5, 7), time_layout::generalized, time_fraction::milliseconds, "20240102030405.000Z"},
        {at(2024, 1, 2, 3, 4, 5), time_layout::rfc3339, time_fraction::exact, "2024-01-02T03:04:05-00:00"},
        // A sub-second part of a second or more carries into the seconds.
        {at(2024, 1, 2, 3, 4, 5, 1'250'000'000), time_layout::generalized, time_fraction::milliseconds, "20240102030406.250Z"},
        // Outside the years 0000 to 9999 the year is written in full.
        {at(-1, 12, 31, 23, 59, 59), time_layout::rfc3339, time_fraction::none, "-0001-12-31T23:59:59-00:00"},
        {at(10000, 1, 1, 0, 0, 0), time_layout::generalized, time_fraction::none, "100000101000000Z"},
        {{INT64_MAX, 999'999'999}, time_layout::generalized, time_fraction::milliseconds, "2922770265961204153007.999Z"},
        {{INT64_MIN, 0}, time_layout::rfc3339, time_fraction::none, "-292277022657-01-27T08:29:52-00:00"},
    };
    for (const auto& c : cases) EXPECT_EQ(der::write_time_text(c.time, c.layout, c.fraction).view(), c.text) << c.text;
}

}  // namespace
