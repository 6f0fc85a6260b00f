// SEQUENCE, SEQUENCE OF and EXPLICIT: recognition of elements and the messages of the grammar layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include <der/grammar.hpp>

#include "der/grammar_checks.hpp"
#include "der/hex.hpp"

namespace {

using der_test::hex;
using der_test::decode_one;
using der_test::message_of;
using der_test::ambiguity_of;

TEST(Grammar, ConstructedEncode) {
    const auto pair = der::sequence2(der::required("n", der::int_), der::required("z", der::null));
    EXPECT_EQ(der::encode(der::codec(pair), std::tuple{5, std::monostate{}}), hex("30 05 02 01 05 05 00"));
    EXPECT_EQ(der::encode(der::codec(der::explicit_(3, der::int_)), 1), hex("A3 03 02 01 01"));
    EXPECT_EQ(der::encode(der::codec(der::sequence_of(der::int_)), std::vector<int>{}), hex("30 00"));
    EXPECT_EQ(der::encode(der::codec(der::explicit_(22, der::null)), std::monostate{}), hex("B6 02 05 00"));
    // Long contents lengths in nested headers.
    const auto lines = der::sequence_of(der::utf8_string);
    const std::vector<std::string> items(2, std::string(125, 'a'));
    const std::string item = hex("0C 7D") + std::string(125, 'a');
    EXPECT_EQ(der::encode(der::codec(lines), items), hex("30 81 FE") + item + item);
}

TEST(Grammar, SequenceRecognition) {
    const auto seq = der::sequence3(der::required("first", der::int_), der::optional("maybe", der::null),
                                    der::required("last", der::utf8_string));
    using value = std::tuple<std::int64_t, std::optional<std::monostate>, std::string>;
    EXPECT_EQ(decode_one(seq, hex("30 08 02 01 01 05 00 0C 01 61")), (value{1, std::monostate{}, "a"}));
    // The optional element's child is absent: the same child matches the next element.
    EXPECT_EQ(decode_one(seq, hex("30 06 02 01 01 0C 01 61")), (value{1, std::nullopt, "a"}));
    // A required element takes the next child whatever its tag.
    EXPECT_EQ(message_of(seq, hex("30 02 05 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 5)");
    EXPECT_EQ(message_of(seq, hex("30 05 02 01 01 05 00")),
              "SEQUENCE: missing required: last");
    EXPECT_EQ(message_of(seq, hex("30 03 02 01 01")), "SEQUENCE: missing required: last");
    EXPECT_EQ(message_of(seq, hex("30 00")), "SEQUENCE: missing required: first");
    EXPECT_EQ(message_of(seq, hex("30 0A 02 01 01 05 00 0C 01 61 05 00")),
              "SEQUENCE: trailing: [(Primitive UNIVERSAL 5)]");
    // An optional element whose tag matches is taken, and its failure is the decode's failure.
    EXPECT_EQ(message_of(seq, hex("30 09 02 01 01 05 01 00 0C 01 61")), "NULL: 00");

    // An optional element at the end with no child left is absent.
    const auto tail = der::sequence2(der::required("a", der::int_), der::optional("b", der::utf8_string));
    EXPECT_EQ(decode_one(tail, hex("30 03 02 01 07")), (std::tuple{std::int64_t{7}, std::optional<std::string>{}}));
    EXPECT_EQ(decode_one(tail, hex("30 06 02 01 07 0C 01 78")), (std::tuple{std::int64_t{7}, std::optional<std::string>{"x"}}));
    // A child that matches no element is trailing.
    EXPECT_EQ(message_of(tail, hex("30 05 02 01 07 05 00")), "SEQUENCE: trailing: [(Primitive UNIVERSAL 5)]");
}

TEST(Grammar, TrailingListBreaksLines) {
    const auto one = der::sequence(der::required("a", der::null));
    const std::string children = der_test::repeat(hex("30 00"), 4);
    const std::string list = "[(Constructed UNIVERSAL 16), (Constructed UNIVERSAL 16),\n" + std::string(21, ' ') +
                             "(Constructed UNIVERSAL 16), (Constructed UNIVERSAL 16)]";
    EXPECT_EQ(message_of(one, hex("30 0A 05 00") + children), "SEQUENCE: trailing: " + list);
    EXPECT_EQ(message_of(der::explicit_(0, der::null), hex("A0 08") + children), "EXPLICIT: sequence: " + list);
}

TEST(Grammar, ExplicitNeedsExactlyOneChild) {
    const auto g = der::explicit_(0, der::int_);
    EXPECT_EQ(decode_one(g, hex("A0 03 02 01 2A")), 42);
    EXPECT_EQ(message_of(g, hex("A0 00")), "EXPLICIT: sequence: []");
    EXPECT_EQ(message_of(g, hex("A0 06 02 01 01 02 01 02")),
              "EXPLICIT: sequence: [(Primitive UNIVERSAL 2), (Primitive UNIVERSAL 2)]");
}

TEST(Grammar, SequenceOf) {
    const auto g = der::sequence_of(der::int_);
    EXPECT_EQ(decode_one(g, hex("30 00")), std::vector<std::int64_t>{});
    EXPECT_EQ(decode_one(g, hex("30 06 02 01 01 02 01 FF")), (std::vector<std::int64_t>{1, -1}));
    EXPECT_EQ(message_of(g, hex("30 05 02 01 01 05 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 5)");
}

TEST(Grammar, NestingLimitThroughDecode) {
    // SEQUENCE OF SEQUENCE OF ... NULL: 63 SEQUENCEs around a NULL decode, 64 are refused while parsing.
    const auto wrap = [](std::size_t sequences) {
        std::string bytes = hex("05 00");
        for (std::size_t i = 0; i < sequences; ++i) {
            std::string header;
            der::write_header(header, der::tags::sequence, der::form::constructed, bytes.size());
            bytes = header + bytes;
        }
        return bytes;
    };
    const auto g = der::sequence_of(der::sequence_of(der::int_));
    EXPECT_EQ(message_of(g, wrap(63)), "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Constructed UNIVERSAL 16)");
    EXPECT_EQ(message_of(g, wrap(64)), "nesting deeper than 64 levels");
}

}  // namespace
