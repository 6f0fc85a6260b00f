// The one writer of a timestamp's text.

#include <der/time_text.hpp>

namespace quarvel::der {

namespace {

struct text_writer {
    time_text& text;

    void put(char c) { text.bytes[text.size++] = c; }
    void put(std::string_view s) {
        for (const char c : s) put(c);
    }
    // `value` in exactly `width` decimal digits, zero-filled on the left.
    void put_digits(std::uint64_t value, int width) {
        for (int i = width; i-- > 0; value /= 10) text.bytes[text.size + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
        text.size += static_cast<std::size_t>(width);
    }
    // At least four digits: a year past 9999 keeps all of its digits.
    void put_year(std::int64_t year) {
        if (year < 0) put('-');
        const std::uint64_t magnitude = year < 0 ? 0 - static_cast<std::uint64_t>(year) : static_cast<std::uint64_t>(year);
        int width = 4;
        for (std::uint64_t rest = magnitude / 10'000; rest != 0; rest /= 10) ++width;
        put_digits(magnitude, width);
    }
};

constexpr std::uint32_t nanoseconds_per_second = 1'000'000'000;

}  // namespace

time_text write_time_text(timestamp t, time_layout layout, time_fraction fraction) {
    const std::int64_t carried = t.nanoseconds / nanoseconds_per_second;
    const std::uint32_t nanoseconds = t.nanoseconds % nanoseconds_per_second;
    civil_time c;
    std::int64_t year = 0;
    if (in_timestamp_range(t.seconds) && carried == 0) {
        c = to_civil({t.seconds, 0});
        year = c.year;
    } else {
        // The Gregorian calendar repeats every 400 years: convert near 1970 and add the eras to the year, so
        // that no year of an int64 of seconds overflows the calendar's `int`. The carried whole seconds (at
        // most 4) are added within the era, where they cannot overflow either.
        constexpr std::int64_t era_seconds = 146'097 * seconds_per_day;
        c = to_civil({t.seconds % era_seconds + carried, 0});
        year = c.year + t.seconds / era_seconds * 400;
    }
    time_text text;
    text_writer out{text};
    const bool generalized = layout == time_layout::generalized;
    out.put_year(year);
    if (!generalized) out.put('-');
    out.put_digits(static_cast<std::uint64_t>(c.month), 2);
    if (!generalized) out.put('-');
    out.put_digits(static_cast<std::uint64_t>(c.day), 2);
    if (!generalized) out.put('T');
    out.put_digits(static_cast<std::uint64_t>(c.hour), 2);
    if (!generalized) out.put(':');
    out.put_digits(static_cast<std::uint64_t>(c.minute), 2);
    if (!generalized) out.put(':');
    out.put_digits(static_cast<std::uint64_t>(c.second), 2);
    if (nanoseconds != 0 && fraction == time_fraction::milliseconds) {
        out.put('.');
        out.put_digits(nanoseconds / 1'000'000, 3);
    } else if (nanoseconds != 0 && fraction == time_fraction::exact) {
        int digits = 9;
        std::uint32_t shown = nanoseconds;
        while (digits > 3 && shown % 1000 == 0) {
            shown /= 1000;
            digits -= 3;
        }
        out.put('.');
        out.put_digits(shown, digits);
    }
    out.put(generalized ? "Z" : "-00:00");
    return text;
}

}  // namespace quarvel::der
