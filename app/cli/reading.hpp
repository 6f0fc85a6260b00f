#pragma once
// Reading the argument vector against the declarations: "--" ends the options, "-" alone and texts not
// starting with "-" are positional, "--name=value", "-xVALUE", grouped short flags, an option's value in
// the next argument unless that is itself an option, exact names (prefixes of long names only with legacy
// prefixes). Errors are kept as their message; only the first one counts, but reading goes on so that
// the standard options are seen anywhere on the line.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "command.hpp"

namespace cli {

struct occurrence {
    std::string name;                  // the declared name it matched
    std::optional<std::string> value;  // the attached or following value, when there is one
};

struct reading {
    // Per declared argument, in command-line order: every occurrence of a repeatable flag, the first two of
    // any other argument.
    std::vector<std::vector<occurrence>> occurrences;
    std::vector<std::string> positionals;
    std::optional<std::string> error;                  // the first reading error
};

// `args` excludes the invocation name.
reading read_arguments(std::span<const argument> arguments, std::span<const std::string> args,
                       const presentation& p);

}  // namespace cli
