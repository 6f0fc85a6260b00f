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
        {"ends with a break: ", 2, 78, "ends with a break: "},
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
        // Laid out as it comes, whole or one character at a time: the same lines.
        for (const std::size_t piece : {c.text.size() + 1, std::size_t{1}}) {
            std::string streamed;
            cli::message_box_writer box(c.column, c.width, [&](std::string_view s) { streamed += s; });
            for (std::size_t at = 0; at < c.text.size(); at += piece) box.write(std::string_view(c.text).substr(at, piece));
            box.finish();
            EXPECT_EQ(streamed, c.expected) << "pieces of " << piece;
        }
    }
}

}  // namespace
