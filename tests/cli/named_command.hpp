#pragma once
// A command of the layer with only its name set, for the tests to declare the rest.

#include <string>
#include <utility>

#include "cli/command.hpp"

namespace cli_test {

inline cli::command named(std::string name) {
    cli::command cmd;
    cmd.name = std::move(name);
    return cmd;
}

}  // namespace cli_test
