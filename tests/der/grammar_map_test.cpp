// map and implicit tags: values of other types through a grammar, and replaced outermost tags.
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

struct pair_of_texts {
    std::string a, b;
    friend bool operator==(const pair_of_texts&, const pair_of_texts&) = default;
};

TEST(Grammar, MapRefusesWithItsMessage) {
    // Refuses the value 13, deep inside; the rest of the element is not examined.
    const auto checked = der::map(
        [](std::int64_t&& v) -> der::result<std::int64_t> {
            if (v == 13) return der::error("unlucky number");
            return v;
        },
        [](std::int64_t v) { return v; }, der::int_);
    const auto g = der::sequence2(
        der::required("list", der::sequence_of(der::explicit_(0, checked))), der::required("after", der::null));
    EXPECT_EQ(message_of(g, hex("30 0C 30 0A A0 03 02 01 01 A0 03 02 01 0D 02 01 00")), "unlucky number");
    EXPECT_EQ(message_of(g, hex("30 09 30 05 A0 03 02 01 01 05 00")), "(decoded)");

    // The shape other grammars use: a tuple decoded into a record, encoded from views of its fields.
    const auto texts = der::map(
        [](std::tuple<std::string, std::string>&& t) -> der::result<pair_of_texts> {
            if (std::get<0>(t).empty()) return der::error("empty a");
            return pair_of_texts{std::move(std::get<0>(t)), std::move(std::get<1>(t))};
        },
        [](const pair_of_texts& x) { return std::forward_as_tuple(x.a, x.b); },
        der::sequence2(der::required("a", der::utf8_string), der::required("b", der::utf8_string)));
    const auto c = der::codec(texts);
    const std::string bytes = der::encode(c, pair_of_texts{"x", "yz"});
    EXPECT_EQ(bytes, hex("30 07 0C 01 78 0C 02 79 7A"));
    EXPECT_EQ(der::decode(c, bytes)->first, (pair_of_texts{"x", "yz"}));
    EXPECT_EQ(der::decode(c, hex("30 05 0C 00 0C 01 7A")).error(), "empty a");
}

// A value without a default constructor, produced by a map whose function returns it directly.
struct handle {
    explicit handle(std::int64_t v) : value(v) {}
    std::int64_t value;
    friend bool operator==(const handle&, const handle&) = default;
};

TEST(Grammar, MapToPlainValues) {
    const auto h = der::map([](std::int64_t&& v) { return handle(v); }, [](const handle& x) { return x.value; }, der::int_);
    const auto g = der::sequence2(der::required("h", h), der::optional("o", der::explicit_(0, h)));
    const auto c = der::codec(g);
    const std::string bytes = der::encode(c, std::tuple{handle(3), std::optional<handle>(handle(4))});
    EXPECT_EQ(bytes, hex("30 08 02 01 03 A0 03 02 01 04"));
    const auto back = der::decode(c, bytes);
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(std::get<0>(back->first), handle(3));
    EXPECT_EQ(std::get<1>(back->first), handle(4));
}

TEST(Grammar, ImplicitTags) {
    const auto number = der::implicit(5, der::int_);
    EXPECT_EQ(der::encode(der::codec(number), 7), hex("85 01 07"));
    EXPECT_EQ(decode_one(number, hex("85 01 07")), 7);
    EXPECT_EQ(message_of(number, hex("02 01 07")),
              "Type mismatch: expected: (Primitive CONTEXT 5) got: (Primitive UNIVERSAL 2)");
    // Over a sequence: constructed, with the new tag.
    const auto seq = der::implicit(1, der::sequence2(der::required("a", der::int_), der::required("b", der::null)));
    EXPECT_EQ(der::encode(der::codec(seq), std::tuple{1, std::monostate{}}), hex("A1 05 02 01 01 05 00"));
    // Over a choice: an explicit tag.
    const auto either = der::implicit(2, der::choice2(der::int_, der::null));
    EXPECT_EQ(der::encode(der::codec(either), std::variant<int, std::monostate>(7)), hex("A2 03 02 01 07"));
    EXPECT_EQ(decode_one(either, hex("A2 02 05 00"))->index(), 1u);
    // Over an explicit tag and over a map: the outermost tag is replaced.
    EXPECT_EQ(der::encode(der::codec(der::implicit(4, der::explicit_(0, der::int_))), 1), hex("A4 03 02 01 01"));
    const auto mapped = der::implicit(6, der::map([](std::string&& s) { return s.size(); },
                                                  [](std::size_t n) { return std::string(n, 'z'); }, der::utf8_string));
    EXPECT_EQ(der::encode(der::codec(mapped), std::size_t{2}), hex("86 02 7A 7A"));
    EXPECT_EQ(decode_one(mapped, hex("86 02 7A 7A")), 2u);
    EXPECT_EQ(der::tag_text(mapped.tags().tags.at(0)), "CONTEXT 6");
}

}  // namespace
