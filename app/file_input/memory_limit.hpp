#pragma once
// How much memory this process may fill: the machine's, or less where a memory control group limits it.

#include <cstdint>

namespace file_input {

// The least of the physical memory and the limits of the memory control groups this process is in (its
// own and those above it, cgroup v2 `memory.max` or v1 `memory.limit_in_bytes`); unknown limits count as
// none.
std::uint64_t memory_limit();

}  // namespace file_input
