#include "log_setup.hpp"

#include "text/terminal_text.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits.h>
#include <mutex>
#include <unistd.h>

#include "output/buffer.hpp"

namespace log_output {

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

// One stream's messages as the reporter writes them: one output buffer, taken under its lock from
// whichever thread logs, or without it by the thread whose output_batch holds standard output. Standard
// output's holds its messages while an output_batch lives and standard output is no terminal; otherwise
// each message leaves as soon as it is written. After a write to a stream fails, nothing more is written to
// it (quarvel_toolkit/sink.hpp): the reader never gets an output with a hole in it, and a reader that went
// away costs no further system call per message.
//
// The program may have printed to the same descriptor through stdio: what the stdio stream still buffers was
// said first, and goes first, whenever the buffer starts afresh (each message, outside a batch; the start of
// a batch). A stdio stream that cannot be flushed is a failed write of the stream.
struct log_stream {
    log_stream(int fd, std::FILE* stdio_stream) : bytes(fd, output_batch_size), stdio(stdio_stream) {}
    std::mutex lock;
    output::buffer bytes;
    std::FILE* stdio;
    bool holding = false;
    std::string head;  // the head of the message being written, its storage kept

    void flush_stdio_first() {
        errno = 0;
        if (std::fflush(stdio) != 0) bytes.fail(errno != 0 ? errno : EIO);
    }
};
log_stream& standard_output_state() {
    static log_stream s(STDOUT_FILENO, stdout);
    return s;
}
log_stream& standard_error_state() {
    static log_stream s(STDERR_FILENO, stderr);
    return s;
}

// Set on the thread whose output_batch holds standard output's lock: what it writes there takes no lock.
thread_local bool holds_standard_output = false;

// Standard output's lock, unless this thread holds it for its batch.
std::unique_lock<std::mutex> lock_standard_output() {
    log_stream& s = standard_output_state();
    if (holds_standard_output) return std::unique_lock<std::mutex>(s.lock, std::defer_lock);
    return std::unique_lock<std::mutex>(s.lock);
}

// Keeps the first failed write of either stream for the program to report; the reporter itself has
// nowhere to report it.
void note_failure(const output::buffer& bytes) {
    int none = 0;
    if (bytes.error() != 0) write_error_state().compare_exchange_strong(none, bytes.error());
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

// Writes one message into the stream's buffer, under its lock, and hands it on unless the buffer holds it.
// It leaves with one write call when it fits the buffer; a larger one (a console line of megabytes) goes
// out from where its text lies instead of being copied first. Whatever the stream's stdio buffer still
// holds from elsewhere goes first.
void write_message(log_stream& s, std::string_view program, bool ansi, level lvl, std::string_view header,
                   std::string_view text) {
    if (!s.holding) s.flush_stdio_first();
    if (s.bytes.error() != 0) return;  // lost like every message after a failed write
    // An `app` message without a header (a transcript line) is its text alone.
    s.head.clear();
    if (lvl != level::app || !header.empty()) {
        append_log_message(s.head, program, ansi, lvl, header, {});
        s.head.pop_back();  // the line end, which comes after the text
    }
    s.bytes.keep_together(s.head.size() + text.size() + 1);
    if (!s.head.empty()) s.bytes.write(s.head);
    s.bytes.write(text);
    s.bytes.put('\n');
    if (!s.holding) s.bytes.flush();
    note_failure(s.bytes);
}

}  // namespace

void write_app_message(const std::function<void(const text_pieces&)>& compose) {
    log_stream& s = standard_output_state();
    const auto held = lock_standard_output();
    if (!s.holding) s.flush_stdio_first();
    if (s.bytes.error() != 0) return;  // lost like every message after a failed write
    compose([&](std::string_view piece) { s.bytes.write(piece); });
    s.bytes.put('\n');
    if (!s.holding) s.bytes.flush();
    note_failure(s.bytes);
}

// A batch within a batch of the same thread finds standard output held already: the outer one releases it.
output_batch::output_batch() : stream_(standard_output_state().bytes), outer_(!holds_standard_output) {
    log_stream& s = standard_output_state();
    if (outer_) {
        s.lock.lock();
        holds_standard_output = true;
        s.flush_stdio_first();
    }
    s.holding = ::isatty(STDOUT_FILENO) != 1;
    holding_ = s.holding;
}

output_batch::~output_batch() {
    log_stream& s = standard_output_state();
    s.holding = false;
    s.bytes.flush();
    note_failure(s.bytes);
    if (!outer_) return;
    holds_standard_output = false;
    s.lock.unlock();
}

void output_batch::app(std::string_view text) {
    if (stream_.error() != 0) return;  // lost like every message after a failed write
    stream_.keep_together(text.size() + 1);
    stream_.write(text);
    stream_.put('\n');
    line_written();
}

void output_batch::line_written() {
    if (!holding_) stream_.flush();
    if (stream_.error() != 0) note_failure(stream_);
}

void flush_output_batch() {
    log_stream& s = standard_output_state();
    const auto held = lock_standard_output();
    s.bytes.flush();
    note_failure(s.bytes);
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
    if (slash == std::string::npos || path.size() == 1) return text::terminal_text(path);
    return text::terminal_text(std::string_view(path).substr(slash + 1));
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
    {
        const auto held = lock_standard_output();
        standard_output_state().bytes.restart();
    }
    {
        log_stream& s = standard_error_state();
        const std::lock_guard held(s.lock);
        s.bytes.restart();
    }
    quarvel::log::set_level(lvl);

    // The streams' buffers are taken under their locks, so the reporter is safe from any thread on its own,
    // and each message reaches the descriptor whole.
    quarvel::log::set_reporter([program = program_name_of(program_name), styling, diagnostics](
                                   const quarvel::log::source&, level message_level, std::string_view header,
                                   std::string_view text) {
        if (message_level != level::app && diagnostics == diagnostics_stream::standard_error) {
            // Whatever is held for standard output was said first, also when both streams reach one place.
            flush_output_batch();
            log_stream& s = standard_error_state();
            const std::lock_guard held(s.lock);
            write_message(s, program, styling.standard_error.ansi, message_level, header, text);
            return;
        }
        log_stream& s = standard_output_state();
        const auto held = lock_standard_output();
        write_message(s, program, styling.standard_output.ansi, message_level, header, text);
    });
}

}  // namespace log_output
