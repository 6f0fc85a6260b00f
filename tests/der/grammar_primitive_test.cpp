// The primitive grammars: their octets, their messages, and what a decode gives back.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>

#include <der/grammar.hpp>

#include "der/grammar_checks.hpp"
#include "der/hex.hpp"

namespace {

using der_test::hex;
using der_test::decode_one;
using der_test::message_of;
using der_test::ambiguity_of;

TEST(Grammar, PrimitivesEncode) {
    EXPECT_EQ(der::encode(der::codec(der::int_), -1), hex("02 01 FF"));
    EXPECT_EQ(der::encode(der::codec(der::int_), 0), hex("02 01 00"));
    EXPECT_EQ(der::encode(der::codec(der::int_), 128), hex("02 02 00 80"));
    EXPECT_EQ(der::encode(der::codec(der::int_), der::max_integer), hex("02 08 3F FF FF FF FF FF FF FF"));
    EXPECT_EQ(der::encode(der::codec(der::null), std::monostate{}), hex("05 00"));
    EXPECT_EQ(der::encode(der::codec(der::utf8_string), std::string_view("hi")), hex("0C 02 68 69"));
    EXPECT_EQ(der::encode(der::codec(der::utf8_string), std::string(128, 'x')), hex("0C 81 80") + std::string(128, 'x'));
    EXPECT_EQ(der::encode(der::codec(der::generalized_time), der::from_civil({2024, 1, 2, 3, 4, 5})),
              hex("18 0F") + "20240102030405Z");
    EXPECT_EQ(der::encode(der::codec(der::utc_time), der::from_civil({1999, 12, 31, 23, 59, 59})),
              hex("17 0D") + "991231235959Z");
}

TEST(Grammar, TypeMismatchMessages) {
    const auto seq = der::sequence2(der::required("a", der::int_), der::required("b", der::int_));
    EXPECT_EQ(message_of(der::int_, hex("0C 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 12)");
    EXPECT_EQ(message_of(der::int_, hex("22 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Constructed UNIVERSAL 2)");
    EXPECT_EQ(message_of(der::null, hex("30 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 5) got: (Constructed UNIVERSAL 16)");
    // A constructed UTF8String is never concatenated.
    EXPECT_EQ(message_of(der::utf8_string, hex("2C 03 0C 01 61")),
              "Type mismatch: expected: (ANY UNIVERSAL 12) got: (Constructed UNIVERSAL 12)");
    EXPECT_EQ(message_of(der::utc_time, hex("37 00")),
              "Type mismatch: expected: (ANY UNIVERSAL 23) got: (Constructed UNIVERSAL 23)");
    EXPECT_EQ(message_of(der::generalized_time, hex("05 00")),
              "Type mismatch: expected: (ANY UNIVERSAL 24) got: (Primitive UNIVERSAL 5)");
    EXPECT_EQ(message_of(seq, hex("10 00")),
              "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Primitive UNIVERSAL 16)");
    EXPECT_EQ(message_of(der::sequence_of(der::int_), hex("A0 00")),
              "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Constructed CONTEXT 0)");
    EXPECT_EQ(message_of(der::explicit_(0, der::int_), hex("A1 03 02 01 00")),
              "Type mismatch: expected: (Constructed CONTEXT 0) got: (Constructed CONTEXT 1)");
    EXPECT_EQ(message_of(der::explicit_(0, der::int_), hex("80 00")),
              "Type mismatch: expected: (Constructed CONTEXT 0) got: (Primitive CONTEXT 0)");
    // The primitive contents rules, after tag and form matched.
    EXPECT_EQ(message_of(der::null, hex("05 01 00")), "NULL: 00");
    EXPECT_EQ(message_of(der::int_, hex("02 00")), "INTEGER: length 0");
    EXPECT_EQ(message_of(der::generalized_time, hex("18 02") + "20"), "GeneralizedTime: unexpected end: 20");
}

TEST(Grammar, DecodeReturnsTheRest) {
    const auto c = der::codec(der::null);
    const std::string input = hex("05 00 FF 01");
    const auto r = der::decode(c, input);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->second, hex("FF 01"));
    EXPECT_EQ(r->second.data(), input.data() + 2);
}

TEST(Grammar, ByteErrorsWinOverTypeErrors) {
    const auto g = der::sequence2(der::required("a", der::int_), der::required("b", der::int_));
    // The first child is a NULL where an INTEGER belongs, but the second child's header is faulty.
    EXPECT_EQ(message_of(g, hex("30 04 05 00 05 80")), "Header: at 05000580: primitive and indefinite length");
    EXPECT_EQ(message_of(g, hex("")), "Unexpected EOF (msg index out of bounds): ");
}

// Timestamps come back to the millisecond; the rest of a sub-second part is dropped.
TEST(Grammar, TimestampsRoundTripToTheMillisecond) {
    const auto c = der::codec(der::generalized_time);
    const auto back = [&](der::timestamp t) { return der::decode(c, der::encode(c, t))->first; };
    EXPECT_EQ(back(der::timestamp{1'700'000'000, 1'500'000}), (der::timestamp{1'700'000'000, 1'000'000}));
    EXPECT_EQ(back(der::timestamp{1'700'000'000, 400}), (der::timestamp{1'700'000'000, 0}));
    EXPECT_EQ(back(der::timestamp{-1, 999'999'999}), (der::timestamp{-1, 999'000'000}));
    EXPECT_EQ(der::encode(c, der::timestamp{1'700'000'000, 400}).size(), 2u + 19u);
}

}  // namespace
