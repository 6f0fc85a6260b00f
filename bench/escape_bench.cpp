// write_escaped, the quoted form's escapes, on 64 MiB of text: bytes of input per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <quarvel_toolkit/escape.hpp>

namespace {

constexpr std::size_t text_size = std::size_t{64} << 20;

// mt19937_64 gives the same bits everywhere; the modulo bias is irrelevant here.
std::uint64_t below(std::mt19937_64& bits, std::uint64_t n) { return bits() % n; }

// A line as builds print them: 40 to 120 bytes of words, paths and numbers; about one line in twelve has a
// tab and one in twelve a quoted word.
std::string console_line(std::mt19937_64& bits) {
    static constexpr std::string_view words[] = {
        "make[2]:", "Entering", "directory", "'/build/src/lib'", "gcc", "-O2", "-g", "-Wall", "-c", "main.c", "-o",
        "main.o", "warning:", "unused", "variable", "in", "function", "[ 45%]", "Building", "CXX", "object",
        "lib/CMakeFiles/quarvel.dir/src/model.cpp.o", "Linking", "static", "library", "libquarvel.a", "ok",
        "test", "passed", "12/42", "(0.03s)", "Downloading", "https://example.org/pkg-1.2.3.tar.gz", "100%",
        "checking", "for", "size_t...", "yes", "no", "=>", "installed", "the", "a", "of", "to", "and"};
    const std::size_t length = 40 + below(bits, 81);
    std::string line;
    while (line.size() < length) {
        if (!line.empty()) line += ' ';
        line += words[below(bits, std::size(words))];
    }
    line.resize(length);
    if (below(bits, 12) == 0) line[below(bits, length)] = '\t';
    if (below(bits, 12) == 0) {
        const std::size_t open = below(bits, length - 10);
        line[open] = '"';
        line[open + 1 + below(bits, 9)] = '"';
    }
    return line;
}

std::vector<std::string> console_lines() {
    std::mt19937_64 bits{20240102};
    std::vector<std::string> lines;
    for (std::size_t size = 0; size < text_size; size += lines.back().size() + 1) lines.push_back(console_line(bits));
    return lines;
}

// The same lines, each ended by a line feed, as one text.
std::string console_text(const std::vector<std::string>& lines) {
    std::string text;
    text.reserve(text_size + 128);
    for (const auto& line : lines) (text += line) += '\n';
    return text;
}

// Printable bytes with none to escape: the run that should go at memory speed.
std::string printable_only() {
    std::mt19937_64 bits{20240105};
    std::string text(text_size, ' ');
    for (char& c : text) {
        do c = static_cast<char>(' ' + below(bits, 95));
        while (c == '"' || c == '\\');
    }
    return text;
}

// Coloured output in several languages: about a third of its bytes are escaped (UTF-8 beyond ASCII, the
// terminal's escape sequences, tabs, quotes, line feeds).
std::string many_escapes_text() {
    static constexpr std::string_view words[] = {
        "caf\xC3\xA9", "na\xC3\xAFve", "\xE2\x80\x94", "d\xC3\xA9j\xC3\xA0", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
        "\x1B[1;31merror\x1B[0m", "\x1B[32mok\x1B[0m", "\"quoted\"", "C:\\build\\out", "\t", "\n", "build", "test",
        "\xC3\xBC" "ber", "stra\xC3\x9F" "e"};
    std::mt19937_64 bits{20240103};
    std::string text;
    text.reserve(text_size + 64);
    while (text.size() < text_size) {
        text += words[below(bits, std::size(words))];
        text += ' ';
    }
    return text;
}

// Uniform bytes: most of them escaped, many of them in four bytes.
std::string arbitrary_octets() {
    std::mt19937_64 bits{20240104};
    std::string text(text_size, '\0');
    for (char& c : text) c = static_cast<char>(bits());
    return text;
}

void escape_whole(benchmark::State& state, const std::string& text) {
    std::string room(4 * text.size(), '\0');
    std::size_t written = 0;
    for (auto _ : state) {
        written = static_cast<std::size_t>(quarvel::write_escaped(room.data(), text) - room.data());
        benchmark::DoNotOptimize(room.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["out/in"] = static_cast<double>(written) / static_cast<double>(text.size());
}

// The bound: the same bytes copied with memcpy into the same room.
void copy_whole(benchmark::State& state, const std::string& text) {
    std::string room(4 * text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(room.data(), text.data(), text.size());
        benchmark::DoNotOptimize(room.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// One call a line, as the transcript makes them; the output stays in cache.
void escape_lines(benchmark::State& state, const std::vector<std::string>& lines) {
    std::string room(4 * 128, '\0');
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size();
    for (auto _ : state) {
        for (const auto& line : lines) {
            benchmark::DoNotOptimize(quarvel::write_escaped(room.data(), line));
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

}  // namespace

int main(int argc, char** argv) {
    // Registered benchmarks keep references: the inputs live until the end of main.
    static const std::vector<std::string> lines = console_lines();
    static const std::string console = console_text(lines), many = many_escapes_text(), octets = arbitrary_octets();
    static const std::string printable = printable_only();
    const auto add = [](const char* name, auto run, const auto& input) {
        benchmark::RegisterBenchmark(name, run, std::cref(input))->Unit(benchmark::kMillisecond);
    };
    add("memcpy/console_text", copy_whole, console);
    add("escape/printable_only", escape_whole, printable);
    add("escape/console_text", escape_whole, console);
    add("escape/console_lines", escape_lines, lines);
    add("escape/many_escapes", escape_whole, many);
    add("escape/arbitrary_octets", escape_whole, octets);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
