// Matching of names and keys: the edit distance of suggestions, exact text before a unique prefix.
#include <gtest/gtest.h>

#include "cli/manual.hpp"
#include "cli/matching.hpp"

namespace {

TEST(Matching, EditDistanceCountsTranspositionsAsOneEdit) {
    EXPECT_EQ(cli::edit_distance("--jbo", "--job"), 1u);
    EXPECT_EQ(cli::edit_distance("", "abc"), 3u);
    EXPECT_EQ(cli::edit_distance("kitten", "sitting"), 3u);
    EXPECT_EQ(cli::option_sort_key(cli::flag({"-q", "--quiet"}, "")), "-q");
    EXPECT_EQ(cli::option_sort_key(cli::flag({"--Color"}, "")), "-color");
}

TEST(Matching, KeysByExactTextThenByUniquePrefix) {
    const std::vector<std::string> keys{"warning", "quiet", "error", "warning", "info", "debug"};
    EXPECT_EQ(cli::find_key(keys, "warning", false).index, 3u);
    EXPECT_EQ(cli::find_key(keys, "warn", false).outcome, cli::match_outcome::not_found);
    EXPECT_EQ(cli::find_key(keys, "warn", true).index, 3u);
    EXPECT_EQ(cli::find_key(keys, "", true).outcome, cli::match_outcome::not_found);
    const auto both = cli::find_key(std::vector<std::string>{"pager", "plain", "groff"}, "p", true);
    EXPECT_EQ(both.outcome, cli::match_outcome::ambiguous);
    EXPECT_EQ(both.candidates, (std::vector<std::string>{"pager", "plain"}));
}

}  // namespace
