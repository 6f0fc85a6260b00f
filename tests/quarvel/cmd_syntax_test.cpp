// The member grammars of the commands: the timestamp of a job's output, a duration that crosses the wire
// as an INTEGER.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cmd_bytes.hpp"

namespace {

using namespace cmd_bytes;

TEST(CmdSyntax, TimestampIntegerAndDuration) {
    // A negative INTEGER keeps its two's-complement pattern, and is written back as that INTEGER.
    const std::string negative = hex("A4 1B 30 19 " + uuid_octets + "0C 02 68 69 02 01 FF");
    const auto decoded = cmd_of_str(negative);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, (cmd{cmd::Output_timestamped{example_uuid, {UINT64_MAX}, "hi"}}));
    EXPECT_EQ(cmd_to_str(*decoded), negative);

    // Durations whose pattern no 63-bit INTEGER holds are written as the nearest one that does.
    struct Case {
        std::uint64_t nanoseconds;
        std::string integer;
        std::uint64_t read_back;
    };
    const Case cases[] = {
        {(std::uint64_t{1} << 62) - 1, "02 08 3F FF FF FF FF FF FF FF", (std::uint64_t{1} << 62) - 1},
        {std::uint64_t{1} << 62, "02 08 3F FF FF FF FF FF FF FF", (std::uint64_t{1} << 62) - 1},
        {std::uint64_t{1} << 63, "02 08 C0 00 00 00 00 00 00 00", std::uint64_t{3} << 62},
        {std::uint64_t{3} << 62, "02 08 C0 00 00 00 00 00 00 00", std::uint64_t{3} << 62},
        {0, "02 01 00", 0},
    };
    for (const auto& c : cases) {
        const std::string bytes = cmd_to_str(cmd{cmd::Output_timestamped{example_uuid, {c.nanoseconds}, "hi"}});
        EXPECT_EQ(bytes.substr(bytes.size() - hex(c.integer).size()), hex(c.integer)) << c.nanoseconds;
        const auto read = cmd_of_str(bytes);
        ASSERT_TRUE(read) << read.error();
        EXPECT_EQ(std::get<cmd::Output_timestamped>(read->value).timestamp.nanoseconds, c.read_back);
    }
}

}  // namespace
