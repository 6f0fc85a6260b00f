#include <gtest/gtest.h>

#include <cstdint>

#include <quarvel/pp.hpp>

#include "inspect/transcript.hpp"
#include "transcript_lines.hpp"

namespace {

using quarvel::console_line;

const quarvel::timestamp started = quarvel::der::from_civil({2024, 1, 2, 3, 4, 5});
const quarvel::timestamp finished = quarvel::der::from_civil({2024, 1, 2, 3, 4, 6});

std::string console_text(std::int64_t delta, const std::string& data) {
    std::string out;
    inspect::append_console_line(out, quarvel::console_line_view{delta, data});
    return out;
}

TEST(ConsoleLine, MillisecondsAreTheDeltaRoundedDown) {
    struct row {
        std::int64_t delta;
        std::string_view expected;
    };
    const row rows[] = {
        {5'000'000, "5ms: \"x\""},
        {999'999, "0ms: \"x\""},
        {1'999'999, "1ms: \"x\""},
        {0, "0ms: \"x\""},
        // Read as an unsigned 64-bit count: -1 is 2^64 - 1 nanoseconds.
        {-1, "18446744073709ms: \"x\""},
        {INT64_MIN, "9223372036854ms: \"x\""},
        {INT64_MAX, "9223372036854ms: \"x\""},
    };
    for (const auto& r : rows) EXPECT_EQ(console_text(r.delta, "x"), r.expected) << r.delta;
}

TEST(ConsoleLine, DataIsQuotedWithEscapes) {
    EXPECT_EQ(console_text(1'000'000, ""), "1ms: \"\"");
    EXPECT_EQ(console_text(0, std::string("\t\r\0\b\\", 5)), "0ms: \"\\t\\r\\000\\b\\\\\"");
    EXPECT_EQ(console_text(0, "\x7f\x1f~ "), "0ms: \"\\127\\031~ \"");

    // say "hi", a line feed and an e with acute accent in UTF-8: the 28 bytes, nothing more.
    const std::string line = console_text(12'000'000, "say \"hi\"\n\xC3\xA9");
    const std::string expected = "12ms: \"say \\\"hi\\\"\\n\\195\\169\"";
    EXPECT_EQ(line, expected);
    EXPECT_EQ(line.size(), 28u);
}

TEST(ConsoleLine, AppendsToWhatIsThere) {
    std::string out = "> ";
    inspect::append_console_line(out, quarvel::console_line_view{2'000'000, "a"});
    EXPECT_EQ(out, "> 2ms: \"a\"");
}

// The console line writes its quoted form itself, eight bytes at a time where it can: every byte value,
// in every position of a word and in the tail after the last whole word, quotes as the text forms do.
TEST(ConsoleLine, QuotesEveryByteInEveryPositionAsTheTextForms) {
    for (int byte = 0; byte < 256; ++byte) {
        for (std::size_t at = 0; at < 19; ++at) {
            std::string data(19, 'a');
            data[at] = static_cast<char>(byte);
            ASSERT_EQ(console_text(0, data), "0ms: " + quarvel::quoted(data)) << "byte " << byte << " at " << at;
        }
        const std::string run(17, static_cast<char>(byte));
        ASSERT_EQ(console_text(0, run), "0ms: " + quarvel::quoted(run)) << "byte " << byte;
    }
}

TEST(Transcript, StartConsoleLastFirstResultStop) {
    const std::vector<console_line> console{{1'000'000, "l1"}, {2'000'000, "l2"}, {3'000'000, "l3"}};
    EXPECT_EQ(test::transcript_lines(console, started, finished, quarvel::Exited{0}),
              (std::vector<std::string>{"started at 2024-01-02T03:04:05-00:00", "3ms: \"l3\"", "2ms: \"l2\"",
                                        "1ms: \"l1\"", "exited 0", "stopped at 2024-01-02T03:04:06-00:00"}));
}

TEST(Transcript, EmptyConsoleGivesThreeLines) {
    EXPECT_EQ(test::transcript_lines({}, started, finished, quarvel::Msg{"boom"}),
              (std::vector<std::string>{"started at 2024-01-02T03:04:05-00:00", "execution aborted: boom",
                                        "stopped at 2024-01-02T03:04:06-00:00"}));
}

TEST(Transcript, ResultLineIsTheResultsTextForm) {
    struct row {
        quarvel::execution_result result;
        std::string_view expected;
    };
    const row rows[] = {
        {quarvel::Exited{0}, "exited 0"},
        {quarvel::Exited{-3}, "exited -3"},
        {quarvel::Signalled{9}, "signalled 9"},
        {quarvel::Stopped{19}, "stopped 19"},
        {quarvel::Msg{"boom"}, "execution aborted: boom"},
    };
    for (const auto& r : rows) EXPECT_EQ(test::transcript_lines({}, started, finished, r.result)[1], r.expected);
}

TEST(Transcript, TimestampsDropTheFractionOfASecond) {
    const auto late = quarvel::der::from_civil({2024, 1, 2, 3, 4, 5}, 999'000'000);
    const auto lines = test::transcript_lines({}, late, late, quarvel::Exited{0});
    EXPECT_EQ(lines.front(), "started at 2024-01-02T03:04:05-00:00");
    EXPECT_EQ(lines.back(), "stopped at 2024-01-02T03:04:05-00:00");
}

}  // namespace
