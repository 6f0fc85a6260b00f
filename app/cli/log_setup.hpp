#pragma once
// Logging setup shared by the tools: the level, per-stream styling and the reporter.

#include <optional>
#include <string_view>

#include <quarvel/log.hpp>

namespace cli {

enum class color_choice { automatic, always, never };

// Where messages of levels other than `app` go. `app` messages always go to standard output.
enum class diagnostics_stream { standard_output, standard_error };

// Decides styling of standard output and standard error, the UTF-8 flags, sets the level of every log
// source and installs the reporter. `program_name` is argv[0] (its last path component is shown).
void setup_log(std::string_view program_name, color_choice color, std::optional<quarvel::log::level> level,
               diagnostics_stream diagnostics = diagnostics_stream::standard_output);

}  // namespace cli
