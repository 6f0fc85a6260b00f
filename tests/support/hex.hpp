#pragma once
// Octets written as hexadecimal text in tests: "30 03 02 01 05" (spaces ignored).

#include <string>
#include <string_view>

namespace test_support {

inline std::string hex(std::string_view text) {
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    int high = -1;
    for (const char c : text) {
        if (c == ' ') continue;
        if (high < 0) {
            high = nibble(c);
        } else {
            out.push_back(static_cast<char>(high * 16 + nibble(c)));
            high = -1;
        }
    }
    return out;
}

}  // namespace test_support
