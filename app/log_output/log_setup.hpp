#pragma once
// Logging setup shared by the tools: the level, per-stream styling and the reporter.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <quarvel/log.hpp>
#include <quarvel_toolkit/sink.hpp>
#include <quarvel_toolkit/sole_delivery.hpp>

namespace log_output {

enum class color_choice { automatic, always, never };

// Where messages of levels other than `app` go. `app` messages always go to standard output.
enum class diagnostics_stream { standard_output, standard_error };

// Decides styling of standard output and standard error, the UTF-8 flags, sets the level of every log
// source and installs the reporter. `program_name` is argv[0] (its last path component is shown).
// Meant to run once, before the program starts other threads; the reporter it installs may then be
// reached from any number of threads, and writes each message whole, with one write call when it fits the
// stream's output buffer (output/buffer.hpp), whose policy for failed writes it follows.
void setup_log(std::string_view program_name, color_choice color, std::optional<quarvel::log::level> level,
               diagnostics_stream diagnostics = diagnostics_stream::standard_output);

// What the styling decision looks at: TERM, LANG, LC_ALL, LC_CTYPE (absent when unset) and whether each
// stream's descriptor is a terminal.
struct log_environment {
    std::optional<std::string_view> term, lang, lc_all, lc_ctype;
    bool standard_output_is_terminal = false;
    bool standard_error_is_terminal = false;
};

struct stream_styling {
    bool ansi = false;   // SGR escape sequences around level words and header texts
    bool utf8 = false;   // the terminal handles UTF-8 (nothing printed depends on it)
    friend bool operator==(const stream_styling&, const stream_styling&) = default;
};

struct log_styling {
    stream_styling standard_output, standard_error;
    friend bool operator==(const log_styling&, const log_styling&) = default;
};

// The process's environment and terminals, read now.
log_environment current_log_environment();
log_styling decide_log_styling(color_choice color, const log_environment& env);
// The decision made by the last `setup_log` (plain before it).
const log_styling& current_log_styling();

// The error number of the first message write that failed since `setup_log` (0 while all succeeded), so
// that a program can tell a truncated output (a full disk, a closed descriptor) from a complete one.
// After a failed write the reporter writes nothing more to that stream.
int log_write_error();

// While a batch lives, messages bound for standard output are held and leave in large writes, when
// standard output is not a terminal (on a terminal every line still leaves at once). Nothing observable
// changes: held lines go out before anything is written to standard error, whenever the held bytes pass
// `output_batch_size`, and when the batch ends (or `flush_output_batch` is called), so a program ends its
// batch before it waits on anything or exits. Failed writes count for `log_write_error` as before.
//
// The thread that makes a batch holds standard output until the batch ends: the log delivers no other
// thread's message meanwhile (quarvel_toolkit/sole_delivery.hpp), and the batch's own `app` lines reach the
// output buffer straight, with neither a lock nor the reporter's dispatch on their way. The thread's other
// messages (a warning of the library) go through the reporter as always, in their place.
inline constexpr std::size_t output_batch_size = 65536;
class output_batch {
public:
    output_batch();
    ~output_batch();
    output_batch(const output_batch&) = delete;
    output_batch& operator=(const output_batch&) = delete;

    // One `app` message without a header, as the reporter writes it: the text and a newline. For a program
    // whose reporter `setup_log` installed, once it has checked that the `app` level is enabled.
    void app(std::string_view text);
    // The same for a text written in place, where it goes: `fill(at)` writes at most `room` bytes at `at`
    // and returns their count.
    template <class Fill>
    void app_in_place(std::size_t room, Fill&& fill) {
        if (stream_.error() != 0) return;  // lost like every message after a failed write
        stream_.write_in_place(room + 1, [&](char* at) {
            const std::size_t size = fill(at);
            at[size] = '\n';
            return size + 1;
        });
        line_written();
    }

private:
    void line_written();

    quarvel::log::sole_delivery delivery_;  // taken before standard output's lock, as the reporter takes them
    quarvel::sink& stream_;
    const bool outer_;  // not within another batch of this thread
    bool holding_ = false;
};
// Writes what the batch holds now; the batch goes on.
void flush_output_batch();

// Writes one `app` message without a header (a transcript line) to standard output as `compose` hands its
// text over in pieces: the same bytes as the reporter writes for the whole text, but a text of hundreds of
// megabytes is never held whole. For a program whose reporter `setup_log` installed, once it has checked
// that the `app` level is enabled.
using text_pieces = std::function<void(std::string_view)>;
void write_app_message(const std::function<void(const text_pieces&)>& compose);

// The shown program name: the last path component of argv[0]; of the executable's path when it is empty.
std::string program_name_of(std::string_view argv0);

// Appends one message as the reporter writes it: header, text and the terminating newline.
void append_log_message(std::string& out, std::string_view program, bool ansi, quarvel::log::level lvl,
                        std::string_view header, std::string_view text);

}  // namespace log_output
