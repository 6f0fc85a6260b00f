// The terminal rule: what a terminal would act on becomes a visible escape, printable text stays as it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/hostile_text.hpp"
#include "text/terminal_text.hpp"

namespace {

TEST(TerminalText, EscapesWhatATerminalWouldActOn) {
    for (const auto& t : test::hostile_texts()) {
        EXPECT_EQ(text::terminal_text(t.raw), t.shown) << t.what;
        EXPECT_EQ(test::terminal_hazard(text::terminal_text(t.raw)), "") << t.what;
    }
    struct case_ {
        std::string raw, shown;
    };
    const std::vector<case_> cases{
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x1b\x1b", "\\e\\e"},
        {"\r\n", "\\r\\n"},
        // A C1 control, a bidi control or a bad byte in the middle of good letters: only it is escaped.
        {"\xc3\xa9\xc2\x9b\xc3\xa9", "\xc3\xa9\\u009b\xc3\xa9"},
        {"\xc3\xa9\xe2\x80\xae\xc3\xa9", "\xc3\xa9\\u202e\xc3\xa9"},
        // A lead byte whose sequence breaks off: the lead alone is bad, what follows is read afresh.
        {"\xe2\x80" "a\xc3\xa9", "\\xe2\\x80a\xc3\xa9"},
        {"\xc3\xc3\xa9", "\\xc3\xc3\xa9"},
        // The highest code point and the first after the surrogates are letters to the rule.
        {"\xf4\x8f\xbf\xbf\xee\x80\x80", "\xf4\x8f\xbf\xbf\xee\x80\x80"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(text::terminal_text(c.raw), c.shown) << c.raw;
}

TEST(TerminalText, PrintableTextStaysByteForByte) {
    for (const auto& t : test::printable_texts()) {
        EXPECT_EQ(text::terminal_text(t.raw), t.raw) << t.what;
        EXPECT_EQ(text::terminal_message(t.raw), t.raw) << t.what;
    }
}

// An escaped text has nothing left to escape: a message that passes two layers reads as after one.
TEST(TerminalText, IsIdempotent) {
    for (const auto& t : test::all_texts()) {
        EXPECT_EQ(text::terminal_text(text::terminal_text(t.raw)), text::terminal_text(t.raw)) << t.what;
        EXPECT_EQ(text::terminal_message(text::terminal_message(t.raw)), text::terminal_message(t.raw)) << t.what;
    }
}

TEST(TerminalText, AppendsAfterWhatIsThere) {
    std::string out = "name ";
    text::append_terminal_text(out, "a\x1b[2Jb");
    EXPECT_EQ(out, "name a\\e[2Jb");
}

// A message keeps its line feeds, which the message box lays out as break points (a decoder's octet dump
// spans lines); everything else is escaped as in a name.
TEST(TerminalText, MessagesKeepTheirLineFeeds) {
    EXPECT_EQ(text::terminal_message("Header: at 3003\n            0201: redundant length"),
              "Header: at 3003\n            0201: redundant length");
    EXPECT_EQ(text::terminal_message("GeneralizedTime: invalid format: 2024\x1b]0;TITLE\x07Z"),
              "GeneralizedTime: invalid format: 2024\\e]0;TITLE\\aZ");
    EXPECT_EQ(text::terminal_message("a\r\n\tb\xc2\x9b\xff"), "a\\r\n\\tb\\u009b\\xff");
    for (const auto& t : test::all_texts())
        EXPECT_EQ(text::terminal_message(t.raw), test::shown_in_message(t)) << t.what;
}

}  // namespace
