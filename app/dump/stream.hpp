#pragma once
// The forms of quarvel-dump that are written as they are produced, through one bounded output
// (output.hpp): the JSON of a value, never held whole as text, the frames of a capture in every form,
// which leave in large writes, yet as soon as the input has nothing more ready, and every form of a run
// over several FILEs, whose small values then cost no system call each.

#include <string>
#include <vector>

#include <quarvel/basic.hpp>

#include "run.hpp"

namespace dump {

// Whether `run_streamed` serves these settings (JSON, or a capture) in place of `run`.
bool streamed(const settings& s);

// `run` for the settings that `streamed` accepts: the same bytes, messages and statuses, except that a
// reader that went away (EPIPE) ends the run without a message.
quarvel::result<void> run_streamed(const settings& s, const std::string& file);

// `run` for several FILEs, in every form, all through one output (see `run` for what is written). A FILE
// that fails is said through `report` once what was written before its fault has left, and the run goes
// on; an output that failed ends it at once.
quarvel::result<void> run_streamed(const settings& s, const std::vector<std::string>& files,
                                   const error_report& report);

}  // namespace dump
