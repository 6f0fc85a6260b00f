// CHOICE and one_of: recognition by tag, the last alternative's message, and the ambiguity check.
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

TEST(Grammar, ChoiceRecognition) {
    const auto tagged = der::choice(der::explicit_(0, der::int_), der::explicit_(1, der::int_), der::explicit_(2, der::int_),
                                     der::explicit_(3, der::utf8_string), der::explicit_(4, der::null),
                                     der::explicit_(5, der::null));
    const auto r = decode_one(tagged, hex("A2 03 02 01 09"));
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->index(), 2u);
    EXPECT_EQ(std::get<2>(*r), 9);
    EXPECT_EQ(decode_one(tagged, hex("A3 03 0C 01 61"))->index(), 3u);
    // No alternative holds the tag: the last alternative's mismatch is reported.
    EXPECT_EQ(message_of(tagged, hex("A7 02 05 00")),
              "Type mismatch: expected: (Constructed CONTEXT 5) got: (Constructed CONTEXT 7)");
    EXPECT_EQ(message_of(tagged, hex("30 00")),
              "Type mismatch: expected: (Constructed CONTEXT 5) got: (Constructed UNIVERSAL 16)");
    // The chosen alternative's failure is the decode's failure.
    EXPECT_EQ(message_of(tagged, hex("A1 02 05 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 5)");

    const auto time = der::choice2(der::utc_time, der::generalized_time);
    const auto utc = decode_one(time, hex("17 0D") + "991231235959Z");
    ASSERT_TRUE(utc.has_value()) << utc.error();
    EXPECT_EQ(utc->index(), 0u);
    const auto generalized = decode_one(time, hex("18 0F") + "19991231235959Z");
    ASSERT_TRUE(generalized.has_value()) << generalized.error();
    EXPECT_EQ(generalized->index(), 1u);
    EXPECT_EQ(std::get<0>(*utc), std::get<1>(*generalized));
    EXPECT_EQ(message_of(time, hex("0C 00")),
              "Type mismatch: expected: (ANY UNIVERSAL 24) got: (Primitive UNIVERSAL 12)");
}

TEST(Grammar, OneOfReadsTheValueAndWritesThroughOneAlternative) {
    const auto time = der::one_of<1>(der::utc_time, der::generalized_time);
    const auto utc = decode_one(time, hex("17 0D") + "991231235959Z");
    ASSERT_TRUE(utc.has_value()) << utc.error();
    const auto generalized = decode_one(time, hex("18 0F") + "19991231235959Z");
    ASSERT_TRUE(generalized.has_value()) << generalized.error();
    EXPECT_EQ(*utc, *generalized);
    // Written by the alternative named, whichever was read.
    EXPECT_EQ(der::encode(der::codec(time), *utc), hex("18 0F") + "19991231235959Z");
    // Recognition and messages are a CHOICE's: the last alternative reports a tag no alternative holds.
    EXPECT_EQ(message_of(time, hex("05 00")),
              "Type mismatch: expected: (ANY UNIVERSAL 24) got: (Primitive UNIVERSAL 5)");
    const auto twice = der::one_of<0>(der::explicit_(0, der::int_), der::explicit_(0, der::int_));
    ASSERT_FALSE(der::try_codec(twice));
    EXPECT_EQ(der::try_codec(twice).error().reason, "CHOICE: alternatives 1 and 2 share the tag CONTEXT 0");
}

TEST(Grammar, AmbiguityCheck) {
    using der::int_, der::null, der::utf8_string, der::optional, der::required;
    const auto tagged_null = der::map([](std::monostate) { return 0; }, [](int) { return std::monostate{}; },
                                      der::explicit_(0, null));
    EXPECT_EQ(ambiguity_of(der::choice2(int_, int_)), "CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 2");
    EXPECT_EQ(ambiguity_of(der::choice(der::explicit_(0, int_), null, tagged_null)),
              "CHOICE: alternatives 1 and 3 share the tag CONTEXT 0");
    EXPECT_EQ(ambiguity_of(der::choice2(der::choice2(int_, null), der::sequence_of(null))), "(accepted)");
    EXPECT_EQ(ambiguity_of(der::choice2(der::choice2(int_, null), null)),
              "CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 5");
    // Optional elements against what follows them.
    EXPECT_EQ(ambiguity_of(der::sequence2(optional("a", int_), required("b", int_))),
              "SEQUENCE: element \"b\" shares a tag with the optional element \"a\" before it");
    EXPECT_EQ(ambiguity_of(der::sequence3(optional("a", int_), optional("b", null), optional("c", int_))),
              "SEQUENCE: element \"c\" shares a tag with the optional element \"a\" before it");
    EXPECT_EQ(ambiguity_of(der::sequence2(optional("a", der::choice2(int_, null)), required("b", null))),
              "SEQUENCE: element \"b\" shares a tag with the optional element \"a\" before it");
    EXPECT_EQ(ambiguity_of(der::sequence3(optional("a", int_), required("b", utf8_string), optional("c", int_))),
              "(accepted)");
    EXPECT_EQ(ambiguity_of(der::sequence3(required("a", int_), required("b", int_), optional("c", null))), "(accepted)");
    // Tags compare by class and number: an implicit tag can clash with an explicit one.
    EXPECT_EQ(ambiguity_of(der::sequence2(optional("a", der::implicit(0, int_)), required("b", der::explicit_(0, null)))),
              "SEQUENCE: element \"b\" shares a tag with the optional element \"a\" before it");
    // Nested grammars are checked too.
    EXPECT_EQ(ambiguity_of(der::sequence_of(der::explicit_(1, der::choice2(null, null)))),
              "CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 5");
    EXPECT_EQ(ambiguity_of(der::sequence2(required("a", int_), required("b", der::choice2(utf8_string, utf8_string)))),
              "CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 12");
}

TEST(GrammarDeathTest, CodecStopsOnAnAmbiguousGrammar) {
    EXPECT_DEATH(der::codec("twins", der::choice2(der::int_, der::int_)),
                 "Ambiguous_syntax: twins: CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 2");
}

}  // namespace
