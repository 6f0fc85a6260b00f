// The scheduler overview: its older form [7], and beside it the other older command [11], are read and
// written back in the newer form.
#include <gtest/gtest.h>

#include <string>

#include "cmd_bytes.hpp"

namespace {

using namespace cmd_bytes;

TEST(OverviewSyntax, OlderFormsAreReadAndWrittenInTheNewerForm) {
    const quarvel::info overview{{{t0, quarvel::period::Hourly, example_job}},
                                 {{"p1", {example_job}}},
                                 {{t0, example_uuid, example_job}},
                                 {}};
    const std::string schedule = "30 26 30 24 " + next_t0 + "A0 02 05 00 A0 0D " + job_a;
    const std::string queues = "30 17 30 15 0C 02 70 31 30 0F A0 0D " + job_a;
    const std::string running = "30 32 30 30 " + next_t0 + uuid_octets + job_a;
    struct Older {
        std::string octets;
        cmd value;
        std::string rewritten;
    };
    const Older cases[] = {
        {"A7 08 30 06 30 00 30 00 30 00", {cmd::Info_reply{}}, "B6 0A 30 08 30 00 30 00 30 00 30 00"},
        {"A7 77 30 75 " + schedule + queues + running, {cmd::Info_reply{overview}},
         "B6 79 30 77 " + schedule + queues + running + "30 00"},
        {"AB 03 0C 01 61", {cmd::Execute{"a", std::nullopt}}, "B4 05 30 03 0C 01 61"},
    };
    for (const auto& c : cases) {
        const auto decoded = cmd_of_str(hex(c.octets));
        ASSERT_TRUE(decoded) << c.octets << ": " << decoded.error();
        EXPECT_EQ(*decoded, c.value) << c.octets;
        EXPECT_EQ(cmd_to_str(*decoded), hex(c.rewritten)) << c.octets;
    }
}

}  // namespace
