#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <der/primitives.hpp>

#include <quarvel/asn.hpp>
#include <quarvel_toolkit/releasing_decode.hpp>
#include "grammars.hpp"

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::asn::exec_of_str;
using quarvel::asn::exec_to_str;

TEST(ExecEncoding, WorkedExampleBothWays) {
    const std::string bytes = hex(example_record_hex);
    ASSERT_EQ(bytes.size(), 105u);
    EXPECT_EQ(exec_to_str(example_record()), bytes);
    const auto decoded = exec_of_str(bytes);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, example_record());
    EXPECT_EQ(members{}.record(), bytes);
}

TEST(ExecEncoding, StrictDecoding) {
    struct Case {
        std::string input;
        std::string message;
    };
    const Case cases[] = {
        {hex(example_record_hex) + '\0', "trailing bytes"},
        {"", "Unexpected EOF (msg index out of bounds): "},
        {hex("A1 02 05 00"), "reserved record alternative"},
        {hex("A1 03 02 01 00"), "Type mismatch: expected: (Primitive UNIVERSAL 5) got: (Primitive UNIVERSAL 2)"},
        {hex("A2 02 05 00"), "Type mismatch: expected: (Constructed CONTEXT 1) got: (Constructed CONTEXT 2)"},
        {tagged(0, sequence({members{}.job})), "SEQUENCE: missing required: uuid"},
        {tagged(0, sequence({sequence({utf8("a")})})), "SEQUENCE: missing required: script"},
        {[] {
             members m;
             m.finished.clear();
             return m.record();
         }(),
         "SEQUENCE: missing required: finished"},
    };
    for (const auto& c : cases) {
        const auto decoded = exec_of_str(c.input);
        ASSERT_FALSE(decoded) << c.message;
        EXPECT_EQ(decoded.error(), c.message);
    }
}

// Decoding in place while telling the caller how far the decode has gone: the same record, the same
// messages, and counts that grow to the end of the last console line or output file.
TEST(ExecEncoding, DecodingThatReportsHowFarItWentGivesTheSameResults) {
    quarvel::execution_record many = example_record();
    for (int i = 0; i < 300; ++i) many.console.push_back({i, std::string(static_cast<std::size_t>(i), 'c')});
    for (int i = 0; i < 5; ++i) many.output.push_back({"f" + std::to_string(i), std::string(1000, 'o')});
    const std::string bytes = exec_to_str(many);
    std::vector<std::size_t> reports;
    const auto decoded = quarvel::asn::exec_view_of_str_releasing(bytes, [&](std::size_t n) { reports.push_back(n); }, 4096);
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(quarvel::to_record(*decoded), many);
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i], reports[i - 1] + 4096);
    EXPECT_LE(reports.back(), bytes.size());
    EXPECT_GT(reports.back(), bytes.size() - 6 * 1010);  // within the output files

    for (const std::string& input : {hex(example_record_hex) + '\0', std::string(), hex("A1 02 05 00")}) {
        const auto plain = exec_of_str(input);
        const auto told = quarvel::asn::exec_view_of_str_releasing(input, [](std::size_t) {});
        ASSERT_FALSE(plain);
        ASSERT_FALSE(told);
        EXPECT_EQ(told.error().message, plain.error());
    }
}

// A result or delta outside the 63-bit range is a caller's fault (a debug build stops on it); otherwise
// the nearest value inside the range is written, so that the record still reads back.
#ifdef NDEBUG
TEST(ExecEncoding, IntegersOutsideTheRangeAreWrittenAsTheNearestOneInside) {
    const quarvel::execution_record record{example_job,         example_uuid, {{INT64_MIN, "x"}}, t0,
                                           {t0.seconds + 1, 0}, quarvel::Exited{INT64_MAX}, {}};
    const auto decoded = exec_of_str(exec_to_str(record));
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->result, quarvel::execution_result(quarvel::Exited{der::max_integer}));
    EXPECT_EQ(decoded->console, (std::vector<quarvel::console_line>{{der::min_integer, "x"}}));
}
#else
TEST(ExecEncodingDeathTest, IntegersOutsideTheRangeStopADebugBuild) {
    const quarvel::execution_record record{example_job,         example_uuid, {}, t0,
                                           {t0.seconds + 1, 0}, quarvel::Exited{INT64_MAX}, {}};
    EXPECT_DEATH(exec_to_str(record), "INTEGER outside");
}
#endif

TEST(Grammars, EveryGrammarPassesTheAmbiguityCheck) {
    namespace asn = quarvel::asn;
    const auto check = [](const auto& grammar) {
        const auto codec = der::try_codec(grammar);
        return codec ? std::string() : codec.error().reason;
    };
    EXPECT_EQ(check(asn::data_syntax()), "");
    EXPECT_EQ(check(asn::script_job_syntax()), "");
    EXPECT_EQ(check(asn::vesk_build_job_syntax()), "");
    EXPECT_EQ(check(asn::job_syntax()), "");
    EXPECT_EQ(check(asn::uuid_syntax()), "");
    EXPECT_EQ(check(asn::res_syntax()), "");
    EXPECT_EQ(check(asn::time_syntax()), "");
    EXPECT_EQ(check(asn::exec_syntax()), "");
    EXPECT_EQ(check(asn::period_syntax()), "");
    EXPECT_EQ(check(asn::schedule_syntax()), "");
    EXPECT_EQ(check(asn::legacy_schedule_syntax()), "");
    EXPECT_EQ(check(asn::state_item_syntax()), "");
    EXPECT_EQ(check(asn::client_or_worker_syntax()), "");
    EXPECT_EQ(check(asn::cmd_syntax()), "");
}

}  // namespace
