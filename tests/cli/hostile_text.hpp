#pragma once
// Texts as a crafted record, a glob or a careless script may hand the tools, each with the form in which
// the tools show it outside their verbatim outputs; and a check, independent of the tools' own rule, that
// a stream holds nothing a terminal would act on.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace test {

struct shown_text {
    std::string what;
    std::string raw;    // as the input holds it (never a NUL: these also travel as arguments)
    std::string shown;  // as the tools show it
};

// Each is short enough that a message quoting it once fits on its line.
inline const std::vector<shown_text>& hostile_texts() {
    static const std::vector<shown_text> texts{
        {"ESC, window title", "t\x1b]0;TITLE\x07", "t\\e]0;TITLE\\a"},
        {"CR, erase line", "x\r\x1b[Kexited 0", "x\\r\\e[Kexited 0"},
        {"LF, forged line", "a\nuuid 0", "a\\nuuid 0"},
        {"TAB, BS, VT, FF", "\t\b\v\f", "\\t\\b\\v\\f"},
        {"other C0", "\x01\x1f", "\\x01\\x1f"},
        {"DEL", "a\x7f", "a\\x7f"},
        {"C1 CSI in UTF-8", "\xc2\x9b" "31m", "\\u009b31m"},
        {"C1 NEL and ST in UTF-8", "\xc2\x85\xc2\x9c", "\\u0085\\u009c"},
        {"stray 8-bit CSI", "\x9b" "31m", "\\x9b31m"},
        {"bytes never in UTF-8", "\xff\xfe", "\\xff\\xfe"},
        {"cut short", "\xe2\x80", "\\xe2\\x80"},
        {"overlong", "\xc0\xaf", "\\xc0\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"right-to-left override", "\xe2\x80\xae" "cba", "\\u202ecba"},
        {"isolates", "\xe2\x81\xa6" "x" "\xe2\x81\xa9", "\\u2066x\\u2069"},
        {"marks", "\xe2\x80\x8f\xd8\x9c", "\\u200f\\u061c"},
        {"line separator", "a\xe2\x80\xa8" "b", "a\\u2028b"},
    };
    return texts;
}

// Printable texts, shown byte for byte as they are.
inline const std::vector<shown_text>& printable_texts() {
    static const std::vector<shown_text> texts{
        {"ASCII", "hello-1.0_x", "hello-1.0_x"},
        {"backslashes and quotes", "a\\e[1m 'q' \"d\"", "a\\e[1m 'q' \"d\""},
        {"letters beyond ASCII", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"},
        {"combining mark and emoji", "e\xcc\x81\xf0\x9f\x99\x82", "e\xcc\x81\xf0\x9f\x99\x82"},
    };
    return texts;
}

// How a text quoted by a decoder shows in an error message: as `shown`, except that a line feed stays a
// line feed, which the message box lays out as a break point (never as it is).
inline std::string shown_in_message(const shown_text& t) {
    std::string shown = t.shown;
    if (t.raw.find('\n') == std::string::npos) return shown;
    for (std::size_t at = shown.find("\\n"); at != std::string::npos; at = shown.find("\\n", at + 1))
        shown.replace(at, 2, "\n");
    return shown;
}

// Both tables.
inline std::vector<shown_text> all_texts() {
    std::vector<shown_text> all = hostile_texts();
    all.insert(all.end(), printable_texts().begin(), printable_texts().end());
    return all;
}

// The first thing in `stream` that a terminal would act on instead of showing, or "" when there is none:
// a control byte other than the line end, DEL, a C1 or bidirectional control, a line or paragraph
// separator, or bytes that are no valid UTF-8.
inline std::string terminal_hazard(std::string_view stream) {
    std::size_t at = 0;
    const auto where = [&] { return "at octet " + std::to_string(at); };
    while (at < stream.size()) {
        const auto lead = static_cast<unsigned char>(stream[at]);
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\n') || lead == 0x7f)
                return "control byte " + std::to_string(lead) + " " + where();
            ++at;
            continue;
        }
        const std::size_t length = lead >= 0xf0 && lead <= 0xf4 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
        if (length == 0 || lead > 0xf4 || stream.size() - at < length) return "invalid UTF-8 " + where();
        std::uint32_t code = lead & (0x7f >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(stream[at + k]);
            if ((next & 0xc0) != 0x80) return "invalid UTF-8 " + where();
            code = code << 6 | (next & 0x3f);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return "invalid UTF-8 " + where();
        if (code <= 0x9f || code == 0x061c || code == 0x200e || code == 0x200f || (code >= 0x2028 && code <= 0x202e) ||
            (code >= 0x2066 && code <= 0x2069))
            return "control U+" + std::to_string(code) + " " + where();
        at += length;
    }
    return "";
}

// `der` with the contents of its first GeneralizedTime of the year 2024 replaced by `text`, filled up with
// "Z" to the same length, so that every length around it stays right. "" when there is no room for it.
inline std::string with_time_text(std::string der, const std::string& text) {
    for (std::size_t at = der.find("2024"); at != std::string::npos; at = der.find("2024", at + 1)) {
        if (at < 2 || der[at - 2] != '\x18') continue;
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(der[at - 1]));
        if (text.size() > length || length >= 0x80) return "";
        der.replace(at, length, text + std::string(length - text.size(), 'Z'));
        return der;
    }
    return "";
}

}  // namespace test
