#pragma once
/// \file
/// Failures are values: a result holds either the value or one message text. The DER codec compiled into
/// the library is made of it; a program names it `quarvel::result` (<quarvel/basic.hpp>).

#include <expected>
#include <string>

namespace quarvel::der {

/// The value, or the message of the failure.
template <class T>
using result = std::expected<T, std::string>;

/// Refuses a value inside a decoding function; the decode ends with exactly this message.
inline std::unexpected<std::string> error(std::string message) { return std::unexpected(std::move(message)); }

}  // namespace quarvel::der
