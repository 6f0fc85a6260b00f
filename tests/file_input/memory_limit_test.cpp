// The memory the process may fill: never more than the machine's, never nothing.
#include <gtest/gtest.h>

#include <unistd.h>

#include "file_input/memory_limit.hpp"

namespace {

TEST(MemoryLimit, IsSomeOfThePhysicalMemory) {
    const auto physical = static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                          static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t limit = file_input::memory_limit();
    EXPECT_GT(limit, 0u);
    EXPECT_LE(limit, physical);
}

}  // namespace
