#pragma once
// Octets written as hexadecimal text in tests ("30 03 02 01 05"), and repeated.

#include <cstddef>
#include <string>
#include <string_view>

#include "support/hex.hpp"

namespace der_test {

using test_support::hex;

inline std::string repeat(std::string_view octets, std::size_t times) {
    std::string out;
    out.reserve(octets.size() * times);
    for (std::size_t i = 0; i < times; ++i) out.append(octets);
    return out;
}

}  // namespace der_test
