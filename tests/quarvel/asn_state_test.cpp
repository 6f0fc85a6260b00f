#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <quarvel/log.hpp>

#include "state_bytes.hpp"

namespace {

using namespace state_bytes;

const state_item dropped_x{state_item::Dropped_platform{"x"}};

// Collects the messages of the log while alive.
struct captured_log {
    struct entry {
        std::string source;
        quarvel::log::level level;
        std::string text;
        bool operator==(const entry&) const = default;
    };
    std::vector<entry> entries;

    captured_log() {
        quarvel::log::set_level(quarvel::log::level::warning);
        quarvel::log::set_reporter([this](const quarvel::log::source& from, quarvel::log::level lvl, std::string_view,
                                          std::string_view text) {
            entries.push_back({std::string(from.name), lvl, std::string(text)});
        });
    }
    ~captured_log() { quarvel::log::set_reporter({}); }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.text);
        return out;
    }
};

constexpr std::string_view script_job_warning = "script job for queue no longer supported, ignoring";
constexpr std::string_view job_warning = "job for queue no longer supported, ignoring";

TEST(StateEncoding, ExamplesBothWays) {
    struct Case {
        state value;
        std::string octets;
    };
    const Case cases[] = {
        {{},
         hex("30 00")},
        {{dropped_x}, hex("30 05 A5 03 0C 01 78")},
        {{schedule_a, dropped_x},
         hex("30 2D A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 0B 0C 01 61 0C 01 "
             "73 30 00 0C 01 70 A5 03 0C 01 78")},
        {{state_item{state_item::Queue{"p1", {}}}},
         hex("30 0A A4 08 30 06 0C 02 70 31 30 00")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(state_to_str(c.value), c.octets);
        const auto decoded = state_of_str(c.octets);
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(*decoded, c.value);
    }
}

TEST(StateEncoding, RetiredItemsAreDroppedWithTheirWarningsInInputOrder) {
    captured_log log;
    const std::string input = sequence({tagged(2, tagged(0, job_a)), hex("A5 03 0C 01 78"), tagged(0, job_a)});
    const auto decoded = state_of_str(input);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, state{dropped_x});
    using entry = captured_log::entry;
    EXPECT_EQ(log.entries, (std::vector<entry>{{"quarvel", quarvel::log::level::warning, std::string(job_warning)},
                                               {"quarvel", quarvel::log::level::warning, std::string(script_job_warning)}}));
    EXPECT_EQ(state_to_str(*decoded), hex("30 05 A5 03 0C 01 78"));
}

TEST(StateEncoding, OnlyRetiredItemsGiveTheEmptyState) {
    captured_log log;
    const std::string one = hex("30 0F A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");
    ASSERT_EQ(one.size(), 17u);
    const auto decoded = state_of_str(one);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_TRUE(decoded->empty());
    EXPECT_EQ(log.texts(), std::vector<std::string>{std::string(script_job_warning)});

    // A vesk build job in [2] is dropped the same way.
    const auto two = state_of_str(sequence({tagged(0, job_a), tagged(2, tagged(1, sequence({utf8("v"), utf8("pkg")})))}));
    ASSERT_TRUE(two) << two.error();
    EXPECT_TRUE(two->empty());
    EXPECT_EQ(log.texts(), (std::vector<std::string>{std::string(script_job_warning), std::string(script_job_warning),
                                                     std::string(job_warning)}));
}

TEST(StateEncoding, FailuresReturnNoStateAndKeepEarlierWarnings) {
    captured_log log;
    struct Case {
        std::string input;
        std::string message;
    };
    const Case cases[] = {
        {sequence({tagged(0, job_a), hex("A6 02 05 00")}),
         "Type mismatch: expected: (Constructed CONTEXT 5) got: (Constructed CONTEXT 6)"},
        {hex("30 00 00"), "trailing bytes"},
        {hex("30 05 A5 03 0C 01 78") + "x", "trailing bytes"},
        {hex("A5 03 0C 01 78"), "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Constructed CONTEXT 5)"},
        {sequence({tagged(4, sequence({utf8("p")}))}), "SEQUENCE: missing required: jobs"},
        {sequence({tagged(4, sequence({utf8("p"), sequence({tagged(0, sequence({utf8("a"), utf8("s"),
                                                                                sequence({sequence({utf8(""), utf8("")})})}))})}))}),
         "\"\": invalid path"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure_of(state_of_str(c.input)), c.message);
    EXPECT_EQ(log.texts(), std::vector<std::string>{std::string(script_job_warning)});
}

TEST(StateEncoding, ItemOrderIsKept) {
    const state s{
        state_item{state_item::Queue{"p1", {example_job, quarvel::vesk_build_job{"v", "pkg"}}}},
        schedule_a,
        state_item{state_item::Queue{"p2", {}}},
        state_item{state_item::Schedule{{{t0.seconds, 250'000'000}, quarvel::period::Never, quarvel::vesk_build_job{"w", "q"}}}},
        dropped_x,
    };
    const std::string bytes = state_to_str(s);
    const auto decoded = state_of_str(bytes);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, s);
}

}  // namespace
