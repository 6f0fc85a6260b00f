// The member grammars of the state: a schedule item in its current form [3] and its older form [1], and a
// queue [4] with its jobs.
#include <gtest/gtest.h>

#include <string>

#include "state_bytes.hpp"

namespace {

using namespace state_bytes;

const std::string daily = hex("A1 02 05 00");
const std::string next_generalized = hex("18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A");
const std::string next_utc = hex("17 0D 32 34 30 31 30 32 30 33 30 34 30 35 5A");

TEST(StateSyntax, OldScheduleIsRewrittenInTheCurrentForm) {
    const std::string old = hex("30 24 A1 22 30 20 17 0D 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 30 0B 0C 01 61 0C 01 73 "
                                "30 00 0C 01 70");
    ASSERT_EQ(old.size(), 38u);
    const auto decoded = state_of_str(old);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, state{schedule_a});
    const std::string current = hex("30 28 A3 26 30 24 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A A1 02 05 00 A0 0D 30 0B 0C 01 "
                                    "61 0C 01 73 30 00 0C 01 70");
    EXPECT_EQ(state_to_str(*decoded), current);
    EXPECT_EQ(current.size(), 42u);
}

TEST(StateSyntax, ScheduleTimeForms) {
    // [3] takes either time form; [1] takes UTCTime only.
    const auto current_utc = state_of_str(sequence({tagged(3, sequence({next_utc, daily, tagged(0, job_a)}))}));
    ASSERT_TRUE(current_utc) << current_utc.error();
    EXPECT_EQ(*current_utc, state{schedule_a});

    EXPECT_EQ(failure_of(state_of_str(sequence({tagged(1, sequence({next_generalized, daily, job_a}))}))),
              "Type mismatch: expected: (ANY UNIVERSAL 23) got: (Primitive UNIVERSAL 24)");
}

TEST(StateSyntax, QueueListsJobsOfEitherKind) {
    // The platform, then the jobs: each a script job [0] or a vesk build job [1].
    struct Case {
        quarvel::job queued;
        std::string octets;
    };
    const Case cases[] = {
        {example_job, hex("30 18 A4 16 30 14 0C 01 70 30 0F A0 0D 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70")},
        {quarvel::vesk_build_job{"v", "pkg"}, hex("30 15 A4 13 30 11 0C 01 70 30 0C A1 0A 30 08 0C 01 76 0C 03 70 6B 67")},
    };
    for (const auto& c : cases) {
        const state queue{state_item{state_item::Queue{"p", {c.queued}}}};
        EXPECT_EQ(state_to_str(queue), c.octets);
        const auto decoded = state_of_str(c.octets);
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(*decoded, queue);
    }
}

}  // namespace
