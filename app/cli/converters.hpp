#pragma once
// The standard conversions of argument values.

#include <string>
#include <vector>

#include "command.hpp"

namespace cli {

// Any text, unchanged.
converter any_text();

// The name of an existing file or directory (symbolic links followed); "-" (standard input) is accepted
// without a check. The value is the text given.
converter existing_file_or_stdin();

// The name of an existing directory (symbolic links followed). The value is the text given.
converter existing_directory();

// One of the keys, looked up by exact text (by unique prefix with legacy prefixes); when a key appears
// twice the later entry takes precedence. The value is the index of the matching entry.
converter enumeration(std::vector<std::string> keys);

}  // namespace cli
