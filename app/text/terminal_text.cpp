#include "text/terminal_text.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "text/utf8.hpp"

namespace text {

bool acts_on_terminal(char32_t c) {
    if (c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f)) return true;
    const bool bidirectional =
        c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
    return bidirectional || c == 0x2028 || c == 0x2029;
}

namespace {

bool shown_as_is(const utf8_unit& u, bool keep_line_feeds) {
    if (!u.valid) return false;
    if (keep_line_feeds && u.code == '\n') return true;
    return !acts_on_terminal(u.code);
}

void append_hex(std::string& out, char letter, std::uint32_t value, int digits) {
    constexpr char hex[] = "0123456789abcdef";
    out += '\\';
    out += letter;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xf];
}

void append_escape(std::string& out, const utf8_unit& u) {
    if (u.valid && u.code >= 0x80) return append_hex(out, 'u', u.code, 4);
    switch (u.code) {
        case 0x07: out += "\\a"; return;
        case 0x08: out += "\\b"; return;
        case 0x09: out += "\\t"; return;
        case 0x0a: out += "\\n"; return;
        case 0x0b: out += "\\v"; return;
        case 0x0c: out += "\\f"; return;
        case 0x0d: out += "\\r"; return;
        case 0x1b: out += "\\e"; return;
        default: append_hex(out, 'x', u.code, 2); return;
    }
}

// Where the first unit to escape begins, or the text's size when there is none. Printable ASCII, by far
// the most of any message, is passed over a byte at a time.
std::size_t first_escape(std::string_view text, bool keep_line_feeds) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto b = static_cast<unsigned char>(text[at]);
        if (b >= 0x20 && b < 0x7f) {
            ++at;
            continue;
        }
        const utf8_unit u = utf8_unit_at(text, at);
        if (!shown_as_is(u, keep_line_feeds)) return at;
        at += u.length;
    }
    return at;
}

// Appends `text` escaped, its first `at` octets known to need nothing.
void append_escaped(std::string& out, std::string_view text, std::size_t at, bool keep_line_feeds) {
    out.append(text.substr(0, at));
    while (at < text.size()) {
        const utf8_unit u = utf8_unit_at(text, at);
        if (shown_as_is(u, keep_line_feeds)) out.append(text.substr(at, u.length));
        else append_escape(out, u);
        at += u.length;
    }
}

}  // namespace

std::string terminal_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text, first_escape(text, false), false);
    return out;
}

void append_terminal_text(std::string& out, std::string_view text) {
    append_escaped(out, text, first_escape(text, false), false);
}

void make_terminal_text(std::string& text) {
    const std::size_t clean = first_escape(text, false);
    if (clean == text.size()) return;
    std::string out;
    out.reserve(text.size() + 16);
    append_escaped(out, text, clean, false);
    text = std::move(out);
}

void append_quoted_terminal_text(std::string& out, std::string_view text) {
    out += '"';
    // The runs between backslashes and quotes go by the rule; those two are escaped around them.
    for (std::size_t at = 0;;) {
        const std::size_t special = std::min(text.find_first_of("\\\"", at), text.size());
        append_terminal_text(out, text.substr(at, special - at));
        if (special == text.size()) break;
        out += '\\';
        out += text[special];
        at = special + 1;
    }
    out += '"';
}

std::string terminal_message(std::string message) {
    const std::size_t clean = first_escape(message, true);
    if (clean == message.size()) return message;
    std::string out;
    out.reserve(message.size() + 16);
    append_escaped(out, message, clean, true);
    return out;
}

}  // namespace text
