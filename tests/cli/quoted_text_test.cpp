// The command line's quoted names and values, by the terminal rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command.hpp"
#include "cli/hostile_text.hpp"
#include "cli/messages.hpp"

namespace {

// Quoted names and values are the command line's: escaped between the quotation marks, and inside the
// bold when styled, whose own escape sequences are the only ones left.
TEST(TerminalText, QuotedNamesAndValuesInBothStyles) {
    cli::presentation plain;
    cli::presentation styled;
    styled.styled = true;
    for (const auto& t : test::all_texts()) {
        EXPECT_EQ(cli::quoted(plain, t.raw), "'" + t.shown + "'") << t.what;
        EXPECT_EQ(cli::quoted(styled, t.raw), "\x1b[01m" + t.shown + "\x1b[m") << t.what;
    }
    const std::vector<std::string> surplus{"x", "y\x1b[5m"};
    EXPECT_EQ(cli::too_many_arguments_message(plain, surplus),
              "too many arguments, don't know what to do with 'x', 'y\\e[5m'");
    EXPECT_EQ(cli::no_file_or_directory_reason(plain, "no\x1b[5mfile"), "no 'no\\e[5mfile' file or directory");
}

}  // namespace
