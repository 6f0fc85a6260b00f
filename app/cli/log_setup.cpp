#include "log_setup.hpp"

#include "terminal_text.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits.h>
#include <memory>
#include <mutex>
#include <unistd.h>

#include <quarvel_internal/posix.hpp>

namespace cli {

namespace {

using quarvel::log::level;

log_styling& styling_state() {
    static log_styling s;
    return s;
}

std::atomic<int>& write_error_state() {
    static std::atomic<int> err{0};
    return err;
}

// Messages held for standard output while an output_batch lives and standard output is no terminal;
// the bytes are taken under the lock, from whichever thread logs.
struct held_output {
    std::atomic<bool> active{false};
    std::mutex lock;
    std::string bytes;
};
held_output& held_state() {
    static held_output h;
    return h;
}

// Whether a message write to standard output (false) or standard error (true) failed since `setup_log`.
// Once a message is lost, later ones are not written to that stream either: the reader never gets an
// output with a hole in it, and a reader that went away costs no further system call per message.
std::atomic<bool>& stream_failed(bool standard_error) {
    static std::atomic<bool> failed[2] = {false, false};
    return failed[standard_error ? 1 : 0];
}

std::optional<std::string_view> environment_value(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr) return std::nullopt;
    return std::string_view(v);
}

bool names_utf8(const std::optional<std::string_view>& value) {
    if (!value) return false;
    std::string upper(*value);
    std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("UTF-8") != std::string::npos;
}

bool term_allows_styling(const std::optional<std::string_view>& term) {
    return term && !term->empty() && *term != "dumb";
}

std::string_view level_word(level lvl) {
    switch (lvl) {
        case level::error: return "ERROR";
        case level::warning: return "WARNING";
        case level::info: return "INFO";
        case level::debug: return "DEBUG";
        case level::app: break;
    }
    return {};
}

std::string_view level_sgr(level lvl) {
    switch (lvl) {
        case level::error: return "\x1b[0;31m";
        case level::warning: return "\x1b[0;33m";
        case level::info: return "\x1b[0;34m";
        case level::debug: return "\x1b[0;32m";
        case level::app: return "\x1b[0;36m";
    }
    return {};
}

constexpr std::string_view sgr_reset = "\x1b[0m";

void append_bracketed(std::string& out, bool ansi, level lvl, std::string_view word) {
    out += '[';
    if (ansi) out += level_sgr(lvl);
    out += word;
    if (ansi) out += sgr_reset;
    out += "] ";
}

// Writes one whole message to the stream's descriptor and so flushes it: one write call for a message
// (more only when the descriptor takes part of it), and no copy through the stream's buffer. Whatever
// the stream still buffers from elsewhere goes first. The first failure is kept for the program to
// report; the reporter itself has nowhere to report it. False when the write failed.
bool write_and_flush(std::FILE* stream, std::string_view bytes) {
    errno = 0;
    const int fd = std::fflush(stream) == 0 ? ::fileno(stream) : -1;
    const int error = fd >= 0 ? quarvel::posix::write_all(fd, bytes) : errno != 0 ? errno : EIO;
    int none = 0;
    if (error != 0) write_error_state().compare_exchange_strong(none, error);
    return error == 0;
}

// Writes to standard output unless a write to it failed before, and remembers a failure.
void write_standard_output(std::string_view bytes) {
    if (!stream_failed(false) && !write_and_flush(stdout, bytes)) stream_failed(false) = true;
}

// A message larger than a batch (a console line of megabytes) goes out from where its text lies instead
// of being copied first: its head (program name, level word, header), its text and its line end, one
// write each. False when a write failed.
bool write_large_message(std::FILE* stream, std::string_view program, bool ansi, level lvl, std::string_view header,
                         std::string_view text) {
    std::string head;
    append_log_message(head, program, ansi, lvl, header, {});
    head.pop_back();  // the line end, which comes after the text
    return (head.empty() || write_and_flush(stream, head)) && write_and_flush(stream, text) &&
           write_and_flush(stream, "\n");
}

// Appends one message for standard output to the held bytes while a batch holds them (false when none
// does); they leave once they pass the batch size.
bool hold(std::string_view program, bool ansi, level lvl, std::string_view header, std::string_view text) {
    held_output& h = held_state();
    if (!h.active) return false;
    const std::lock_guard held(h.lock);
    if (!h.active) return false;
    if (stream_failed(false)) return true;  // lost like every message after a failed write
    if (text.size() >= output_batch_size) {
        if (!h.bytes.empty()) write_standard_output(h.bytes);
        h.bytes.clear();
        if (!stream_failed(false) && !write_large_message(stdout, program, ansi, lvl, header, text))
            stream_failed(false) = true;
        return true;
    }
    append_log_message(h.bytes, program, ansi, lvl, header, text);
    if (h.bytes.size() >= output_batch_size) {
        write_standard_output(h.bytes);
        h.bytes.clear();
    }
    return true;
}

}  // namespace

output_batch::output_batch() {
    held_output& h = held_state();
    const std::lock_guard held(h.lock);
    h.bytes.reserve(output_batch_size + 4096);
    h.active = ::isatty(STDOUT_FILENO) != 1;
}

output_batch::~output_batch() {
    held_output& h = held_state();
    const std::lock_guard held(h.lock);
    h.active = false;
    if (!h.bytes.empty()) write_standard_output(h.bytes);
    std::string().swap(h.bytes);
}

void flush_output_batch() {
    held_output& h = held_state();
    const std::lock_guard held(h.lock);
    if (h.bytes.empty()) return;
    write_standard_output(h.bytes);
    h.bytes.clear();
}

log_environment current_log_environment() {
    return log_environment{
        .term = environment_value("TERM"),
        .lang = environment_value("LANG"),
        .lc_all = environment_value("LC_ALL"),
        .lc_ctype = environment_value("LC_CTYPE"),
        .standard_output_is_terminal = ::isatty(STDOUT_FILENO) == 1,
        .standard_error_is_terminal = ::isatty(STDERR_FILENO) == 1,
    };
}

log_styling decide_log_styling(color_choice color, const log_environment& env) {
    const auto ansi = [&](bool is_terminal) {
        switch (color) {
            case color_choice::always: return true;
            case color_choice::never: return false;
            case color_choice::automatic: break;
        }
        return term_allows_styling(env.term) && is_terminal;
    };
    const bool utf8 = names_utf8(env.lang) || names_utf8(env.lc_all) || names_utf8(env.lc_ctype);
    return log_styling{
        .standard_output = {.ansi = ansi(env.standard_output_is_terminal), .utf8 = utf8},
        .standard_error = {.ansi = ansi(env.standard_error_is_terminal), .utf8 = utf8},
    };
}

const log_styling& current_log_styling() { return styling_state(); }

int log_write_error() { return write_error_state().load(); }

std::string program_name_of(std::string_view argv0) {
    std::string path(argv0);
    if (path.empty()) {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
        if (n > 0) path.assign(buffer, static_cast<std::size_t>(n));
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    // The name heads every log line: a link named with control bytes must not reach the terminal as such.
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || path.size() == 1) return terminal_text(path);
    return terminal_text(std::string_view(path).substr(slash + 1));
}

void append_log_message(std::string& out, std::string_view program, bool ansi, level lvl, std::string_view header,
                        std::string_view text) {
    if (lvl == level::app) {
        if (!header.empty()) append_bracketed(out, ansi, lvl, header);
    } else {
        out += program;
        out += ": ";
        append_bracketed(out, ansi, lvl, header.empty() ? level_word(lvl) : header);
    }
    out += text;
    out += '\n';
}

void setup_log(std::string_view program_name, color_choice color, std::optional<level> lvl,
               diagnostics_stream diagnostics) {
    const log_styling styling = decide_log_styling(color, current_log_environment());
    styling_state() = styling;
    write_error_state() = 0;
    stream_failed(false) = false;
    stream_failed(true) = false;
    quarvel::log::set_level(lvl);

    // The message buffer is shared by the reporter's copies and taken under its lock, so the reporter is
    // safe from any thread on its own, and each message reaches the descriptor whole, in one piece.
    struct message_buffer {
        std::mutex lock;
        std::string bytes;
    };
    quarvel::log::set_reporter([program = program_name_of(program_name), styling, diagnostics,
                                buffer = std::make_shared<message_buffer>()](
                                   const quarvel::log::source&, level message_level, std::string_view header,
                                   std::string_view text) {
        const bool to_error = message_level != level::app && diagnostics == diagnostics_stream::standard_error;
        const bool ansi = to_error ? styling.standard_error.ansi : styling.standard_output.ansi;
        if (!to_error && hold(program, ansi, message_level, header, text)) return;
        // Whatever is held for standard output was said first, also when both streams reach one place.
        flush_output_batch();
        const std::lock_guard held(buffer->lock);
        if (stream_failed(to_error)) return;
        if (text.size() >= output_batch_size) {
            if (!write_large_message(to_error ? stderr : stdout, program, ansi, message_level, header, text))
                stream_failed(to_error) = true;
            return;
        }
        std::string& bytes = buffer->bytes;
        bytes.clear();
        append_log_message(bytes, program, ansi, message_level, header, text);
        if (!write_and_flush(to_error ? stderr : stdout, bytes)) stream_failed(to_error) = true;
        // A huge message must not pin its memory for the rest of the process.
        if (bytes.capacity() > 65536) std::string().swap(bytes);
    });
}

}  // namespace cli
