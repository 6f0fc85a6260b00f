// The text forms of the basic values: integer, uuid, timestamp, duration and quoted text.
#include <quarvel/pp.hpp>

#include <charconv>
#include <cstring>

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

// Calls `emit` with the quoted form in pieces: runs of bytes that stay as they are (views into `s`) and
// escapes.
template <class Emit>
void quote(std::string_view s, Emit&& emit) {
    emit(std::string_view("\""));
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte >= ' ' && byte <= '~' && byte != '"' && byte != '\\') continue;
        if (run < i) emit(s.substr(run, i - run));
        run = i + 1;
        switch (byte) {
        case '"': emit(std::string_view("\\\"")); break;
        case '\\': emit(std::string_view("\\\\")); break;
        case '\n': emit(std::string_view("\\n")); break;
        case '\t': emit(std::string_view("\\t")); break;
        case '\r': emit(std::string_view("\\r")); break;
        case '\b': emit(std::string_view("\\b")); break;
        default: {
            const char escape[] = {'\\', static_cast<char>('0' + byte / 100), static_cast<char>('0' + byte / 10 % 10),
                                   static_cast<char>('0' + byte % 10)};
            emit(std::string_view(escape, sizeof escape));
        }
        }
    }
    if (run < s.size()) emit(s.substr(run));
    emit(std::string_view("\""));
}

}  // namespace

std::string uuid_text(const uuid& u) { return std::string(uuid_form(u).view()); }
std::string timestamp_text(timestamp t) { return std::string(timestamp_form(t).view()); }
std::string duration_text(duration d) { return std::string(duration_form(d).view()); }

std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    quote(s, [&](std::string_view piece) { out.append(piece); });
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
    quote(s, [&](std::string_view piece) { f.text(piece); });
}

}  // namespace quarvel
