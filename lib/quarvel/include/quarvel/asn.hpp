#pragma once
// The three encodings of the service: the job execution record, the persisted scheduler state and the
// protocol commands. Each codec is built once, on first use, and may be used from any thread and from
// other static initialisers. Decoders are strict (the input must be exactly one element) and never
// return a partial value; encoders cannot fail.

#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel::asn {

result<execution_record> exec_of_str(std::string_view bytes);
std::string exec_to_str(const execution_record& record);

result<state> state_of_str(std::string_view bytes);
std::string state_to_str(const state& s);

result<cmd> cmd_of_str(std::string_view bytes);
std::string cmd_to_str(const cmd& c);

}  // namespace quarvel::asn
