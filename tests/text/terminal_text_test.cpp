// The terminal rule: what a terminal would act on becomes a visible escape, printable text stays as it is.
#include <gtest/gtest.h>

#include <cstdint>
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

TEST(TerminalText, InPlaceLeavesACleanTextUntouched) {
    for (const auto& t : test::all_texts()) {
        std::string text = t.raw;
        const char* const before = text.data();
        text::make_terminal_text(text);
        EXPECT_EQ(text, t.shown) << t.what;
        if (t.raw == t.shown) {
            EXPECT_EQ(text.data(), before) << t.what;  // no copy
        }
    }
}

// Between quotes, a backslash and a quote are escaped too: every escape begins with a lone backslash, so
// no two texts read alike.
TEST(TerminalText, QuotedIsLossless) {
    struct case_ {
        std::string raw, shown;
    };
    const std::vector<case_> cases{
        {"", R"("")"},
        {"abc", R"("abc")"},
        {"\\", R"("\\")"},
        {"\"", R"("\"")"},
        {"\xff\\xff", R"("\xff\\xff")"},
        {"\\xff\xff", R"("\\xff\xff")"},
        {"a\x1b[2J\\e\"q\"", R"("a\e[2J\\e\"q\"")"},
        // A bad byte before a backslash is escaped alone, as anywhere else.
        {"\xe2\\\x80", R"("\xe2\\\x80")"},
        {"caf\xc3\xa9 \xe2\x80\xae", "\"caf\xc3\xa9 \\u202e\""},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        text::append_quoted_terminal_text(out, c.raw);
        EXPECT_EQ(out, "x" + c.shown) << c.raw;
    }
}

// The same question the rule asks, for the outputs that escape in their own syntax (JSON).
TEST(TerminalText, WhatATerminalActsOn) {
    for (char32_t c : {0x00, 0x1b, 0x1f, 0x7f, 0x80, 0x9b, 0x9f, 0x061c, 0x200e, 0x200f, 0x2028, 0x2029, 0x202a,
                       0x202e, 0x2066, 0x2069})
        EXPECT_TRUE(text::acts_on_terminal(c)) << static_cast<std::uint32_t>(c);
    for (char32_t c : {0x20, 0x7e, 0xa0, 0xe9, 0x200d, 0x2027, 0x202f, 0x2065, 0x206a, 0x10ffff})
        EXPECT_FALSE(text::acts_on_terminal(c)) << static_cast<std::uint32_t>(c);
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
