#pragma once
// The three encodings of the service: the job execution record, the persisted scheduler state and the
// protocol commands. Each codec is built once, on first use, and may be used from any thread and from
// other static initialisers. Decoders are strict (the input must be exactly one element) and never
// return a partial value; encoders cannot fail.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel::asn {

result<execution_record> exec_of_str(std::string_view bytes);
// `exec_of_str`, telling `consumed` as the decode goes on, in steps of at least `step` octets, how many octets
// from the start of `bytes` the record no longer needs (it holds copies of them), so that the owner of a
// large input can give up their memory; the bytes must stay readable all the same.
result<execution_record> exec_of_str_releasing(std::string_view bytes, const std::function<void(std::size_t)>& consumed,
                                               std::size_t step = std::size_t{1} << 20);
std::string exec_to_str(const execution_record& record);

result<state> state_of_str(std::string_view bytes);
std::string state_to_str(const state& s);

result<cmd> cmd_of_str(std::string_view bytes);
std::string cmd_to_str(const cmd& c);

}  // namespace quarvel::asn
