#pragma once
/// \file
/// The three encodings of the service: the job execution record, the persisted scheduler state and the
/// protocol commands. Each codec is built once, on first use, and may be used from any thread and from
/// other static initialisers. Decoders are strict (the input must be exactly one element) and never
/// return a partial value; encoders cannot fail.

#include <quarvel/export.hpp>

#include <cstddef>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel::asn {

/// The job execution record that `bytes` hold, or the decoder's message ("trailing bytes",
/// "couldn't decode UUID", an invalid path, a DER message). The record owns its contents.
QUARVEL_API result<execution_record> exec_of_str(std::string_view bytes);
/// The DER octets of `record`. Its integers (result codes and signals, console deltas) must lie in
/// -2^62 .. 2^62 - 1: a debug build stops on any other; other builds write the nearest value inside.
QUARVEL_API std::string exec_to_str(const execution_record& record);

/// The scheduler state that `bytes` hold, or the decoder's message. Retired item forms are dropped,
/// each with a warning logged to the source "quarvel".
QUARVEL_API result<state> state_of_str(std::string_view bytes);
/// The DER octets of `s`, every item in its current form.
QUARVEL_API std::string state_to_str(const state& s);

/// The protocol command that `bytes` (one frame's payload) hold, or the decoder's message; a retired
/// command is refused.
QUARVEL_API result<cmd> cmd_of_str(std::string_view bytes);
/// The DER octets of `c`. `Client_hello`'s version must lie in -2^62 .. 2^62 - 1, like every integer
/// written; an `Output_timestamped` duration of 2^62 ns or more is written as the nearest one that fits.
QUARVEL_API std::string cmd_to_str(const cmd& c);

// ---- Checking a value before it is sent ----------------------------------------------------------------

/// Whether `record` is written so that `exec_of_str` reads it back: nothing, or the message that the
/// decoder would give for its encoding (an output file's path that is empty or holds NUL, an integer
/// outside -2^62 .. 2^62 - 1, a time outside the years 0000 to 9999). Encoders do not check: a program
/// that builds values from untrusted input calls this first.
QUARVEL_API result<void> validate(const execution_record& record);
/// Whether `s` is written so that `state_of_str` reads it back; as for the record.
QUARVEL_API result<void> validate(const state& s);
/// Whether `c` is written so that `cmd_of_str` reads it back; as for the record.
QUARVEL_API result<void> validate(const cmd& c);

}  // namespace quarvel::asn
