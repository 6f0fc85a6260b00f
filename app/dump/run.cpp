#include "run.hpp"

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <variant>
#include <unistd.h>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/posix.hpp>

#include "cli/read_file.hpp"
#include "cli/terminal_text.hpp"
#include "decode.hpp"
#include "stream.hpp"
#include "summary.hpp"

namespace dump {

namespace {

// A reader that went away (EPIPE) ends the run without a message: there is nobody left to tell.
quarvel::result<void> standard_output_failure() {
    const int error = errno != 0 ? errno : EIO;
    if (error == EPIPE) return std::unexpected(std::string());
    return std::unexpected(std::string("standard output: ") + quarvel::posix::describe_error(error));
}

quarvel::result<void> write_standard_output(std::string_view bytes) {
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    if (std::fflush(stdout) == 0 && written) return {};
    return standard_output_failure();
}

// A decoded value's text form laid out straight onto standard output, followed by one line end: the text
// of a large state is never held whole beside the value it prints.
template <class T, class Print>
quarvel::result<void> print_to_standard_output(const T& decoded, Print&& print_value) {
    errno = 0;
    {
        quarvel::formatter f(stdout);
        print_value(f, decoded);
        f.line_end();
    }
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return {};
    return standard_output_failure();
}

quarvel::result<void> print(const quarvel::state& v) { return print_to_standard_output(v, quarvel::pp_state); }
quarvel::result<void> print(const quarvel::cmd& v) { return print_to_standard_output(v, quarvel::pp_cmd); }
quarvel::result<void> print(const quarvel::execution_record_view& v) { return write_standard_output(exec_summary(v)); }

// The value's text form or its encoding, on standard output (JSON and captures are streamed: stream.cpp).
quarvel::result<void> write_value(const settings& s, const value& decoded) {
    if (s.form == output_form::encoding) return write_standard_output(encoding_of(decoded));
    return std::visit([](const auto& v) { return print(v); }, decoded);
}

quarvel::result<void> dump_file(const settings& s, const std::string& file) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    // A regular file is mapped, not copied, and a record refers to its bytes: it is written while they are
    // there, so that a record larger than memory costs only its structure.
    quarvel::result<void> written;
    auto read = cli::with_whole_file(file, [&](std::string_view bytes) {
        const auto decoded = decode(s.kind, bytes);
        written = decoded ? write_value(s, *decoded) : std::unexpected(decoded.error());
    });
    if (!read) return read;
    return written;
}

}  // namespace

quarvel::result<void> run(const settings& s, const std::string& file) {
    if (streamed(s)) return run_streamed(s, file);
    auto done = dump_file(s, file);
    // Decoders' messages may quote the input (a malformed time's text), and so may a frame's error line:
    // every error leaves by the terminal rule.
    if (!done) return std::unexpected(cli::terminal_message(std::move(done.error())));
    return done;
}

quarvel::result<void> run(const settings& s, const std::vector<std::string>& files, const error_report& report) {
    if (files.size() == 1) return run(s, files.front());
    return run_streamed(s, files, report);
}

}  // namespace dump
