#pragma once
// The round trip every decoder target checks: when an input decodes, encoding the value and decoding
// again gives an equal value, and encoding that value again gives the same bytes.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "round trip broken: %s %s\n", what, detail.c_str());
    std::abort();
}

template <class Decode, class Encode>
void check_round_trip(std::string_view input, Decode decode, Encode encode) {
    auto first = decode(input);
    if (!first) return;
    const std::string bytes = encode(*first);
    auto second = decode(bytes);
    if (!second) fail("re-encoded value does not decode:", second.error());
    if (!(*second == *first)) fail("decoded value differs after re-encoding");
    if (encode(*second) != bytes) fail("second encoding differs from the first");
}

}  // namespace fuzz
