// Every combinator in one grammar: both directions from one declaration.
#include <gtest/gtest.h>

#include <cstdint>
#include <list>
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

// Every combinator in one grammar: decoding the encoding gives the value back, and encoding accepts
// views shaped like the value.
TEST(Grammar, RoundTrip) {
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

}  // namespace
