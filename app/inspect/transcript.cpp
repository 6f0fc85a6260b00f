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

constexpr std::size_t escaped_piece = 1 << 18;  // octets of the text escaped at once

}  // namespace

// The line is written in place, into room for its longest form (20 digits, "ms: ", quotes, and four bytes for
// every byte of data), then cut to its length.
std::size_t console_line_room(const quarvel::console_line_view& line) { return 20 + 4 + 2 + 4 * line.data.size(); }

std::size_t write_console_line(char* at, const quarvel::console_line_view& line) {
    // A negative stored delta stands for a count of 2^63 nanoseconds or more.
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(line.delta) / 1'000'000;
    char* to = std::to_chars(at, at + 20, milliseconds).ptr;  // 20 digits always fit
    std::memcpy(to, "ms: ", 4);
    to += 4;
    *to++ = '"';
    to = quarvel::write_escaped(to, line.data);
    *to++ = '"';
    return static_cast<std::size_t>(to - at);
}

// The head, the quoted text a piece at a time (each octet's escape depends on that octet alone), the closing
// quote.
void compose_console_line(const quarvel::console_line_view& line, const line_pieces& put) {
    std::string piece;
    append_console_line(piece, quarvel::console_line_view{line.delta, {}});
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

void append_console_line(std::string& out, const quarvel::console_line_view& line) {
    quarvel::posix::append_in_place(out, console_line_room(line),
                                    [&](char* begin) { return write_console_line(begin, line); });
}

std::string started_line(quarvel::timestamp started) { return "started at " + quarvel::timestamp_text(started); }

std::string result_line(const quarvel::execution_result& result) {
    return quarvel::render([&](quarvel::formatter& f) { quarvel::pp_execution_result(f, result); });
}

std::string stopped_line(quarvel::timestamp finished) { return "stopped at " + quarvel::timestamp_text(finished); }

}  // namespace inspect
