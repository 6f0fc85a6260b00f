#include "inspect/transcript.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ranges>

#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_toolkit/escape.hpp>
#include <quarvel_toolkit/posix.hpp>

namespace inspect {

namespace {

template <class Line>
void append_line(std::string& out, const Line& line) {
    // A negative stored delta stands for a count of 2^63 nanoseconds or more.
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(line.delta) / 1'000'000;
    // The line is written in place, into room for its longest form (20 digits, "ms: ", quotes, and four
    // bytes for every byte of data), then cut to its length.
    constexpr std::size_t digits_and_quotes = 20 + 4 + 2;
    quarvel::posix::append_in_place(out, digits_and_quotes + 4 * line.data.size(), [&](char* begin) {
        char* to = std::to_chars(begin, begin + 20, milliseconds).ptr;  // 20 digits always fit
        std::memcpy(to, "ms: ", 4);
        to += 4;
        *to++ = '"';
        to = quarvel::write_escaped(to, line.data);
        *to++ = '"';
        return static_cast<std::size_t>(to - begin);
    });
}

// Console texts above this size are escaped a piece at a time when the caller takes pieces.
constexpr std::size_t long_line = 1 << 20;
constexpr std::size_t escaped_piece = 1 << 18;  // octets of the text escaped at once

// The same line as `append_line`, handed over in pieces of bounded size: the head, the quoted text a piece
// at a time (each octet's escape depends on that octet alone), the closing quote.
void compose_line(const quarvel::console_line_view& line, const line_pieces& put) {
    std::string piece;
    append_line(piece, quarvel::console_line_view{line.delta, {}});
    piece.pop_back();  // the closing quote comes after the text
    put(piece);
    for (std::string_view rest = line.data; !rest.empty();) {
        const std::string_view part = rest.substr(0, escaped_piece);
        rest.remove_prefix(part.size());
        piece.clear();
        quarvel::posix::append_in_place(piece, 4 * part.size(), [&](char* begin) {
            return static_cast<std::size_t>(quarvel::write_escaped(begin, part) - begin);
        });
        put(piece);
    }
    put("\"");
}

}  // namespace

void append_console_line(std::string& out, const quarvel::console_line_view& line) { append_line(out, line); }

void for_each_transcript_line(std::span<const quarvel::console_line_view> console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result,
                              const std::function<void(std::string_view)>& emit,
                              const std::function<void(const line_composer&)>& emit_in_pieces) {
    std::string buffer = "started at " + quarvel::timestamp_text(started);
    emit(buffer);
    for (const auto& line : console | std::views::reverse) {
        if (emit_in_pieces && line.data.size() > long_line) {
            emit_in_pieces([&](const line_pieces& put) { compose_line(line, put); });
            continue;
        }
        buffer.clear();
        append_line(buffer, line);
        emit(buffer);
    }
    emit(quarvel::render([&](quarvel::formatter& f) { quarvel::pp_execution_result(f, result); }));
    emit("stopped at " + quarvel::timestamp_text(finished));
}

}  // namespace inspect
