#pragma once
// A timestamp's text, in the two layouts this system writes: GeneralizedTime's contents and RFC 3339. Every
// printer, the JSON output, the encoder and the checks before encoding spell a time through this one place.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <quarvel/der_time.hpp>

#include <der/short_name.hpp>

namespace quarvel::der {

enum class time_layout : std::uint8_t {
    generalized,  // 20240102030405Z: GeneralizedTime's contents
    rfc3339,      // 2024-01-02T03:04:05-00:00: the offset says the local zone is unknown, as RFC 3339 allows
};

enum class time_fraction : std::uint8_t {
    none,          // whole seconds, the sub-second part dropped toward the past
    milliseconds,  // ".fff" whenever there is a sub-second part: what GeneralizedTime keeps
    exact,         // ".fff", ".ffffff" or ".fffffffff": the fewest groups of three digits that lose nothing
};

// Built on the stack: the longest text (a twelve-digit year with its sign, nine digits of fraction and the
// offset) is 44 bytes.
struct time_text {
    char bytes[48];
    std::size_t size = 0;
    std::string_view view() const { return {bytes, size}; }
};

// Any instant an int64 of seconds holds: the year in full, at least four digits, with a minus sign before
// year 0; a sub-second part of a second or more is the instant that many whole seconds later.
time_text write_time_text(timestamp t, time_layout layout, time_fraction fraction);

}  // namespace quarvel::der
