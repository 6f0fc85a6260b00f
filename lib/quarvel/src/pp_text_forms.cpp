// The text forms of the basic values: integer, uuid, timestamp, duration and quoted text.
#include <quarvel/pp.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

#include <quarvel_internal/escape.hpp>

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

short_text timestamp_form(timestamp t) {
    // `to_civil` takes the whole second at or before the instant: the fraction is dropped toward the past.
    const der::civil_time c = der::to_civil(t);
    short_text out;
    out.put_decimal(c.year, 4);
    out.put('-');
    out.put_decimal(c.month, 2);
    out.put('-');
    out.put_decimal(c.day, 2);
    out.put('T');
    out.put_decimal(c.hour, 2);
    out.put(':');
    out.put_decimal(c.minute, 2);
    out.put(':');
    out.put_decimal(c.second, 2);
    out.put("-00:00");
    return out;
}

short_text duration_form(duration d) {
    constexpr std::uint64_t ns_per_us = 1'000, ns_per_ms = 1'000'000, ns_per_s = 1'000'000'000;
    constexpr std::uint64_t ns_per_min = 60 * ns_per_s, ns_per_h = 60 * ns_per_min, ns_per_day = 24 * ns_per_h;
    constexpr std::uint64_t ns_per_year = 31'557'600 * ns_per_s;  // 365.25 days
    // Every quantity is unsigned and every quotient truncated, so counts of 2^63 ns and more follow the same
    // rules as smaller ones.
    const std::uint64_t ns = d.nanoseconds;
    short_text out;
    if (ns >= ns_per_min) {
        const std::uint64_t years = ns / ns_per_year, below_year = ns % ns_per_year;
        const std::uint64_t days = below_year / ns_per_day, hours = below_year % ns_per_day / ns_per_h;
        const std::uint64_t minutes = below_year % ns_per_h / ns_per_min, seconds = ns % ns_per_min / ns_per_s;
        if (years > 0) {
            out.put_decimal(years);
            out.put('a');
            out.put_decimal(days);
            out.put('d');
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
// mark and the backslash).
constexpr std::array<bool, 256> kept_as_is = [] {
    std::array<bool, 256> kept{};
    for (int b = ' '; b <= '~'; ++b) kept[static_cast<std::size_t>(b)] = b != '"' && b != '\\';
    return kept;
}();

// Whether any of the eight bytes packed in `w` is not kept as it is: one below a space, one above a tilde,
// a double quotation mark or a backslash (exact tests for the presence of such a byte).
constexpr bool any_escaped(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    const auto has_zero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
    const std::uint64_t below_space = (w - ones * 0x20) & ~w & highs;
    const std::uint64_t above_tilde = ((w + ones) | w) & highs;
    return (below_space | above_tilde | has_zero(w ^ (ones * '"')) | has_zero(w ^ (ones * '\\'))) != 0;
}

// Writes one byte in quoted form at `to` (at most four bytes); returns the end.
inline char* put_escaped_byte(char* to, unsigned char byte) {
    if (kept_as_is[byte]) {
        *to++ = static_cast<char>(byte);
        return to;
    }
    *to++ = '\\';
    switch (byte) {
    case '"': *to++ = '"'; break;
    case '\\': *to++ = '\\'; break;
    case '\n': *to++ = 'n'; break;
    case '\t': *to++ = 't'; break;
    case '\r': *to++ = 'r'; break;
    case '\b': *to++ = 'b'; break;
    default:
        *to++ = static_cast<char>('0' + byte / 100);
        *to++ = static_cast<char>('0' + byte / 10 % 10);
        *to++ = static_cast<char>('0' + byte % 10);
    }
    return to;
}

}  // namespace

std::string uuid_text(const uuid& u) { return std::string(uuid_form(u).view()); }
std::string timestamp_text(timestamp t) { return std::string(timestamp_form(t).view()); }
std::string duration_text(duration d) { return std::string(duration_form(d).view()); }

char* write_escaped(char* to, std::string_view s) {
    const char* at = s.data();
    const char* const end = at + s.size();
    // Bytes kept as they are go eight at a time.
    while (end - at >= 8) {
        std::uint64_t w;
        std::memcpy(&w, at, sizeof w);
        if (any_escaped(w)) {
            for (const char* const stop = at + 8; at != stop; ++at) to = put_escaped_byte(to, static_cast<unsigned char>(*at));
        } else {
            std::memcpy(to, at, sizeof w);
            to += sizeof w;
            at += sizeof w;
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
