#pragma once
// The sections of quarvel-dump's manual written by hand: its exit statuses, the JSON schema, the
// environment and examples.

#include <vector>

#include "cli/command.hpp"

namespace dump {

std::vector<cli::extra_section> manual_sections();

}  // namespace dump
