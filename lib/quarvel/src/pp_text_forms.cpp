// The text forms of the basic values: integer, uuid, timestamp, duration and quoted text.
#include <quarvel/pp.hpp>

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include <der/time_text.hpp>
#include <quarvel_toolkit/escape.hpp>
#include <quarvel_toolkit/years_and_days.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarvel {

namespace {

// A short form built on the stack: every form below except quoted text has a small bounded length.
struct short_text {
    char bytes[64];
    std::size_t size = 0;

    void put(char c) { bytes[size++] = c; }
    void put(std::string_view s) {
        std::memcpy(bytes + size, s.data(), s.size());
        size += s.size();
    }
    // A decimal integer at least `width` characters wide, zero-filled on the left after any minus sign
    // (printf's "%0Nd"); width 0 is plain "%d".
    template <class Integer>
    void put_decimal(Integer value, int width = 0) {
        char digits[24];
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
        const char* first = digits;
        if (*first == '-') {
            put('-');
            ++first;
            --width;
        }
        for (auto n = static_cast<std::ptrdiff_t>(width) - (end - first); n > 0; --n) put('0');
        put(std::string_view(first, static_cast<std::size_t>(end - first)));
    }
    std::string_view view() const { return {bytes, size}; }
};

short_text uuid_form(const uuid& u) {
    constexpr char hex[] = "0123456789abcdef";
    short_text out;
    for (std::size_t i = 0; i < u.octets.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.put('-');
        out.put(hex[u.octets[i] >> 4]);
        out.put(hex[u.octets[i] & 0xf]);
    }
    return out;
}

// The fraction is dropped toward the past: a printed time names the whole second it lies in.
der::time_text timestamp_form(timestamp t) { return der::write_time_text(t, der::time_layout::rfc3339, der::time_fraction::none); }

short_text duration_form(duration d) {
    constexpr std::uint64_t ns_per_us = 1'000, ns_per_ms = 1'000'000, ns_per_s = 1'000'000'000;
    constexpr std::uint64_t ns_per_min = 60 * ns_per_s, ns_per_h = 60 * ns_per_min, ns_per_day = 24 * ns_per_h;
    constexpr std::uint64_t ns_per_year = seconds_per_year * ns_per_s;
    // Every quantity is unsigned and every quotient truncated, so counts of 2^63 ns and more follow the same
    // rules as smaller ones.
    const std::uint64_t ns = d.nanoseconds;
    short_text out;
    if (ns >= ns_per_min) {
        const std::uint64_t years = ns / ns_per_year, below_year = ns % ns_per_year;
        const std::uint64_t days = below_year / ns_per_day, hours = below_year % ns_per_day / ns_per_h;
        const std::uint64_t minutes = below_year % ns_per_h / ns_per_min, seconds = ns % ns_per_min / ns_per_s;
        if (years > 0) {
            out.put(years_and_days_text(ns / ns_per_s));
        } else if (days > 0) {
            out.put_decimal(days);
            out.put('d');
            out.put_decimal(hours, 2);
            out.put('h');
        } else if (hours > 0) {
            out.put_decimal(hours);
            out.put('h');
            out.put_decimal(minutes, 2);
            out.put('m');
        } else {
            out.put_decimal(minutes);
            out.put('m');
            out.put_decimal(seconds, 2);
            out.put('s');
        }
        return out;
    }
    const std::uint64_t s = ns / ns_per_s, ms = ns / ns_per_ms % 1000, us = ns / ns_per_us % 1000, rest = ns % 1000;
    if (s > 0) {
        out.put_decimal(s);
        out.put('.');
        out.put_decimal(ms, 3);
        out.put('s');
    } else if (ms > 0) {
        out.put_decimal(ms);
        out.put('.');
        out.put_decimal(us, 3);
        out.put("ms");
    } else {
        out.put_decimal(us);
        out.put('.');
        out.put_decimal(rest, 3);
        out.put("\xCE\xBCs");  // µs
    }
    return out;
}

// Whether a byte is written as it is in the quoted form (space to tilde, except the double quotation
// mark and the backslash). The word and block tests below follow the same rule.
constexpr std::array<bool, 256> kept_as_is = [] {
    std::array<bool, 256> kept{};
    for (int b = ' '; b <= '~'; ++b) kept[static_cast<std::size_t>(b)] = b != '"' && b != '\\';
    return kept;
}();

// The quoted form of every byte, at most four bytes.
struct quoted_byte {
    char bytes[4];
    std::uint32_t size;
};
constexpr std::array<quoted_byte, 256> quoted_bytes = [] {
    std::array<quoted_byte, 256> forms{};
    for (std::size_t b = 0; b < 256; ++b) {
        const auto c = static_cast<char>(b);
        if (kept_as_is[b]) {
            forms[b] = {{c}, 1};
            continue;
        }
        switch (b) {
        case '"': forms[b] = {{'\\', '"'}, 2}; break;
        case '\\': forms[b] = {{'\\', '\\'}, 2}; break;
        case '\n': forms[b] = {{'\\', 'n'}, 2}; break;
        case '\t': forms[b] = {{'\\', 't'}, 2}; break;
        case '\r': forms[b] = {{'\\', 'r'}, 2}; break;
        case '\b': forms[b] = {{'\\', 'b'}, 2}; break;
        default:
            forms[b] = {{'\\', static_cast<char>('0' + b / 100), static_cast<char>('0' + b / 10 % 10),
                         static_cast<char>('0' + b % 10)},
                        4};
        }
    }
    return forms;
}();

// Writes one byte in quoted form at `to`; returns the end. Four bytes are always stored, so `to` needs room
// for four: the callers have four for every byte left.
inline char* put_escaped_byte(char* to, unsigned char byte) {
    std::memcpy(to, quoted_bytes[byte].bytes, 4);
    return to + quoted_bytes[byte].size;
}

// The bytes of the eight packed in `w` that are not kept as they are (below a space, above a tilde, a double
// quotation mark, a backslash), each marked by its high bit alone. No sum carries out of its byte, so every
// mark is exact and the first byte to escape is the first mark in memory order.
constexpr std::uint64_t escaped_bytes(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101, highs = ones * 0x80, lows = ones * 0x7f;
    const std::uint64_t low = w & lows;
    const auto zero = [](std::uint64_t v) { return ~(((v & lows) + lows) | v) & highs; };
    const std::uint64_t below_space = ~(low + ones * (0x80 - ' ')) & ~w & highs;
    const std::uint64_t above_tilde = ((low + ones * (0x80 - '~' - 1)) | w) & highs;
    return below_space | above_tilde | zero(w ^ (ones * '"')) | zero(w ^ (ones * '\\'));
}

// Every byte value, at every place of a word and beside varied neighbours, is marked exactly when the table
// escapes it.
static_assert([] {
    for (unsigned step : {1u, 0x35u, 0x9du})
        for (unsigned first = 0; first < 256; ++first) {
            std::uint64_t w = 0, marks = 0;
            for (unsigned i = 0; i < 8; ++i) {
                const unsigned byte = (first + i * step) % 256;
                w |= std::uint64_t{byte} << (8 * i);
                if (!kept_as_is[byte]) marks |= std::uint64_t{0x80} << (8 * i);
            }
            if (escaped_bytes(w) != marks) return false;
        }
    return true;
}());

// The place in memory of the first byte that escaped_bytes marks (`marks` is not zero).
inline std::size_t first_marked(std::uint64_t marks) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(marks) / 8);
    else
        return static_cast<std::size_t>(std::countl_zero(marks) / 8);
}

#if defined(__SSE2__)
// The bytes of `block` that are not kept as they are, as bit i for byte i. The compares are signed: bytes
// from 0x80 up are negative, so below a space.
inline unsigned escaped_mask(__m128i block) {
    const __m128i below_space = _mm_cmplt_epi8(block, _mm_set1_epi8(' '));
    const __m128i above_tilde = _mm_cmpgt_epi8(block, _mm_set1_epi8('~'));
    const __m128i quote = _mm_cmpeq_epi8(block, _mm_set1_epi8('"'));
    const __m128i backslash = _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(below_space, above_tilde), _mm_or_si128(quote, backslash))));
}

// Copies n < 16 bytes with two moves of one size, which may overlap; nothing past n is read or written.
inline void copy_short(char* to, const char* from, std::size_t n) {
    if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}
#endif

}  // namespace

std::string uuid_text(const uuid& u) { return std::string(uuid_form(u).view()); }
std::string timestamp_text(timestamp t) { return std::string(timestamp_form(t).view()); }
std::string duration_text(duration d) { return std::string(duration_form(d).view()); }

std::string years_and_days_text(std::uint64_t seconds) {
    constexpr std::uint64_t seconds_per_day = 86'400;
    return std::to_string(seconds / seconds_per_year) + 'a' + std::to_string(seconds % seconds_per_year / seconds_per_day) + 'd';
}

// Kept bytes go out a whole block at a time: each step stores its block, then moves on past the kept bytes
// at its start and escapes the byte after them; what was stored beyond is written over by the next step.
// A block with two bytes or more to escape goes byte by byte through the table instead, with no branch on
// the bytes. With a block or more of input left, the room (four bytes per byte left) holds the block.
char* write_escaped(char* to, std::string_view s) {
    const char* at = s.data();
    const char* const end = at + s.size();
#if defined(__SSE2__)
    if (s.size() >= 16) {
        while (end - at >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
            const unsigned escaped = escaped_mask(block);
            if (escaped == 0) {
                at += 16;
                to += 16;
            } else if ((escaped & (escaped - 1)) == 0) {
                const auto kept = static_cast<unsigned>(std::countr_zero(escaped));
                at += kept;
                to += kept;
                to = put_escaped_byte(to, static_cast<unsigned char>(*at++));
            } else {
                for (const char* const stop = at + 16; at != stop; ++at)
                    to = put_escaped_byte(to, static_cast<unsigned char>(*at));
            }
        }
        // The last bytes are tested in the input's last block, whose first bytes are done.
        if (at != end) {
            const auto left = static_cast<unsigned>(end - at);
            const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
            const unsigned escaped_in_last = escaped_mask(last);
            const unsigned escaped = escaped_in_last >> (16 - left);
            if (escaped_in_last == 0) {
                // Nothing in the last block is escaped: the output ends in its first bytes as they are, so the
                // whole block is written again over them.
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to + left - 16), last);
                to += left;
            } else if ((escaped & (escaped - 1)) == 0) {
                // Kept bytes are copied exactly: the room left may be less than a block.
                const unsigned kept = escaped == 0 ? left : static_cast<unsigned>(std::countr_zero(escaped));
                copy_short(to, at, kept);
                at += kept;
                to += kept;
                if (at != end) {
                    to = put_escaped_byte(to, static_cast<unsigned char>(*at++));
                    copy_short(to, at, static_cast<std::size_t>(end - at));
                    to += end - at;
                }
            } else {
                for (; at != end; ++at) to = put_escaped_byte(to, static_cast<unsigned char>(*at));
            }
        }
        return to;
    }
#endif
    while (end - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        std::memcpy(to, &word, sizeof word);
        const std::uint64_t marks = escaped_bytes(word);
        if (marks == 0) {
            at += sizeof word;
            to += sizeof word;
        } else if ((marks & (marks - 1)) == 0) {
            const std::size_t kept = first_marked(marks);
            at += kept;
            to += kept;
            to = put_escaped_byte(to, static_cast<unsigned char>(*at++));
        } else {
            for (const char* const stop = at + sizeof word; at != stop; ++at)
                to = put_escaped_byte(to, static_cast<unsigned char>(*at));
        }
    }
    for (; at != end; ++at) to = put_escaped_byte(to, static_cast<unsigned char>(*at));
    return to;
}

std::string quoted(std::string_view s) {
    std::string out(2 + 4 * s.size(), '"');
    char* const end = write_escaped(out.data() + 1, s);
    *end = '"';
    out.resize(static_cast<std::size_t>(end + 1 - out.data()));
    return out;
}

void pp_integer(formatter& f, std::int64_t value) {
    short_text out;
    out.put_decimal(value);
    f.text(out.view());
}

void pp_uuid(formatter& f, const uuid& u) { f.text(uuid_form(u).view()); }
void pp_timestamp(formatter& f, timestamp t) { f.text(timestamp_form(t).view()); }
void pp_duration(formatter& f, duration d) { f.text(duration_form(d).view()); }

// The pieces go out as consecutive text tokens; with nothing between them that lays out exactly as one token.
void pp_quoted(formatter& f, std::string_view s) {
    constexpr std::size_t chunk = 256;
    char piece[4 * chunk];
    f.text("\"");
    for (std::size_t at = 0; at < s.size(); at += chunk)
        f.text(std::string_view(piece, write_escaped(piece, s.substr(at, chunk))));
    f.text("\"");
}

}  // namespace quarvel
