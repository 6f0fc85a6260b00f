#include "inspect/transcript.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ranges>

#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>

namespace inspect {

std::string job_line(const quarvel::script_job& job) {
    std::string line;
    line.reserve(job.name.size() + 4 + job.platform.size());
    line += job.name;
    line += " on ";
    line += job.platform;
    return line;
}

namespace {

// Whether a byte of console data is written as it is in the quoted form (space to tilde, except the
// double quotation mark and the backslash).
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

// Writes one byte of console data in quoted form at `to` (at most four bytes); returns the end.
inline char* put_quoted_byte(char* to, unsigned char byte) {
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

// Writes `data` in the quoted form of the text forms (`quarvel::quoted`) at `to`, which has room for
// 2 + 4 × data.size() bytes; returns the end. Bytes that are kept as they are go eight at a time.
char* put_quoted(char* to, std::string_view data) {
    *to++ = '"';
    const char* at = data.data();
    const char* const end = at + data.size();
    while (end - at >= 8) {
        std::uint64_t w;
        std::memcpy(&w, at, sizeof w);
        if (any_escaped(w)) {
            for (const char* const stop = at + 8; at != stop; ++at) to = put_quoted_byte(to, static_cast<unsigned char>(*at));
        } else {
            std::memcpy(to, at, sizeof w);
            to += sizeof w;
            at += sizeof w;
        }
    }
    for (; at != end; ++at) to = put_quoted_byte(to, static_cast<unsigned char>(*at));
    *to++ = '"';
    return to;
}

}  // namespace

void append_console_line(std::string& out, const quarvel::console_line& line) {
    // A negative stored delta stands for a count of 2^63 nanoseconds or more.
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(line.delta) / 1'000'000;
    // The line is written in place, into room for its longest form (20 digits, "ms: ", quotes, and four
    // bytes for every byte of data), then cut to its length. The room is reserved first: libstdc++ 12's
    // resize_and_overwrite hands its callback a wrong size when it must reallocate itself.
    constexpr std::size_t digits_and_quotes = 20 + 4 + 2;
    const std::size_t used = out.size();
    const std::size_t most = used + digits_and_quotes + 4 * line.data.size();
    if (out.capacity() < most) out.reserve(std::max(most, 2 * out.capacity()));
    out.resize_and_overwrite(most, [&](char* begin, std::size_t) {
        char* to = std::to_chars(begin + used, begin + used + 20, milliseconds).ptr;  // 20 digits always fit
        std::memcpy(to, "ms: ", 4);
        to = put_quoted(to + 4, line.data);
        return static_cast<std::size_t>(to - begin);
    });
}

void for_each_transcript_line(const std::vector<quarvel::console_line>& console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result,
                              const std::function<void(std::string_view)>& emit) {
    std::string buffer = "started at " + quarvel::timestamp_text(started);
    emit(buffer);
    for (const auto& line : console | std::views::reverse) {
        buffer.clear();
        append_console_line(buffer, line);
        emit(buffer);
    }
    emit(quarvel::render([&](quarvel::formatter& f) { quarvel::pp_execution_result(f, result); }));
    emit("stopped at " + quarvel::timestamp_text(finished));
}

std::vector<std::string> prepare_console(const std::vector<quarvel::console_line>& console,
                                         quarvel::timestamp started, quarvel::timestamp finished,
                                         const quarvel::execution_result& result) {
    std::vector<std::string> lines;
    lines.reserve(console.size() + 3);
    for_each_transcript_line(console, started, finished, result,
                             [&](std::string_view text) { lines.emplace_back(text); });
    return lines;
}

}  // namespace inspect
