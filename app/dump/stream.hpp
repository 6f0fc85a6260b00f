#pragma once
// The forms of quarvel-dump that are written as they are produced, through one bounded output
// (output.hpp): the JSON of a value, never held whole as text, and the frames of a capture in every
// form, which leave in large writes, yet as soon as the input has nothing more ready.

#include <string>

#include <quarvel/basic.hpp>

#include "run.hpp"

namespace dump {

// Whether `run_streamed` serves these settings (JSON, or a capture) in place of `run`.
bool streamed(const settings& s);

// `run` for the settings that `streamed` accepts: the same bytes, messages and statuses, except that a
// reader that went away (EPIPE) ends the run without a message.
quarvel::result<void> run_streamed(const settings& s, const std::string& file);

}  // namespace dump
