#pragma once
// The console transcript of a record and its lines, as quarvel-inspect prints them.

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

namespace inspect {

// Appends the "%dms: %S" form of one console line: the delta read as an unsigned 64-bit count of
// nanoseconds in whole milliseconds, then the data in quoted form.
void append_console_line(std::string& out, const quarvel::console_line_view& line);

// A line handed over in pieces: `compose` calls the function it is given with each piece, in order.
using line_pieces = std::function<void(std::string_view)>;
using line_composer = std::function<void(const line_pieces&)>;

// Calls `emit` with each transcript line in print order: "started at" and the start time, the console
// lines last stored first, the result's text form, "stopped at" and the stop time. The view lives only
// during the call, so a long console costs one buffer, not one string per line. With `emit_in_pieces`, a
// console line of more than a megabyte goes to it instead, its quoted form made and handed over a piece at
// a time (the escapes of a line of control bytes take four times its size).
void for_each_transcript_line(std::span<const quarvel::console_line_view> console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result,
                              const std::function<void(std::string_view)>& emit,
                              const std::function<void(const line_composer&)>& emit_in_pieces = {});

}  // namespace inspect
