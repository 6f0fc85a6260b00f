#pragma once
// The logging options shared by the tools: --color=WHEN, -q/--quiet, --verbosity=LEVEL and -v/--verbose,
// declared in this order, and the settings they give: -q takes over --verbosity, which takes over the
// number of -v (none: warning, one: info, two or more: debug).

#include <optional>

#include <quarvel/log.hpp>

#include "cli/command.hpp"
#include "log_output/log_setup.hpp"

namespace log_output {

struct logging_options {
    cli::argument_id color, quiet, verbosity, verbose;
};

struct logging_settings {
    color_choice color = color_choice::automatic;
    std::optional<quarvel::log::level> level = quarvel::log::level::warning;  // std::nullopt: quiet
    friend bool operator==(const logging_settings&, const logging_settings&) = default;
};

// Declares the four options and, right after them, a checkpoint that calls `setup_log` with their settings
// and the invocation name, so the log is set up before any later argument is converted.
logging_options declare_logging_options(cli::command& cmd,
                                        diagnostics_stream diagnostics = diagnostics_stream::standard_output);

logging_settings logging_settings_of(const cli::values& v, const logging_options& options);

}  // namespace log_output
