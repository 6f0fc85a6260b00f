#pragma once
// The inspection run: read one job execution record and print or export what the flags select.

#include <optional>
#include <string>

#include <quarvel/basic.hpp>

namespace inspect {

// Reads a whole file, or standard input for "-", in binary. Failures are "NAME: REASON".
quarvel::result<std::string> read_whole_file(const std::string& name);

// FILE, --console, --script, --output DIR, --job, in this order.
quarvel::result<void> jump(const std::string& file, bool console, bool script,
                           const std::optional<std::string>& output, bool job);

}  // namespace inspect
