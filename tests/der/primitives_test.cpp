// INTEGER and NULL contents, and element headers as written.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <der/element.hpp>
#include <der/primitives.hpp>
#include <der/writer.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

constexpr std::int64_t pow2(int n) { return std::int64_t{1} << n; }

TEST(Integer, Reading) {
    struct read_case {
        std::string contents;
        std::int64_t value;
    };
    const std::vector<read_case> accepted = {
        {hex("00"), 0},
        {hex("7F"), 127},
        {hex("80"), -128},
        {hex("FF"), -1},
        {hex("00 80"), 128},
        {hex("FF 7F"), -129},
        {hex("7F FF FF FF FF FF FF"), pow2(55) - 1},
        {hex("80 00 00 00 00 00 00"), -pow2(55)},
        {hex("3F FF FF FF FF FF FF FF"), pow2(62) - 1},
        {hex("C0 00 00 00 00 00 00 00"), -pow2(62)},
    };
    for (const auto& c : accepted) {
        const auto r = der::read_integer(c.contents);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(*r, c.value);
    }

    struct refused_case {
        std::string contents;
        std::string message;
    };
    const std::vector<refused_case> refused = {
        {"", "INTEGER: length 0"},
        {hex("00 7F"), "INTEGER: redundant form"},
        {hex("00 00"), "INTEGER: redundant form"},
        {hex("FF 80"), "INTEGER: redundant form"},
        {hex("FF FF"), "INTEGER: redundant form"},
        // The minimal-form rule comes before the size rule.
        {hex("00 7F 00 00 00 00 00 00 00"), "INTEGER: redundant form"},
        {hex("00 80 00 00 00 00 00 00 00"), "INTEGER: int overflow: 0080000000000000 00"},
        {hex("40 00 00 00 00 00 00 00"), "INTEGER: int overflow: 4000000000000000"},
        {hex("BF FF FF FF FF FF FF FF"), "INTEGER: int overflow: bfffffffffffffff"},
        {hex("80 00 00 00 00 00 00 00"), "INTEGER: int overflow: 8000000000000000"},
        {std::string(40, '\x11'), "INTEGER: int overflow: 1111111111111111 1111111111111111 1111111111111111\n" +
                                      std::string(23, ' ') + "1111111111111111 1111111111111111"},
    };
    for (const auto& c : refused) {
        const auto r = der::read_integer(c.contents);
        ASSERT_FALSE(r.has_value()) << *r;
        EXPECT_EQ(r.error(), c.message);
    }
}

std::string written(std::int64_t value) {
    std::string out;
    der::write_integer(out, value);
    EXPECT_EQ(out.size(), der::integer_size(value));
    return out;
}

TEST(Integer, Writing) {
    struct write_case {
        std::int64_t value;
        std::string contents;
    };
    const std::vector<write_case> cases = {
        {0, hex("00")},          {-1, hex("FF")},          {127, hex("7F")},
        {128, hex("00 80")},     {-128, hex("80")},        {-129, hex("FF 7F")},
        {32767, hex("7F FF")},   {32768, hex("00 80 00")}, {-32768, hex("80 00")},
        {-32769, hex("FF 7F FF")}, {pow2(62) - 1, hex("3F FF FF FF FF FF FF FF")},
        {-pow2(62), hex("C0 00 00 00 00 00 00 00")},
    };
    for (const auto& c : cases) EXPECT_EQ(written(c.value), c.contents) << c.value;
}

// Values outside the 63-bit range are a programming error: a debug build stops on them, other builds
// write the nearest value inside the range, which reads back.
TEST(Integer, ValuesOutsideTheRange) {
    const std::int64_t outside[] = {INT64_MAX, pow2(62), INT64_MIN, -pow2(62) - 1};
#ifdef NDEBUG
    for (const std::int64_t value : outside) {
        const std::string contents = written(value);
        EXPECT_EQ(contents, value > 0 ? hex("3F FF FF FF FF FF FF FF") : hex("C0 00 00 00 00 00 00 00")) << value;
        EXPECT_TRUE(der::read_integer(contents).has_value()) << value;
    }
#else
    for (const std::int64_t value : outside) {
        EXPECT_DEATH(written(value), "INTEGER outside") << value;
    }
#endif
}

// At every size boundary the shortest form is written, and it reads back.
TEST(Integer, SizeBoundaries) {
    for (int n = 1; n <= 7; ++n) {
        const std::int64_t high = pow2(8 * n - 1) - 1, low = -pow2(8 * n - 1);
        const std::size_t size = static_cast<std::size_t>(n);
        for (const auto& [value, expected] : std::vector<std::pair<std::int64_t, std::size_t>>{
                 {high, size}, {high + 1, size + 1}, {low, size}, {low - 1, size + 1}}) {
            const std::string contents = written(value);
            EXPECT_EQ(contents.size(), expected) << value;
            const auto back = der::read_integer(contents);
            ASSERT_TRUE(back.has_value()) << back.error();
            EXPECT_EQ(*back, value);
        }
    }
}

TEST(Null, Contents) {
    EXPECT_TRUE(der::read_null("").has_value());
    EXPECT_EQ(der::read_null(hex("00")).error(), "NULL: 00");
    EXPECT_EQ(der::read_null(hex("01 02 03 04 05 06 07 08 09")).error(), "NULL: 0102030405060708 09");
}

TEST(Writer, Headers) {
    struct header_case {
        der::tag tag;
        der::form form;
        std::size_t length;
        std::string octets;
    };
    const std::vector<header_case> cases = {
        {der::tags::integer, der::form::primitive, 1, hex("02 01")},
        {der::tags::null, der::form::primitive, 0, hex("05 00")},
        {der::tags::sequence, der::form::constructed, 127, hex("30 7F")},
        {der::tags::sequence, der::form::constructed, 128, hex("30 81 80")},
        {der::tags::sequence, der::form::constructed, 255, hex("30 81 FF")},
        {der::tags::sequence, der::form::constructed, 256, hex("30 82 01 00")},
        {der::tags::sequence, der::form::constructed, 65536, hex("30 83 01 00 00")},
        {der::context(3), der::form::constructed, 3, hex("A3 03")},
        {der::context(22), der::form::constructed, 0, hex("B6 00")},
        {der::context(30), der::form::constructed, 0, hex("BE 00")},
        {{der::tag_class::application, 1}, der::form::primitive, 0, hex("41 00")},
        {{der::tag_class::private_use, 0}, der::form::primitive, 0, hex("C0 00")},
        {der::universal(31), der::form::primitive, 0, hex("1F 1F 00")},
        {der::universal(127), der::form::primitive, 0, hex("1F 7F 00")},
        {der::context(128), der::form::constructed, 0, hex("BF 81 00 00")},
        {der::universal((std::uint64_t{1} << 56) - 1), der::form::primitive, 0, hex("1F FF FF FF FF FF FF FF 7F 00")},
    };
    for (const auto& c : cases) {
        std::string out;
        der::write_header(out, c.tag, c.form, c.length);
        EXPECT_EQ(out, c.octets) << der::tag_text(c.tag);
        EXPECT_EQ(der::header_size(c.tag, c.length), out.size());
        // What is written reads back as the same header (contents of zero octets parse only as primitive).
        if (c.form == der::form::constructed && c.length > 0) continue;
        const auto r = der::parse(out + std::string(c.length, '\0'));
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(r->root.tag, c.tag);
        EXPECT_EQ(r->root.form, c.form);
        EXPECT_EQ(r->root.contents.size(), c.length);
    }
}

}  // namespace
