#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>

#include <der/dump.hpp>
#include <der/primitives.hpp>

namespace quarvel::der {

namespace {

std::string overflow(std::string_view contents) {
    std::string m = "INTEGER: int overflow: ";
    m += octet_dump(contents, m.size());
    return m;
}

// A value outside -2^62 .. 2^62 - 1 is the caller's fault: a debug build stops on it; other builds
// write the nearest value inside the range, so that whatever is written reads back.
std::int64_t confined(std::int64_t value) {
    assert(value >= min_integer && value <= max_integer && "INTEGER outside -2^62 .. 2^62 - 1 written");
    return std::clamp(value, min_integer, max_integer);
}

}  // namespace

result<std::int64_t> read_integer(std::string_view contents) {
    std::int64_t value;
    if (read_integer_inline(contents, value)) return value;
    const auto octet = [&](std::size_t i) { return static_cast<std::uint8_t>(contents[i]); };
    if (contents.empty()) return error("INTEGER: length 0");
    if (contents.size() >= 2 && ((octet(0) == 0x00 && octet(1) < 0x80) || (octet(0) == 0xFF && octet(1) >= 0x80)))
        return error("INTEGER: redundant form");
    // Longer than eight octets, or outside the range.
    return error(overflow(contents));
}

std::size_t integer_size(std::int64_t value) {
    value = confined(value);
    // The octets hold the significant bits of the value (those that differ from its sign) and the sign bit.
    const auto significant = static_cast<std::uint64_t>(value ^ (value >> 63));
    return static_cast<std::size_t>(std::bit_width(significant)) / 8 + 1;
}

void write_integer(std::string& out, std::int64_t value) {
    value = confined(value);
    const auto bits = static_cast<std::uint64_t>(value);
    char octets[8];
    for (std::size_t i = 0; i < 8; ++i) octets[i] = static_cast<char>(bits >> (56 - 8 * i));
    const std::size_t n = integer_size(value);
    out.append(octets + 8 - n, n);
}

}  // namespace quarvel::der
