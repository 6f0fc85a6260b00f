#pragma once
// What the grammar tests ask of a grammar: the value of exactly one element, its message, its ambiguity.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <der/grammar.hpp>

namespace der_test {

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

template <class G>
std::string ambiguity_of(const G& grammar) {
    const auto c = der::try_codec(grammar);
    return c ? std::string("(accepted)") : c.error().reason;
}

}  // namespace der_test
