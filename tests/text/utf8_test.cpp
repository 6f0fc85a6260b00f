// Strict UTF-8, as the terminal rule, the JSON output and the manual read text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/utf8.hpp"

namespace {

TEST(Utf8, UnitsAreSequencesOrSingleBytesThatBeginNone) {
    struct row {
        std::string_view text;
        std::size_t length;
        char32_t code;
        bool valid;
    };
    const row rows[] = {
        {"a", 1, U'a', true},
        {"\xc3\xa9", 2, 0xe9, true},
        {"\xe2\x80\xa6", 3, 0x2026, true},
        {"\xf0\x9f\x98\x80", 4, 0x1f600, true},
        {"\xf4\x8f\xbf\xbf", 4, 0x10ffff, true},
        {"\xc0\xaf", 1, 0xc0, false},          // overlong
        {"\xe0\x80\xaf", 1, 0xe0, false},      // overlong
        {"\xed\xa0\x80", 1, 0xed, false},      // surrogate
        {"\xf4\x90\x80\x80", 1, 0xf4, false},  // beyond U+10FFFF
        {"\xf5\x80\x80\x80", 1, 0xf5, false},  // no lead byte
        {"\xe2\x80", 1, 0xe2, false},          // cut short
        {"\x80", 1, 0x80, false},              // stray
        {"\xc3" "a", 1, 0xc3, false},          // no continuation
    };
    for (const auto& r : rows) {
        const auto u = text::utf8_unit_at(r.text, 0);
        EXPECT_EQ(u.length, r.length) << testing::PrintToString(r.text);
        EXPECT_EQ(u.code, r.code) << testing::PrintToString(r.text);
        EXPECT_EQ(u.valid, r.valid) << testing::PrintToString(r.text);
        EXPECT_EQ(text::valid_utf8(r.text), r.valid && r.length == r.text.size()) << testing::PrintToString(r.text);
    }
}

// Text is checked eight ASCII bytes at a time where it can: a bad byte is found in every position of a
// word and in the tail after the last whole word.
TEST(Utf8, ABadByteIsFoundWhereverItLies) {
    for (std::size_t at = 0; at < 19; ++at) {
        std::string bytes(19, 'a');
        EXPECT_TRUE(text::valid_utf8(bytes));
        bytes[at] = '\x80';
        EXPECT_FALSE(text::valid_utf8(bytes)) << at;
        bytes.replace(at, 1, "\xc3\xa9");
        EXPECT_TRUE(text::valid_utf8(bytes)) << at;
    }
}

}  // namespace
