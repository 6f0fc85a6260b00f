#pragma once
/// \file
/// The octet dump of error messages: two lowercase hex digits per octet, groups of eight octets joined by a
/// break that prints as a space, or as a line feed and indentation to `column` (the column at which the
/// dump begins) when the next group would not fit before the 78-column margin. Empty input dumps as nothing.

#include <cstddef>
#include <string>
#include <string_view>

#include <der/short_name.hpp>

namespace quarvel::der {

/// The right margin of a dump.
inline constexpr std::size_t margin = 78;

/// The dump of `octets`, laid out as if it began at `column`.
std::string octet_dump(std::string_view octets, std::size_t column);

}  // namespace quarvel::der
