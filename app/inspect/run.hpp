#pragma once
// The inspection run: read one job execution record and print or export what the flags select.

#include <optional>
#include <string>

#include <quarvel/basic.hpp>

#include "file_input/read_file.hpp"

namespace inspect {

// FILE, --console, --script, --output DIR, --job, in this order.
quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job);

}  // namespace inspect
