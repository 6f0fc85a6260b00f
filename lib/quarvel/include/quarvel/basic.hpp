#pragma once
/// \file
/// The basic value kinds of the data model.

#include <quarvel/export.hpp>

#include <array>
#include <compare>
#include <cstdint>
#include <string>

#include <quarvel/der_result.hpp>
#include <quarvel/der_time.hpp>

namespace quarvel {

/// Every operation that can fail on its input returns its value or one message text.
template <class T>
using result = der::result<T>;

/// A UTC instant held to the nanosecond (see `der::timestamp`, <quarvel/der_time.hpp>). The encodings keep
/// whole milliseconds, the rest dropped (.123456789 reads back as .123), of the years 0000 to 9999; an
/// encoder writes a time outside those years as the nearest end of the range, which `asn::validate`
/// refuses beforehand.
using der::timestamp;

/// A non-negative span of time: an unsigned 64-bit count of nanoseconds. On the wire it is the 63-bit
/// INTEGER of the same bit pattern (see `cmd::Output_timestamped` for the counts that fit).
struct duration {
    std::uint64_t nanoseconds = 0;  ///< the count
    friend auto operator<=>(const duration&, const duration&) = default;
};

/// A UUID as its 16 octets in RFC 4122 order.
struct uuid {
    std::array<std::uint8_t, 16> octets{};  ///< the octets, first to last
    friend auto operator<=>(const uuid&, const uuid&) = default;
};

}  // namespace quarvel
