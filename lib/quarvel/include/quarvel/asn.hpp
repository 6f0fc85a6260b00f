#pragma once
/// \file
/// The three encodings of the service: the job execution record, the persisted scheduler state and the
/// protocol commands. Each codec is built once, on first use, and may be used from any thread and from
/// other static initialisers. Decoders are strict (the input must be exactly one element) and never
/// return a partial value; encoders cannot fail.
///
/// Precondition of every encoder: each variant in the value (a command, a job, a result, a state item)
/// holds an alternative. One left valueless by an exception has no encoding: the encoder writes
/// "quarvel: an encoder was given a variant left valueless by an exception" on standard error and aborts
/// the program, in every build; it never throws.
///
/// What an encoding keeps: texts as their octets (no UTF-8 check either way); output paths as they are,
/// but decoders refuse an empty one or one holding NUL and collapse runs of "/"; times as GeneralizedTime
/// to the whole millisecond, the rest dropped, in the years 0000 to 9999 (one outside is written as the
/// nearest end); integers in -2^62 .. 2^62 - 1. `validate` tells beforehand whether a value reads back.

#include <quarvel/export.hpp>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace quarvel::asn {

/// The job execution record that `bytes` hold, or the decoder's message ("trailing bytes",
/// "couldn't decode UUID", an invalid path, a DER message). The record owns its contents.
QUARVEL_API result<execution_record> exec_of_str(std::string_view bytes);
/// The DER octets of `record`. Its integers (result codes and signals, console deltas) must lie in
/// -2^62 .. 2^62 - 1: with assertions on, the encoder stops on any other; with NDEBUG it writes the
/// nearest value inside. A time outside its range is written as the nearest end, in every build.
QUARVEL_API std::string exec_to_str(const execution_record& record);

/// The scheduler state that `bytes` hold, or the decoder's message. Retired item forms are dropped,
/// each with a warning logged to the source "quarvel".
QUARVEL_API result<state> state_of_str(std::string_view bytes);
/// The DER octets of `s`, every item in its current form; times as for the record.
QUARVEL_API std::string state_to_str(const state& s);

/// The protocol command that `bytes` (one frame's payload) hold, or the decoder's message; a retired
/// command is refused.
QUARVEL_API result<cmd> cmd_of_str(std::string_view bytes);
/// The DER octets of `c`. Integers and times as for the record: `Client_hello`'s version must lie in
/// -2^62 .. 2^62 - 1. An `Output_timestamped` duration that no INTEGER holds is written as the nearest one
/// that does, in every build (see its field).
QUARVEL_API std::string cmd_to_str(const cmd& c);

// ---- Where a decode failed -------------------------------------------------------------------------------

/// A decoder's refusal, with the place of the fault in its input.
struct decode_error {
    /// The decoder's message, exactly as `exec_of_str`, `state_of_str` or `cmd_of_str` gives it.
    std::string message;
    /// The offset in the input of the fault: the first header octet of the element refused, or where the
    /// element reader met a header it could not read; for "trailing bytes", the first octet after the
    /// element.
    std::size_t offset = 0;
    /// The refused element's place in the grammar, outermost first, members by their labels and list
    /// items by their index from 0: `record > console[3] > data`, `state[2] > job > name`,
    /// `command > uuid`. Empty when the element reader refused the bytes (no grammar looked at them) and
    /// for "trailing bytes".
    std::string path;

    /// Equal when message, offset and path are.
    friend bool operator==(const decode_error&, const decode_error&) = default;
};

/// The value, or the decoder's refusal with its place (the functions below spell it out, so that each
/// names its own type).
template <class T>
using located_result = std::expected<T, decode_error>;

/// `exec_of_str`, with the place of a fault. Decoding costs the same either way: the place is found on
/// the way out of a failure.
QUARVEL_API std::expected<execution_record, decode_error> exec_of_str_located(std::string_view bytes);
/// `state_of_str`, with the place of a fault.
QUARVEL_API std::expected<state, decode_error> state_of_str_located(std::string_view bytes);
/// `cmd_of_str`, with the place of a fault.
QUARVEL_API std::expected<cmd, decode_error> cmd_of_str_located(std::string_view bytes);

/// The place as words for a message: "at offset 17 (record > uuid)", or "at offset 17" without a path.
QUARVEL_API std::string where(const decode_error& error);

// ---- Reading a record in place -----------------------------------------------------------------------

/// The job execution record that `bytes` hold, read in place: the console texts and the output files'
/// contents are not copied but referred to where they lie in `bytes`, which must outlive the record, and
/// stay unchanged, while it is used. The same record and the same refusals as `exec_of_str_located`;
/// memory is that of the record's structure, whatever the size of its texts, so a record larger than
/// memory can be read from a mapped file whose pages the system may drop and read again.
QUARVEL_API std::expected<execution_record_view, decode_error> exec_view_of_str(std::string_view bytes);
/// The DER octets of the record `view` refers to: the same as `exec_to_str(to_record(view))`.
QUARVEL_API std::string exec_view_to_str(const execution_record_view& view);

// ---- Checking a value before it is sent ----------------------------------------------------------------

/// Nothing when `exec_of_str` reads the encoding of `record` back as `record`, but for what the encoding
/// drops by rule (a time's part below the millisecond, runs of "/" in paths); else the first fault in
/// wire order, in the decoder's words:
///   - an output path that is empty or holds NUL: the decoder's message, `"a\x00b": invalid path`;
///   - an integer outside -2^62 .. 2^62 - 1, which the encoder would confine or stop on: the decoder's
///     message for the value's own eight octets, `INTEGER: int overflow: 4000000000000000`;
///   - a time outside 0000-01-01T00:00:00 .. 9999-12-31T23:59:59.999, or with a sub-second part of a
///     second or more, which the encoder would confine: "GeneralizedTime: out of range: " and the time
///     in that form with its year in full, `GeneralizedTime: out of range: 100000101000000Z`.
/// Cheap: nothing is encoded. Encoders do not check: a program that builds values from untrusted input
/// calls this first. Enumerations are taken to hold one of their enumerators.
QUARVEL_API result<void> validate(const execution_record& record);
/// As for the record, for `state_of_str`: the times of the schedule items.
QUARVEL_API result<void> validate(const state& s);
/// As for the record, for `cmd_of_str`: `Job_finished`'s result and paths, `Info_reply`'s and
/// `Reschedule`'s times, `Client_hello`'s version and `Output_timestamped`'s duration, an INTEGER of its
/// bit pattern: refused from 2^62 ns up to 3 × 2^62 ns, with the message for its eight octets.
QUARVEL_API result<void> validate(const cmd& c);

}  // namespace quarvel::asn
