// The message box: text broken at spaces and forced line ends.
#include <gtest/gtest.h>

#include "cli/rich_text.hpp"

namespace {

TEST(TextLayout, MessageBoxBreaksAtSpacesAndForcedLineEnds) {
    const struct {
        std::string text;
        std::size_t column, width;
        std::string expected;
    } cases[] = {
        {"a  b\nc", 4, 78, "a b c"},
        {"a\n\nb", 4, 78, "a\n    b"},
        {"aaa bbb ccc", 2, 9, "aaa bbb\n  ccc"},
        {"aaa bbb ccc", 2, 8, "aaa\n  bbb\n  ccc"},
        {"averyveryverylongword b", 2, 8, "averyveryverylongword\n  b"},
        {"\x1b[01maaa\x1b[m bbb", 2, 9, "\x1b[01maaa\x1b[m bbb"},
        {"\u2026\u2026\u2026 bbb", 2, 9, "\u2026\u2026\u2026 bbb"},
        {"  ", 2, 9, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(cli::message_box(c.text, c.column, c.width), c.expected);
    }
}

}  // namespace
