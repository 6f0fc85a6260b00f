// The grammar combinators: recognition of elements, the messages of the grammar layer, the ambiguity
// check and both directions from one declaration.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>
#include <vector>

#include <der/grammar.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

// The decoded value of exactly one element, or its message.
template <class G>
der::result<typename G::value_type> decode_one(const G& grammar, const std::string& input) {
    const auto c = der::codec(grammar);
    auto r = der::decode(c, input);
    if (!r) return der::error(std::move(r.error()));
    EXPECT_TRUE(r->second.empty());
    return std::move(r->first);
}

template <class G>
std::string message_of(const G& grammar, const std::string& input) {
    const auto r = decode_one(grammar, input);
    return r ? std::string("(decoded)") : r.error();
}

TEST(grammar, primitives_encode) {
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

TEST(grammar, constructed_encode) {
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

TEST(grammar, type_mismatch_messages) {
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

TEST(grammar, sequence_recognition) {
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

TEST(grammar, trailing_list_breaks_lines) {
    const auto one = der::sequence(der::required("a", der::null));
    const std::string children = der_test::repeat(hex("30 00"), 4);
    const std::string list = "[(Constructed UNIVERSAL 16), (Constructed UNIVERSAL 16),\n" + std::string(21, ' ') +
                             "(Constructed UNIVERSAL 16), (Constructed UNIVERSAL 16)]";
    EXPECT_EQ(message_of(one, hex("30 0A 05 00") + children), "SEQUENCE: trailing: " + list);
    EXPECT_EQ(message_of(der::explicit_(0, der::null), hex("A0 08") + children), "EXPLICIT: sequence: " + list);
}

TEST(grammar, explicit_needs_exactly_one_child) {
    const auto g = der::explicit_(0, der::int_);
    EXPECT_EQ(decode_one(g, hex("A0 03 02 01 2A")), 42);
    EXPECT_EQ(message_of(g, hex("A0 00")), "EXPLICIT: sequence: []");
    EXPECT_EQ(message_of(g, hex("A0 06 02 01 01 02 01 02")),
              "EXPLICIT: sequence: [(Primitive UNIVERSAL 2), (Primitive UNIVERSAL 2)]");
}

TEST(grammar, choice_recognition) {
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

TEST(grammar, one_of_reads_the_value_and_writes_through_one_alternative) {
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

TEST(grammar, sequence_of) {
    const auto g = der::sequence_of(der::int_);
    EXPECT_EQ(decode_one(g, hex("30 00")), std::vector<std::int64_t>{});
    EXPECT_EQ(decode_one(g, hex("30 06 02 01 01 02 01 FF")), (std::vector<std::int64_t>{1, -1}));
    EXPECT_EQ(message_of(g, hex("30 05 02 01 01 05 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 2) got: (Primitive UNIVERSAL 5)");
}

struct pair_of_texts {
    std::string a, b;
    friend bool operator==(const pair_of_texts&, const pair_of_texts&) = default;
};

TEST(grammar, map_refuses_with_its_message) {
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

TEST(grammar, map_to_plain_values) {
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

TEST(grammar, implicit_tags) {
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

TEST(grammar, decode_returns_the_rest) {
    const auto c = der::codec(der::null);
    const std::string input = hex("05 00 FF 01");
    const auto r = der::decode(c, input);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->second, hex("FF 01"));
    EXPECT_EQ(r->second.data(), input.data() + 2);
}

TEST(grammar, byte_errors_win_over_type_errors) {
    const auto g = der::sequence2(der::required("a", der::int_), der::required("b", der::int_));
    // The first child is a NULL where an INTEGER belongs, but the second child's header is faulty.
    EXPECT_EQ(message_of(g, hex("30 04 05 00 05 80")), "Header: at 05000580: primitive and indefinite length");
    EXPECT_EQ(message_of(g, hex("")), "Unexpected EOF (msg index out of bounds): ");
}

TEST(grammar, nesting_limit_through_decode) {
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

template <class G>
std::string ambiguity_of(const G& grammar) {
    const auto c = der::try_codec(grammar);
    return c ? std::string("(accepted)") : c.error().reason;
}

TEST(grammar, ambiguity_check) {
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

TEST(grammar_death, codec_stops_on_an_ambiguous_grammar) {
    EXPECT_DEATH(der::codec("twins", der::choice2(der::int_, der::int_)),
                 "Ambiguous_syntax: twins: CHOICE: alternatives 1 and 2 share the tag UNIVERSAL 2");
}

// Every combinator in one grammar: decoding the encoding gives the value back, and encoding accepts
// views shaped like the value.
TEST(grammar, round_trip) {
    using der::optional, der::required;
    const auto time = der::choice2(der::utc_time, der::generalized_time);
    const auto line = der::sequence2(required("delta", der::int_), required("data", der::utf8_string));
    const auto result = der::choice4(der::explicit_(0, der::int_), der::explicit_(1, der::int_),
                                     der::explicit_(2, der::null), der::explicit_(3, der::utf8_string));
    const auto record = der::sequence(
        required("name", der::utf8_string), optional("note", der::explicit_(9, der::utf8_string)),
        required("lines", der::sequence_of(line)), required("times", der::sequence2(required("started", time),
                                                                                   optional("finished", time))),
        required("result", result), optional("flag", der::null), required("tagged", der::implicit(20, der::int_)));
    const auto c = der::codec(record);

    using value = decltype(c)::value_type;
    const der::timestamp started = der::from_civil({2024, 1, 2, 3, 4, 5}, 123'000'000);
    const der::timestamp finished = der::from_civil({2030, 6, 7, 8, 9, 10});
    const value v{"job",
                  std::string(300, 'n'),
                  {{-5, "a"}, {der::max_integer, std::string(200, 'b')}, {der::min_integer, ""}},
                  {decltype(time)::value_type(std::in_place_index<1>, started),
                   decltype(time)::value_type(std::in_place_index<0>, finished)},
                  decltype(result)::value_type(std::in_place_index<3>, "failed"),
                  std::monostate{},
                  -300};
    const std::string bytes = der::encode(c, v);
    const auto back = der::decode(c, bytes);
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(back->first, v);
    EXPECT_TRUE(back->second.empty());

    // The same bytes from views: a tuple of references, another range type, another variant.
    const std::string name = "job", note(300, 'n'), long_line(200, 'b');
    const std::list<std::tuple<long, std::string_view>> lines = {{-5, "a"}, {der::max_integer, long_line}, {der::min_integer, ""}};
    using time_view = std::variant<der::timestamp, der::timestamp>;
    const std::tuple<const std::string&, std::optional<std::string_view>, const decltype(lines)&,
                     std::tuple<time_view, std::optional<time_view>>, std::variant<int, int, int, std::string_view>,
                     std::optional<std::monostate>, int>
        views{name,
              note,
              lines,
              {time_view(std::in_place_index<1>, started), time_view(std::in_place_index<0>, finished)},
              std::variant<int, int, int, std::string_view>(std::in_place_index<3>, "failed"),
              std::monostate{},
              -300};
    EXPECT_EQ(der::encode(c, views), bytes);

    // Absent optionals write nothing and read back absent.
    value sparse = v;
    std::get<1>(sparse).reset();
    std::get<1>(std::get<3>(sparse)).reset();
    std::get<5>(sparse).reset();
    std::get<2>(sparse).clear();
    const auto sparse_back = der::decode(c, der::encode(c, sparse));
    ASSERT_TRUE(sparse_back.has_value()) << sparse_back.error();
    EXPECT_EQ(sparse_back->first, sparse);
}

// Timestamps come back to the millisecond; the rest of a sub-second part is dropped.
TEST(grammar, timestamps_round_trip_to_the_millisecond) {
    const auto c = der::codec(der::generalized_time);
    const auto back = [&](der::timestamp t) { return der::decode(c, der::encode(c, t))->first; };
    EXPECT_EQ(back(der::timestamp{1'700'000'000, 1'500'000}), (der::timestamp{1'700'000'000, 1'000'000}));
    EXPECT_EQ(back(der::timestamp{1'700'000'000, 400}), (der::timestamp{1'700'000'000, 0}));
    EXPECT_EQ(back(der::timestamp{-1, 999'999'999}), (der::timestamp{-1, 999'000'000}));
    EXPECT_EQ(der::encode(c, der::timestamp{1'700'000'000, 400}).size(), 2u + 19u);
}

}  // namespace
