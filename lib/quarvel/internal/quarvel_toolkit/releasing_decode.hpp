#pragma once
// A record's decode that lets the owner of a large input give up its memory as the decode goes on:
// quarvel-inspect decodes a mapped file this way. Built into the library, not installed.

#include <cstddef>
#include <functional>
#include <string_view>

#include <quarvel/asn.hpp>

namespace quarvel::asn {

// `exec_view_of_str`, telling `consumed` as the decode goes on, in steps of at least `step` octets, how many
// octets from the start of `bytes` the decode has gone past. The record refers to the bytes instead of
// copying them, so they are read again where it is used, but a caller that only needs the record's
// structure for now (or reads it later in order) need not keep them resident meanwhile; the bytes must
// stay readable all the same.
located_result<execution_record_view> exec_view_of_str_releasing(std::string_view bytes,
                                                                 const std::function<void(std::size_t)>& consumed,
                                                                 std::size_t step = std::size_t{1} << 20);

}  // namespace quarvel::asn
