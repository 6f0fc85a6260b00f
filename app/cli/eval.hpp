#pragma once
// Evaluating a command: read the argument vector, serve --help and --version, convert the arguments in
// declaration order (running checkpoints on the way), run the command, print any message and return the
// exit status: 0 on success, 124 for command-line errors and error results of the run, 125 when an
// exception escapes. An error result with an empty text ends with 124 without a message (the run has
// already said, or has nobody to say it to). Errors that do not end the run (one input of several) are
// said by the run through `values::report_error`, the same way as the one it ends with.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command.hpp"
#include "pager.hpp"

namespace cli {

using run_function = std::function<quarvel::result<void>(const values&)>;

// What the evaluation takes from and gives to its process.
struct process_io {
    std::vector<std::string> arguments;  // the argument vector, the invocation name first
    environment_lookup environment;
    // Writes to standard output; returns 0, or the error number of the write that failed. What the layer
    // writes there itself (the manual, the version line, a completion answer) is the process's product:
    // a failed write ends it with the run's status for a failure (124) and "NAME: standard output:
    // REASON", as a run's own failed output does, never with 0; a reader that went away (EPIPE) is told
    // nothing.
    std::function<int(std::string_view)> write_out;
    std::function<void(std::string_view)> write_err;
};

// Styling: NO_COLOR unset or empty and TERM set and not "dumb". Prefixes: QUARVEL_LEGACY_PREFIXES,
// lower-cased, is "true", "yes", "1" or "y".
presentation presentation_of(const environment_lookup& env);

// The command with the standard options --help and --version (when it has a version text) appended.
command with_standard_options(const command& cmd);

// "NAME: " and the message set in a box at the column after it, lines of at most 78 columns.
std::string message_line(std::string_view command_name, std::string_view message);

int eval(const command& cmd, const run_function& run, const process_io& io);

// The same on the process's own argument vector, environment, standard output and standard error.
int eval(const command& cmd, int argc, char** argv, const run_function& run);

}  // namespace cli
