// The rule for the path of an output file: an empty path or one holding the octet 0 is refused, quoted
// and escaped in the message; any other is kept with its runs of "/" collapsed.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <quarvel/asn.hpp>

#include "asn_bytes.hpp"

namespace {

using namespace asn_bytes;
using quarvel::asn::exec_of_str;

std::string output_with_path(std::string_view path) { return sequence({sequence({utf8(path), utf8("x")})}); }

TEST(PathRule, OutputPathsAreCheckedAndNormalised) {
    struct Case {
        std::string path;
        std::string stored;
    };
    const Case valid[] = {
        {"a//b", "a/b"}, {"//a", "//a"},   {"///a", "//a"},      {"a///b//", "a/b/"}, {"/", "/"},
        {"//", "//"},    {"////", "//"},   {"/abs/../x", "/abs/../x"}, {"a/b", "a/b"}, {"\xff\x01", "\xff\x01"},
    };
    for (const auto& c : valid) {
        members m;
        m.output = output_with_path(c.path);
        const auto decoded = exec_of_str(m.record());
        ASSERT_TRUE(decoded) << decoded.error();
        ASSERT_EQ(decoded->output.size(), 1u);
        EXPECT_EQ(decoded->output[0].path, c.stored) << c.path;
    }

    const Case invalid[] = {
        {"", "\"\": invalid path"},
        {std::string("\0", 1), "\"\\x00\": invalid path"},
        {std::string("a\0b", 3), "\"a\\x00b\": invalid path"},
        {std::string("q\"\\\b\t\n\r\x7f\xff\x1b\xc3\xa9 ~\0", 15),
         "\"q\\\"\\\\\\b\\t\\n\\r\\x7F\\xFF\\x1B\\xC3\\xA9 ~\\x00\": invalid path"},
        {std::string("//x\0", 4), "\"//x\\x00\": invalid path"},
    };
    for (const auto& c : invalid) {
        members m;
        m.output = output_with_path(c.path);
        const auto decoded = exec_of_str(m.record());
        ASSERT_FALSE(decoded) << c.stored;
        EXPECT_EQ(decoded.error(), c.stored);
    }
}

}  // namespace
