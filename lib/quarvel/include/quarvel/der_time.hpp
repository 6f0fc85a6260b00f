#pragma once
/// \file
/// The timestamp kind: an instant on the UTC time line, held to the nanosecond. DER keeps less: whole
/// milliseconds, of the years 0000 to 9999 (see `timestamp`).
/// Whole seconds and the sub-second part are kept apart: one int64 of nanoseconds cannot span the range.
/// A program names the kind `quarvel::timestamp` (<quarvel/basic.hpp>); the calendar helpers here are those
/// the codec writes and reads GeneralizedTime with.

#include <compare>
#include <cstdint>
#include <optional>

namespace quarvel::der {

/// An instant on the UTC time line, held to the nanosecond. Written as GeneralizedTime it keeps whole
/// milliseconds, the rest dropped toward the past (.123456789 reads back as .123, .000999 as a whole
/// second), and the range 0000-01-01T00:00:00 to 9999-12-31T23:59:59.999: the writer puts an instant
/// outside it at the nearest end, and a sub-second part of a second or more at .999. The readers refuse
/// a time outside the range, whatever its zone offset.
struct timestamp {
    std::int64_t seconds = 0;      ///< since 1970-01-01T00:00:00 UTC, may be negative
    std::uint32_t nanoseconds = 0; ///< 0 .. 999'999'999, always toward the future from `seconds`

    friend auto operator<=>(const timestamp&, const timestamp&) = default;
};

/// A UTC calendar date and time of day (proleptic Gregorian).
struct civil_time {
    int year = 1970;  ///< the year
    int month = 1;    ///< 1 to 12
    int day = 1;      ///< 1 to 31
    int hour = 0;     ///< 0 to 23
    int minute = 0;   ///< 0 to 59
    int second = 0;   ///< 0 to 59
    friend bool operator==(const civil_time&, const civil_time&) = default;
};

/// Seconds in a day (UTC has no leap seconds here).
inline constexpr std::int64_t seconds_per_day = 86'400;

/// Whether `year` is a leap year of the proleptic Gregorian calendar.
constexpr bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

/// The days of `month` (1 to 12) in `year`.
constexpr int days_in_month(int year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

/// Days since 1970-01-01 of a proleptic Gregorian date (any year, month 1..12, day 1..31).
constexpr std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

/// The first whole second of the timestamp range: 0000-01-01T00:00:00.
inline constexpr std::int64_t min_timestamp_seconds = days_from_civil(0, 1, 1) * seconds_per_day;
/// The last whole second of the timestamp range: 9999-12-31T23:59:59.
inline constexpr std::int64_t max_timestamp_seconds = days_from_civil(10000, 1, 1) * seconds_per_day - 1;

/// Whether `seconds` lies in the timestamp range.
constexpr bool in_timestamp_range(std::int64_t seconds) {
    return seconds >= min_timestamp_seconds && seconds <= max_timestamp_seconds;
}

/// The UTC calendar date and time of a timestamp's whole second (the sub-second part is dropped).
constexpr civil_time to_civil(timestamp t) {
    std::int64_t days = t.seconds / seconds_per_day;
    std::int64_t second_of_day = t.seconds % seconds_per_day;
    if (second_of_day < 0) {
        second_of_day += seconds_per_day;
        --days;
    }
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const std::int64_t day_of_era = days - era * 146'097;
    const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t mp = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = year_of_era + era * 400 + (month <= 2);
    return civil_time{static_cast<int>(year), month, day, static_cast<int>(second_of_day / 3600),
                      static_cast<int>(second_of_day / 60 % 60), static_cast<int>(second_of_day % 60)};
}

/// The timestamp of a calendar date and time; no validation of the fields (callers check them).
constexpr timestamp from_civil(const civil_time& c, std::uint32_t nanoseconds = 0) {
    return timestamp{days_from_civil(c.year, c.month, c.day) * seconds_per_day + c.hour * 3600 + c.minute * 60 + c.second,
                     nanoseconds};
}

}  // namespace quarvel::der
