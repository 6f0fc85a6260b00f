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

// Calls `emit` with each transcript line in print order: "started at" and the start time, the console
// lines last stored first, the result's text form, "stopped at" and the stop time. The view lives only
// during the call, so a long console costs one buffer, not one string per line.
void for_each_transcript_line(std::span<const quarvel::console_line_view> console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result,
                              const std::function<void(std::string_view)>& emit);

}  // namespace inspect
