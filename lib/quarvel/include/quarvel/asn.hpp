#pragma once
/// \file
/// The three encodings of the service: the job execution record, the persisted scheduler state and the
/// protocol commands. Each codec is built once, on first use, and may be used from any thread and from
/// other static initialisers. Decoders are strict (the input must be exactly one element) and never
/// return a partial value; encoders cannot fail.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel::asn {

/// The job execution record that `bytes` hold, or the decoder's message ("trailing bytes",
/// "couldn't decode UUID", an invalid path, a DER message). The record owns its contents.
result<execution_record> exec_of_str(std::string_view bytes);
/// `exec_of_str`, telling `consumed` as the decode goes on, in steps of at least `step` octets, how many octets
/// from the start of `bytes` the record no longer needs (it holds copies of them), so that the owner of a
/// large input can give up their memory; the bytes must stay readable all the same.
result<execution_record> exec_of_str_releasing(std::string_view bytes, const std::function<void(std::size_t)>& consumed,
                                               std::size_t step = std::size_t{1} << 20);
/// The DER octets of `record`. Its integers (result codes and signals, console deltas) must lie in
/// -2^62 .. 2^62 - 1: a debug build stops on any other; other builds write the nearest value inside.
std::string exec_to_str(const execution_record& record);

/// The scheduler state that `bytes` hold, or the decoder's message. Retired item forms are dropped,
/// each with a warning logged to the source "quarvel".
result<state> state_of_str(std::string_view bytes);
/// The DER octets of `s`, every item in its current form.
std::string state_to_str(const state& s);

/// The protocol command that `bytes` (one frame's payload) hold, or the decoder's message; a retired
/// command is refused.
result<cmd> cmd_of_str(std::string_view bytes);
/// The DER octets of `c`. `Client_hello`'s version must lie in -2^62 .. 2^62 - 1, like every integer
/// written; an `Output_timestamped` duration of 2^62 ns or more is written as the nearest one that fits.
std::string cmd_to_str(const cmd& c);

}  // namespace quarvel::asn
