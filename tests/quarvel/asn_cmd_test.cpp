#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"
#include "cmd_bytes.hpp"

namespace {

using namespace cmd_bytes;

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

// Converts to a text by throwing: emplacing an alternative made from it leaves a variant valueless.
struct throwing_text {
    operator std::string() const { throw std::runtime_error("no text"); }
};

template <class Alternative, class Variant>
void leave_valueless(Variant& v) {
    try {
        v.template emplace<Alternative>(throwing_text{});
    } catch (const std::runtime_error&) {
    }
    ASSERT_TRUE(v.valueless_by_exception());
}

// A valueless variant has no encoding: every encoder stops with the message its header documents, rather
// than throw std::bad_variant_access out of the library.
TEST(EncodingDeathTest, ValuelessVariantStopsWithAMessage) {
    const char* const message = "quarvel: an encoder was given a variant left valueless by an exception";
    cmd c{cmd::Failure{"x"}};
    leave_valueless<cmd::Failure>(c.value);
    EXPECT_DEATH(quarvel::asn::cmd_to_str(c), message);

    quarvel::execution_record record = asn_bytes::example_record();
    leave_valueless<quarvel::Msg>(record.result);
    EXPECT_DEATH(quarvel::asn::exec_to_str(record), message);

    quarvel::state state{quarvel::state_item{quarvel::state_item::Dropped_platform{"a"}}};
    leave_valueless<quarvel::state_item::Dropped_platform>(state[0].value);
    EXPECT_DEATH(quarvel::asn::state_to_str(state), message);

    cmd finished{cmd::Job_finished{asn_bytes::example_uuid, quarvel::Exited{0}, {}}};
    leave_valueless<quarvel::Msg>(std::get<cmd::Job_finished>(finished.value).result);
    EXPECT_DEATH(quarvel::asn::cmd_to_str(finished), message);
}

}  // namespace
