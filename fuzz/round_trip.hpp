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

// The located decoder refuses exactly what the plain one refuses, with the same message, at an offset
// inside the input (or just past it, where the element reader ran off its end).
template <class Decode, class Locate>
void check_located(std::string_view input, Decode decode, Locate locate) {
    const auto plain = decode(input);
    const auto located = locate(input);
    if (plain.has_value() != located.has_value()) fail("the located decoder disagrees with the plain one");
    if (plain) return;
    if (located.error().message != plain.error()) fail("the located message differs:", located.error().message);
    if (located.error().offset > input.size()) fail("the fault lies past the input");
}

}  // namespace fuzz
