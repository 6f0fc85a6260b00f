#pragma once
/// \file
/// Contents octets of the primitive types in use, both directions. Reading returns the exact messages of
/// the byte rules; writing cannot fail.

#include <cstdint>
#include <variant>
#include <string>
#include <string_view>

#include <quarvel/der_result.hpp>
#include <quarvel/der_time.hpp>

#include <der/short_name.hpp>

namespace quarvel::der {

/// The smallest integer that crosses DER: -2^62 (integers are 63-bit).
inline constexpr std::int64_t min_integer = -(std::int64_t{1} << 62);
/// The largest integer that crosses DER: 2^62 - 1.
inline constexpr std::int64_t max_integer = (std::int64_t{1} << 62) - 1;

/// "INTEGER: length 0", "INTEGER: redundant form", "INTEGER: int overflow: " + dump.
result<std::int64_t> read_integer(std::string_view contents);
/// The value of INTEGER contents that `read_integer` accepts, read inline into `value`; false for any other
/// contents, whose message is `read_integer`'s. What a decode of many INTEGERs takes first.
[[gnu::always_inline]] inline bool read_integer_inline(std::string_view contents, std::int64_t& value) {
    const std::size_t n = contents.size();
    if (n == 0 || n > 8) return false;
    const auto octet = [&](std::size_t i) { return static_cast<std::uint8_t>(contents[i]); };
    // DER's minimal two's complement: the first nine bits are never all equal.
    if (n >= 2 && ((octet(0) == 0x00 && octet(1) < 0x80) || (octet(0) == 0xFF && octet(1) >= 0x80))) return false;
    // Sign-extend from the first octet, then shift the rest in (unsigned, so no overflow is possible).
    std::uint64_t bits = (octet(0) & 0x80) != 0 ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < n; ++i) bits = (bits << 8) | octet(i);
    value = static_cast<std::int64_t>(bits);
    return value >= min_integer && value <= max_integer;
}
/// Octets of the shortest two's-complement form (1 to 8 octets). `value` must lie in min_integer ..
/// max_integer: a debug build (assertions on) stops on any other value; other builds write the nearest
/// value inside the range, so that what is written always reads back.
std::size_t integer_size(std::int64_t value);
/// Appends those octets to `out`, under the same rule for `value`.
void write_integer(std::string& out, std::int64_t value);

/// "NULL: " + dump when the contents are not empty.
result<std::monostate> read_null(std::string_view contents);

/// UTCTime and GeneralizedTime: "<type>: unexpected end: ", "<type>: invalid format: ",
/// "<type>: out of range: " followed by the contents text.
result<timestamp> read_utc_time(std::string_view contents);
/// GeneralizedTime contents, with the same messages as `read_utc_time`.
result<timestamp> read_generalized_time(std::string_view contents);
/// "YYMMDDhhmmssZ" (13 octets).
std::size_t utc_time_size(timestamp t);
/// Appends the UTCTime contents of `t` to `out`.
void write_utc_time(std::string& out, timestamp t);
/// "YYYYMMDDhhmmss[.fff]Z": the fraction, whole milliseconds in three digits, only when the sub-second
/// part is not zero.
std::size_t generalized_time_size(timestamp t);
/// Appends the GeneralizedTime contents of `t` to `out`.
void write_generalized_time(std::string& out, timestamp t);

}  // namespace quarvel::der
