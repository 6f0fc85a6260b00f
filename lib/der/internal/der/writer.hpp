#pragma once
/// \file
/// Writing element headers: identifier octets and the minimal definite length. Contents are written by
/// the caller right after, so nested elements are written once, in place, with sizes known beforehand.

#include <cstddef>
#include <string>

#include <der/short_name.hpp>
#include <der/tag.hpp>

namespace quarvel::der {

/// Octets of the identifier and length of an element with `length` contents octets.
std::size_t header_size(tag t, std::size_t length);
/// `f` is primitive or constructed.
void write_header(std::string& out, tag t, form f, std::size_t length);

}  // namespace quarvel::der
