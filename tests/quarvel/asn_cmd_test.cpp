#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::cmd;
using quarvel::asn::cmd_of_str;
using quarvel::asn::cmd_to_str;

const std::string uuid_octets = "0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ";
const std::string job_a = "30 0B 0C 01 61 0C 01 73 30 00 0C 01 70 ";
const std::string next_t0 = "18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A ";

struct Case {
    cmd value;
    std::string octets;  // hexadecimal
};

TEST(CmdEncoding, EveryCommandBothWays) {
    const Case cases[] = {
        {{cmd::Client_hello{quarvel::client_or_worker::Client, quarvel::client_protocol_version}},
         "AE 09 30 07 A0 02 05 00 02 01 0D"},
        {{cmd::Client_hello{quarvel::client_or_worker::Worker, quarvel::worker_protocol_version}},
         "AE 09 30 07 A1 02 05 00 02 01 05"},
        {{cmd::Info{}}, "A6 02 05 00"},
        {{cmd::Server_hello{}}, "AF 02 05 00"},
        {{cmd::Success{}}, "B2 02 05 00"},
        {{cmd::Job_request{"p"}}, "B0 03 0C 01 70"},
        {{cmd::Failure{"x"}}, "B3 03 0C 01 78"},
        {{cmd::Execute{"a", std::nullopt}}, "B4 05 30 03 0C 01 61"},
        {{cmd::Output_timestamped{example_uuid, {5'000'000}, "hi"}},
         "A4 1D 30 1B " + uuid_octets + "0C 02 68 69 02 03 4C 4B 40"},
        {{cmd::Output{example_uuid, "hi"}}, "A4 18 30 16 " + uuid_octets + "0C 02 68 69"},
        {{cmd::Execute{"a", ""}}, "B4 07 30 05 0C 01 61 0C 00"},
        {{cmd::Execute{"a", "p"}}, "B4 08 30 06 0C 01 61 0C 01 70"},
        {{cmd::Reschedule{"a", t0, std::nullopt}}, "AD 16 30 14 0C 01 61 " + next_t0},
        {{cmd::Reschedule{"a", t0, quarvel::period::Never}}, "AD 1A 30 18 0C 01 61 " + next_t0 + "A3 02 05 00"},
        {{cmd::Unschedule{"a"}}, "A9 03 0C 01 61"},
        {{cmd::Observe{example_uuid}}, "AA 12 " + uuid_octets},
        {{cmd::Drop_platform{"p"}}, "B1 03 0C 01 70"},
        {{cmd::Undrop_platform{"p"}}, "B5 03 0C 01 70"},
        {{cmd::Job_schedule{example_uuid, example_job}}, "A2 21 30 1F " + uuid_octets + job_a},
        {{cmd::Schedule{quarvel::period::Daily, example_job}}, "A5 13 30 11 A1 02 05 00 " + job_a},
        {{cmd::Schedule_vesk_build{quarvel::period::Weekly, {"v", "pkg"}}},
         "AC 10 30 0E A2 02 05 00 30 08 0C 01 76 0C 03 70 6B 67"},
        {{cmd::Job_finished{example_uuid, quarvel::Exited{0}, {{"out.txt", "x"}}}},
         "A3 29 30 27 " + uuid_octets + "A0 03 02 01 00 30 0E 30 0C 0C 07 6F 75 74 2E 74 78 74 0C 01 78"},
        {{cmd::Info_reply{}}, "B6 0A 30 08 30 00 30 00 30 00 30 00"},
        {{cmd::Info_reply{{{{t0, quarvel::period::Hourly, example_job}}, {}, {}, {"x"}}}},
         "B6 33 30 31 30 26 30 24 " + next_t0 + "A0 02 05 00 A0 0D " + job_a + "30 00 30 00 30 03 0C 01 78"},
    };
    for (const auto& c : cases) {
        const std::string bytes = hex(c.octets);
        EXPECT_EQ(cmd_to_str(c.value), bytes) << c.octets;
        const auto decoded = cmd_of_str(bytes);
        ASSERT_TRUE(decoded) << c.octets << ": " << decoded.error();
        EXPECT_EQ(*decoded, c.value) << c.octets;
    }
}

TEST(CmdEncoding, OlderFormsAreReadAndWrittenInTheNewerForm) {
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

TEST(CmdEncoding, Failures) {
    struct Failure {
        std::string octets;
        std::string message;
    };
    const Failure cases[] = {
        {"A0 03 02 01 00", "retired command"},
        {"A1 03 02 01 05", "retired command"},
        {"A8 02 05 00", "retired command"},
        // A retired alternative's contents are checked before it is refused.
        {"A0 02 05 00", "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 5)"},
        {"B7 02 05 00", "Type mismatch: expected: (Constructed CONTEXT 22) got: (Constructed CONTEXT 23)"},
        {"30 00", "Type mismatch: expected: (Constructed CONTEXT 22) got: (Constructed UNIVERSAL 16)"},
        {"B2 02 05 00 00", "trailing bytes"},
        {"A4 1D 30 1B " + uuid_octets + "0C 02 68 69 02 03 4C 4B 40 05", "trailing bytes"},
        {"AA 03 0C 01 61", "couldn't decode UUID"},
        {"A3 19 30 17 " + uuid_octets + "A0 03 02 01 00", "SEQUENCE: missing required: data"},
        {"A3 21 30 1F " + uuid_octets + "A0 03 02 01 00 30 06 30 04 0C 00 0C 00", "\"\": invalid path"},
        {"AE 09 30 07 A2 02 05 00 02 01 0D", "Type mismatch: expected: (Constructed CONTEXT 1) got: (Constructed CONTEXT 2)"},
        {"AD 05 30 03 0C 01 61", "SEQUENCE: missing required: next"},
        {"B6 08 30 06 30 00 30 00 30 00", "SEQUENCE: missing required: dropped-platforms"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure_of(cmd_of_str(hex(c.octets))), c.message) << c.octets;
}

TEST(CmdEncoding, TimestampIntegerAndDuration) {
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
