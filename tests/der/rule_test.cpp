// Named rules, flat choices over a model's variant, lists of items that may read as nothing, and
// aggregates: both directions from one declaration, with the messages of the grammar layer.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <der/grammar.hpp>

#include "der/hex.hpp"

namespace {

using der_test::hex;

struct point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const point&, const point&) = default;
};
struct label {
    std::string text;
    friend bool operator==(const label&, const label&) = default;
};
struct nothing {
    friend bool operator==(const nothing&, const nothing&) = default;
};
struct shape {
    std::variant<point, label, nothing> value;
    friend bool operator==(const shape&, const shape&) = default;
};

const auto& point_grammar() {
    static const auto g = der::aggregate<point>(der::sequence2(der::required("x", der::int_), der::required("y", der::int_)));
    return g;
}
der::rule<point> point_rule() { return der::make_rule<point_grammar>(); }

// [0] point, [1] label, [2] nothing, and [3], an older form of a label that is read but never written.
const auto& shape_grammar() {
    static const auto g = der::variant_choice<shape>(
        der::writes<point>(der::explicit_(0, point_rule())),
        der::writes<label>(der::explicit_(1, der::aggregate<label>(der::utf8_string))),
        der::writes<nothing>(der::explicit_(2, der::aggregate<nothing>(der::null))),
        der::legacy(der::explicit_(3, der::map([](std::int64_t n) { return label{std::to_string(n)}; },
                                              [](const label&) { return std::int64_t{0}; }, der::int_))));
    return g;
}

template <class G>
std::string message_of(const G& grammar, const std::string& input) {
    const auto r = der::decode(der::codec(grammar), input);
    return r ? std::string("(decoded)") : r.error();
}

TEST(Rule, DecodesAndEncodesThroughItsEntryPoints) {
    const auto codec = der::codec(point_rule());
    EXPECT_EQ(der::encode(codec, point{1, -1}), hex("30 06 02 01 01 02 01 FF"));
    const auto r = der::decode(codec, hex("30 06 02 01 01 02 01 FF"));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->first, (point{1, -1}));
    const der::tag_set point_tags = point_rule().tags();
    EXPECT_EQ(std::vector<der::tag>(point_tags.begin(), point_tags.end()), std::vector<der::tag>{der::tags::sequence});
    EXPECT_EQ(message_of(point_rule(), hex("30 03 02 01 01")), "SEQUENCE: missing required: y");
    // A rule inside another grammar keeps its recognition and messages.
    EXPECT_EQ(message_of(der::explicit_(4, point_rule()), hex("A4 02 05 00")),
              "Type mismatch: expected: (Constructed UNIVERSAL 16) got: (Primitive UNIVERSAL 5)");
}

TEST(VariantChoice, OneLinePerTagBothDirections) {
    const auto codec = der::codec(shape_grammar());
    struct case_ {
        shape value;
        std::string octets;
    };
    for (const case_& c : {case_{{point{2, 3}}, hex("A0 08 30 06 02 01 02 02 01 03")},
                           case_{{label{"ab"}}, hex("A1 04 0C 02 61 62")},
                           case_{{nothing{}}, hex("A2 02 05 00")}}) {
        EXPECT_EQ(der::encode(codec, c.value), c.octets);
        const auto r = der::decode(codec, c.octets);
        ASSERT_TRUE(r) << r.error();
        EXPECT_EQ(r->first, c.value);
    }
    // The older form is read into the model, and written in the current one.
    const auto old = der::decode(codec, hex("A3 03 02 01 07"));
    ASSERT_TRUE(old) << old.error();
    EXPECT_EQ(old->first, (shape{label{"7"}}));
    EXPECT_EQ(der::encode(codec, old->first), hex("A1 03 0C 01 37"));
}

TEST(VariantChoice, UnknownTagsGetTheLastAlternativesMessage) {
    EXPECT_EQ(message_of(shape_grammar(), hex("A5 02 05 00")),
              "Type mismatch: expected: (Constructed CONTEXT 3) got: (Constructed CONTEXT 5)");
    EXPECT_EQ(message_of(shape_grammar(), hex("30 00")),
              "Type mismatch: expected: (Constructed CONTEXT 3) got: (Constructed UNIVERSAL 16)");
}

TEST(VariantChoice, AmbiguityCheck) {
    const auto twice = der::variant_choice<shape>(der::writes<point>(der::explicit_(0, point_rule())),
                                                  der::writes<label>(der::explicit_(1, der::aggregate<label>(der::utf8_string))),
                                                  der::writes<nothing>(der::explicit_(1, der::aggregate<nothing>(der::null))));
    const auto c = der::try_codec(twice);
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().reason, "CHOICE: alternatives 2 and 3 share the tag CONTEXT 1");
}

// Items read as a number, or as nothing for NULL.
const auto maybe_number = der::choice2(der::int_, der::null);
const auto present_numbers = der::sequence_of_present(der::map(
    [](std::variant<std::int64_t, std::monostate>&& v) {
        return v.index() == 0 ? std::optional<std::int64_t>(std::get<0>(v)) : std::nullopt;
    },
    [](std::int64_t n) { return std::variant<std::int64_t, std::monostate>(n); }, maybe_number));

TEST(SequenceOfPresent, KeepsThePresentItemsInOrder) {
    const auto codec = der::codec(present_numbers);
    const auto r = der::decode(codec, hex("30 0D 02 01 01 05 00 02 01 02 05 00 02 01 03"));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->first, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(der::encode(codec, std::vector<std::int64_t>{1, 2}), hex("30 06 02 01 01 02 01 02"));
    EXPECT_EQ(der::encode(codec, std::vector<std::int64_t>{}), hex("30 00"));
    EXPECT_EQ(message_of(present_numbers, hex("30 04 05 00 0C 00")),
              "Type mismatch: expected: (Primitive UNIVERSAL 5) got: (Primitive UNIVERSAL 12)");
}

TEST(Aggregate, MembersInDeclarationOrder) {
    const auto codec = der::codec(der::aggregate<label>(der::utf8_string));
    EXPECT_EQ(der::encode(codec, label{"x"}), hex("0C 01 78"));
    const auto r = der::decode(codec, hex("0C 01 78"));
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->first, label{"x"});
}

}  // namespace
