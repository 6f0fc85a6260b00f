#pragma once
// Strict UTF-8, as the tools read text from input: no overlong forms, no surrogates, nothing above
// U+10FFFF. The terminal rule escapes what is not, the JSON output writes it as base64 instead of a string,
// and the manual shows it as U+FFFD.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace text {

// One unit of a text: a UTF-8 sequence, or a single byte that begins no valid one, so that the next byte
// is looked at afresh.
struct utf8_unit {
    std::size_t length = 1;
    char32_t code = 0;  // the code point; for an invalid byte, the byte
    bool valid = true;
};

// The unit that begins at `at`, which lies within `text`.
inline utf8_unit utf8_unit_at(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {1, lead, true};
    const utf8_unit invalid{1, lead, false};
    std::size_t length;
    char32_t code;
    if (lead >= 0xc2 && lead <= 0xdf) length = 2, code = lead & 0x1f;
    else if (lead >= 0xe0 && lead <= 0xef) length = 3, code = lead & 0x0f;
    else if (lead >= 0xf0 && lead <= 0xf4) length = 4, code = lead & 0x07;
    else return invalid;
    if (text.size() - at < length) return invalid;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xc0) != 0x80) return invalid;
        code = code << 6 | (next & 0x3f);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10ffff ||
        (code >= 0xd800 && code <= 0xdfff))
        return invalid;
    return {length, code, true};
}

// Whether every unit of `bytes` is valid.
inline bool valid_utf8(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        // ASCII, by far the most of any text, is passed over eight bytes at a time.
        if (bytes.size() - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + at, 8);
            if ((word & 0x8080808080808080u) == 0) {
                at += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        const utf8_unit u = utf8_unit_at(bytes, at);
        if (!u.valid) return false;
        at += u.length;
    }
    return true;
}

}  // namespace text
