#include "inspect/transcript.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ranges>

#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/escape.hpp>
#include <quarvel_internal/posix.hpp>

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

}  // namespace

void append_console_line(std::string& out, const quarvel::console_line_view& line) { append_line(out, line); }

void for_each_transcript_line(std::span<const quarvel::console_line_view> console, quarvel::timestamp started,
                              quarvel::timestamp finished, const quarvel::execution_result& result,
                              const std::function<void(std::string_view)>& emit) {
    std::string buffer = "started at " + quarvel::timestamp_text(started);
    emit(buffer);
    for (const auto& line : console | std::views::reverse) {
        buffer.clear();
        append_line(buffer, line);
        emit(buffer);
    }
    emit(quarvel::render([&](quarvel::formatter& f) { quarvel::pp_execution_result(f, result); }));
    emit("stopped at " + quarvel::timestamp_text(finished));
}

}  // namespace inspect
