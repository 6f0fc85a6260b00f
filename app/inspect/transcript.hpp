#pragma once
// The console transcript of a record and its lines, as quarvel-inspect prints them.

#include <cstddef>
#include <functional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include <quarvel/model.hpp>

namespace inspect {

// Appends the "%dms: %S" form of one console line: the delta read as an unsigned 64-bit count of
// nanoseconds in whole milliseconds, then the data in quoted form.
void append_console_line(std::string& out, const quarvel::console_line_view& line);

// The same form written in place: at most `console_line_room(line)` bytes at `at`; returns their count.
std::size_t console_line_room(const quarvel::console_line_view& line);
std::size_t write_console_line(char* at, const quarvel::console_line_view& line);

// A console line's form for an `emit` that takes it in place: `(*this)(at)` writes it at `at`.
struct console_line_writer {
    const quarvel::console_line_view& line;
    std::size_t operator()(char* at) const { return write_console_line(at, line); }
};

// A line handed over in pieces: `compose` calls the function it is given with each piece, in order.
using line_pieces = std::function<void(std::string_view)>;
using line_composer = std::function<void(const line_pieces&)>;

// Console texts above this size are escaped a piece at a time when the caller takes pieces.
inline constexpr std::size_t long_console_line = 1 << 20;

// Hands the same bytes as `append_console_line` to `put`, in pieces of bounded size.
void compose_console_line(const quarvel::console_line_view& line, const line_pieces& put);

// The first line, "started at" and the start time; the result's text form; the last, "stopped at" and the
// stop time.
std::string started_line(quarvel::timestamp started);
std::string result_line(const quarvel::execution_result& result);
std::string stopped_line(quarvel::timestamp finished);

// Calls `emit` with each transcript line in print order: "started at" and the start time, the console
// lines last stored first, the result's text form, "stopped at" and the stop time. The view lives only
// during the call, so a long console costs one buffer, not one string per line. With `emit_in_pieces`, a
// console line of more than a megabyte goes to it instead, its quoted form made and handed over a piece at
// a time (the escapes of a line of control bytes take four times its size). Both are called directly, as
// the caller gives them: a million lines cost no dispatch of their own. An `emit` that also takes
// `(room, console_line_writer)` gets each console line that way, to write it where it goes, uncopied.
template <class Emit, class EmitInPieces = std::nullptr_t>
void for_each_transcript_line(std::span<const quarvel::console_line_view> console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result, Emit&& emit,
                              EmitInPieces&& emit_in_pieces = nullptr) {
    std::string buffer = started_line(started);
    emit(std::string_view(buffer));
    for (const auto& line : console | std::views::reverse) {
        if constexpr (!std::is_same_v<std::remove_cvref_t<EmitInPieces>, std::nullptr_t>) {
            if (line.data.size() > long_console_line) {
                emit_in_pieces(line_composer([&](const line_pieces& put) { compose_console_line(line, put); }));
                continue;
            }
        }
        if constexpr (std::is_invocable_v<Emit&, std::size_t, const console_line_writer&>) {
            emit(console_line_room(line), console_line_writer{line});
        } else {
            buffer.clear();
            append_console_line(buffer, line);
            emit(std::string_view(buffer));
        }
    }
    emit(std::string_view(result_line(result)));
    emit(std::string_view(stopped_line(finished)));
}

}  // namespace inspect
