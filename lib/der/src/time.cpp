// UTCTime and GeneralizedTime contents: the readers take the looser forms the system has always
// accepted (no seconds, zone offsets, no zone for GeneralizedTime); the writers produce DER's form.

#include <cstdint>

#include <der/primitives.hpp>
#include <der/time_text.hpp>

namespace quarvel::der {

namespace {

enum class scan_fault : std::uint8_t { none, unexpected_end, invalid_format };

// Scans the fields of a time text from the left; the first fault sticks and stops further reading.
struct scanner {
    std::string_view text;
    std::size_t at = 0;
    scan_fault fault = scan_fault::none;

    bool ok() const { return fault == scan_fault::none; }
    bool at_end() const { return at >= text.size(); }
    bool next_is(char c) const { return ok() && !at_end() && text[at] == c; }
    bool next_is_digit() const { return ok() && !at_end() && text[at] >= '0' && text[at] <= '9'; }

    void fail(scan_fault f) {
        if (ok()) fault = f;
    }
    // A numeric field of one to `max` digits; it ends early at the first character that is not a digit.
    int field(std::size_t max) {
        if (!ok()) return 0;
        if (at_end()) {
            fail(scan_fault::unexpected_end);
            return 0;
        }
        if (!next_is_digit()) {
            fail(scan_fault::invalid_format);
            return 0;
        }
        int value = 0;
        for (std::size_t n = 0; n < max && next_is_digit(); ++n) value = value * 10 + (text[at++] - '0');
        return value;
    }
    // "Z", or a sign followed by hh and mm. Absent only where `required` is false.
    struct zone {
        int hours = 0, minutes = 0, sign = 0;
    };
    zone read_zone(bool required) {
        zone z;
        if (!ok()) return z;
        if (at_end()) {
            if (required) fail(scan_fault::unexpected_end);
            return z;
        }
        const char c = text[at];
        if (c == 'Z') {
            ++at;
        } else if (c == '+' || c == '-') {
            ++at;
            z.sign = c == '+' ? 1 : -1;
            z.hours = field(2);
            z.minutes = field(2);
        } else {
            fail(scan_fault::invalid_format);
        }
        return z;
    }
    void expect_end() {
        if (ok() && !at_end()) fail(scan_fault::invalid_format);
    }
};

struct fields {
    civil_time local;
    scanner::zone zone;
    std::uint32_t nanoseconds = 0;
};

std::string message(std::string_view type, std::string_view what, std::string_view text) {
    std::string m(type);
    m += ": ";
    m += what;
    m += ": ";
    m += text;
    return m;
}

// Validates the fields and turns them into an instant: the local date-time minus the zone offset.
result<timestamp> to_timestamp(std::string_view type, std::string_view text, const scanner& s, const fields& f) {
    if (s.fault == scan_fault::unexpected_end) return error(message(type, "unexpected end", text));
    if (s.fault == scan_fault::invalid_format) return error(message(type, "invalid format", text));
    const civil_time& c = f.local;
    // Only the date-time is bounded; the zone's hh and mm (two digits each) make any offset up to 99:99.
    const bool valid = c.year >= 0 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
                       c.day <= days_in_month(c.year, c.month) && c.hour <= 23 && c.minute <= 59 && c.second <= 60;
    if (!valid) return error(message(type, "out of range", text));
    timestamp t = from_civil(c, f.nanoseconds);
    t.seconds -= f.zone.sign * (f.zone.hours * 3600 + f.zone.minutes * 60);
    if (!in_timestamp_range(t.seconds)) return error(message(type, "out of range", text));
    return t;
}

constexpr std::string_view utc_time_name = "UTCTime";
constexpr std::string_view generalized_time_name = "GeneralizedTime";

// The window UTCTime's two-digit years can name: 1950-01-01T00:00:00 to 2049-12-31T23:59:59.
constexpr std::int64_t utc_time_first = days_from_civil(1950, 1, 1) * seconds_per_day;
constexpr std::int64_t utc_time_last = days_from_civil(2050, 1, 1) * seconds_per_day - 1;

// A timestamp the GeneralizedTime writer can spell: inside years 0000 to 9999, sub-second part below 1 s.
timestamp writable(timestamp t) {
    if (t.seconds < min_timestamp_seconds) return {min_timestamp_seconds, 0};
    if (t.seconds > max_timestamp_seconds) return {max_timestamp_seconds, 999'999'999};
    if (t.nanoseconds > 999'999'999) t.nanoseconds = 999'999'999;
    return t;
}

}  // namespace

result<timestamp> read_utc_time(std::string_view contents) {
    scanner s{contents};
    fields f;
    const int yy = s.field(2);
    f.local.year = yy >= 50 ? 1900 + yy : 2000 + yy;
    f.local.month = s.field(2);
    f.local.day = s.field(2);
    f.local.hour = s.field(2);
    f.local.minute = s.field(2);
    f.local.second = s.next_is_digit() ? s.field(2) : 0;
    f.zone = s.read_zone(true);
    s.expect_end();
    return to_timestamp(utc_time_name, contents, s, f);
}

result<timestamp> read_generalized_time(std::string_view contents) {
    scanner s{contents};
    fields f;
    f.local.year = s.field(4);
    f.local.month = s.field(2);
    f.local.day = s.field(2);
    f.local.hour = s.field(2);
    f.local.minute = 0;
    f.local.second = 0;
    if (s.next_is_digit()) {
        f.local.minute = s.field(2);
        if (s.next_is_digit()) {
            f.local.second = s.field(2);
            if (s.next_is('.')) {
                // One to three digits of a decimal fraction; a fourth digit is no zone and fails below.
                ++s.at;
                const std::size_t first = s.at;
                int fraction = s.field(3);
                for (std::size_t n = s.at - first; n < 3; ++n) fraction *= 10;
                f.nanoseconds = static_cast<std::uint32_t>(fraction) * 1'000'000;
            }
        }
    }
    f.zone = s.read_zone(false);
    s.expect_end();
    return to_timestamp(generalized_time_name, contents, s, f);
}

std::size_t utc_time_size(timestamp) { return 13; }

// Years outside 1950..2049 have no two-digit form that reads back as the same year: such instants are
// written as the nearest end of the window, never as a year a century away.
void write_utc_time(std::string& out, timestamp t) {
    const std::int64_t seconds = t.seconds < utc_time_first ? utc_time_first
                                 : t.seconds > utc_time_last ? utc_time_last
                                                             : t.seconds;
    // UTCTime is GeneralizedTime's whole seconds without the century.
    out += write_time_text({seconds, 0}, time_layout::generalized, time_fraction::none).view().substr(2);
}

std::size_t generalized_time_size(timestamp t) { return writable(t).nanoseconds != 0 ? 19 : 15; }

void write_generalized_time(std::string& out, timestamp t) {
    out += write_time_text(writable(t), time_layout::generalized, time_fraction::milliseconds).view();
}

}  // namespace quarvel::der
