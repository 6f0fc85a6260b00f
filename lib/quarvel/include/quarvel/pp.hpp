#pragma once
/// \file
/// The text form of every type of the data model and of the basic values, written to a formatter.
/// Printers open no boxes, keep no state and cannot fail; they flush only through the line ends of their
/// templates.

#include <quarvel/export.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <quarvel/basic.hpp>
#include <quarvel/format.hpp>
#include <quarvel/model.hpp>

namespace quarvel {

// Basic values as strings.

/// Lowercase hexadecimal, grouped 8-4-4-4-12: 6ba7b810-9dad-11d1-80b4-00c04fd430c8.
QUARVEL_API std::string uuid_text(const uuid& u);
/// RFC 3339 with the unknown-offset suffix, fraction dropped: 2024-05-01T12:00:00-00:00.
QUARVEL_API std::string timestamp_text(timestamp t);
/// By size: 2a17d, 3d05h, 2h05m, 5m07s, 7.250s, 12.345ms, 1.500µs (µ as the bytes CE BC).
QUARVEL_API std::string duration_text(duration d);
/// Between double quotes, with `\"` `\\` `\n` `\t` `\r` `\b` and a backslash and three decimal digits for every other
/// byte outside space to tilde.
QUARVEL_API std::string quoted(std::string_view s);

// The same forms as printers; each writes text tokens only, without a heap allocation.

/// The integer in decimal.
QUARVEL_API void pp_integer(formatter& f, std::int64_t value);
/// The form of `uuid_text`.
QUARVEL_API void pp_uuid(formatter& f, const uuid& u);
/// The form of `timestamp_text`.
QUARVEL_API void pp_timestamp(formatter& f, timestamp t);
/// The form of `duration_text`.
QUARVEL_API void pp_duration(formatter& f, duration d);
/// The form of `quoted`.
QUARVEL_API void pp_quoted(formatter& f, std::string_view s);

// The printers of the data model.

/// Each entry as its path, ": " and its size in bytes, entries separated by line ends.
QUARVEL_API void pp_data(formatter& f, const data& d);
/// "name NAME on PLATFORM".
QUARVEL_API void pp_script_job(formatter& f, const script_job& j);
/// "name NAME, opam PACKAGE".
QUARVEL_API void pp_vesk_build_job(formatter& f, const vesk_build_job& j);
/// "exited N", "signalled N", "stopped N" or "execution aborted: TEXT".
QUARVEL_API void pp_execution_result(formatter& f, const execution_result& r);
/// "hourly", "daily", "weekly" or "never".
QUARVEL_API void pp_period(formatter& f, period p);
/// The printer of the job's alternative.
QUARVEL_API void pp_job(formatter& f, const job& j);
/// "JOB next TIME, scheduled PERIOD".
QUARVEL_API void pp_schedule_item(formatter& f, const schedule_item& item);
/// The overview: dropped platforms, then the schedule, the queues and the running executions.
QUARVEL_API void pp_info(formatter& f, const info& i);
/// The command's form, e.g. "client hello worker 5" or "execute NAME on PLATFORM".
QUARVEL_API void pp_cmd(formatter& f, const cmd& c);
/// The item's form: its schedule, queue or dropped platform.
QUARVEL_API void pp_state_item(formatter& f, const state_item& item);
/// The items, separated by ";" and a space hint.
QUARVEL_API void pp_state(formatter& f, const state& s);

// Combinators. A separator is a callable taking the formatter; a printer takes the formatter and a value.

/// The elements with the separator between consecutive ones only; nothing around the list.
template <class Range, class Separator, class Printer>
void pp_list(formatter& f, const Range& items, Separator&& separator, Printer&& print) {
    bool first = true;
    for (const auto& item : items) {
        if (!first) separator(f);
        first = false;
        print(f, item);
    }
}

/// A printer for three-component values (a, b, c): it writes p1 of c, the separator, p2 of b, the
/// separator, p3 of a; the first printer gets the last component. Works on tuples and on records of three
/// fields.
template <class Separator, class Print1, class Print2, class Print3>
auto triple(Separator separator, Print1 p1, Print2 p2, Print3 p3) {
    return [=](formatter& f, const auto& value) {
        const auto& [a, b, c] = value;
        p1(f, c);
        separator(f);
        p2(f, b);
        separator(f);
        p3(f, a);
    };
}

}  // namespace quarvel
