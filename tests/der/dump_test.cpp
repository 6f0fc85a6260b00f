// Layout of octet dumps inside messages: groups of eight octets joined by breaks that become line feeds at
// the 78-column margin.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <der/dump.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

TEST(OctetDump, GroupsAndBreaks) {
    struct dump_case {
        std::string octets;
        std::size_t column;
        std::string text;
    };
    const std::string x16 = "0123456789abcdef";
    const std::string group = hex(x16);
    const std::vector<dump_case> cases = {
        {"", 11, ""},
        {hex("00"), 11, "00"},
        {hex("FF 7F 80 01 AB CD EF 10"), 0, "ff7f8001abcdef10"},
        {hex("00 80 00 00 00 00 00 00 00"), 23, "0080000000000000 00"},
        // From column 11 four groups fit: the fourth ends exactly at the margin.
        {der_test::repeat(group, 5), 11,
         x16 + " " + x16 + " " + x16 + " " + x16 + "\n" + std::string(11, ' ') + x16},
        // From column 45 two groups fit, the second up to the margin; a third, even a short one, does not.
        {der_test::repeat(group, 2) + hex("01"), 45, x16 + " " + x16 + "\n" + std::string(45, ' ') + "01"},
        // A column beyond the margin: every group on its own line, indented all the same.
        {der_test::repeat(group, 2), 70, x16 + "\n" + std::string(70, ' ') + x16},
    };
    for (const auto& c : cases) EXPECT_EQ(der::octet_dump(c.octets, c.column), c.text) << c.column;
}

TEST(OctetDump, EveryLineFitsTheMargin) {
    const std::string octets(1 << 20, '\x5a');
    for (const std::size_t column : {std::size_t{0}, std::size_t{11}, std::size_t{42}, std::size_t{45}}) {
        const std::string text = der::octet_dump(octets, column);
        std::istringstream lines(text);
        std::string line;
        std::size_t digits = 0;
        bool first = true;
        while (std::getline(lines, line)) {
            const std::size_t start = first ? column : 0;
            EXPECT_LE(start + line.size(), der::margin);
            if (!first) {
                EXPECT_EQ(line.substr(0, column), std::string(column, ' '));
            }
            for (const char c : line) digits += c == '5' || c == 'a';
            first = false;
        }
        EXPECT_EQ(digits, 2 * octets.size());
    }
}

}  // namespace
