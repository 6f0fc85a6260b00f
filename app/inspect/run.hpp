#pragma once
// The inspection run: read one job execution record and print or export what the flags select.

#include <functional>
#include <optional>
#include <string>

#include <quarvel/basic.hpp>

#include "cli/command.hpp"
#include "file_input/read_file.hpp"

namespace inspect {

// FILE, --console, --script, --output DIR, --job, in this order.
quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job);

// The same, a message of the element reader (which dumps the octets of the whole input, a record cut short
// of any size) said through `say_as_written` as it is made, never held whole; the run then fails with an
// empty message (cli::values::say_error_as_written).
quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job,
                           const std::function<void(const cli::message_composer&)>& say_as_written);

}  // namespace inspect
