#include "run.hpp"

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <unistd.h>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/posix.hpp>

#include "cli/read_file.hpp"
#include "cli/terminal_text.hpp"
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
quarvel::result<void> print_to_standard_output(quarvel::result<T> decoded, Print&& print_value) {
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    errno = 0;
    {
        quarvel::formatter f(stdout);
        print_value(f, *decoded);
        f.line_end();
    }
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return {};
    return standard_output_failure();
}

// The value's encoding, or for a record its summary (a state's and a command's text forms are laid out
// straight onto standard output; JSON and captures are streamed: stream.cpp).
template <class T, class Encode>
quarvel::result<std::string> encoded(quarvel::result<T> decoded, Encode&& encode) {
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    return encode(*decoded);
}

quarvel::result<std::string> render(const settings& s, std::string_view bytes) {
    switch (s.kind) {
        case input_kind::state: return encoded(quarvel::asn::state_of_str(bytes), quarvel::asn::state_to_str);
        case input_kind::cmd: return encoded(quarvel::asn::cmd_of_str(bytes), quarvel::asn::cmd_to_str);
        case input_kind::exec:
            if (s.form == output_form::encoding)
                return encoded(quarvel::asn::exec_of_str(bytes), quarvel::asn::exec_to_str);
            return encoded(quarvel::asn::exec_of_str(bytes), exec_summary);
    }
    return std::string();
}

quarvel::result<void> dump_file(const settings& s, const std::string& file) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    const auto bytes = cli::read_whole_file(file);
    if (!bytes) return std::unexpected(bytes.error());
    if (s.form == output_form::text && s.kind == input_kind::state)
        return print_to_standard_output(quarvel::asn::state_of_str(*bytes), quarvel::pp_state);
    if (s.form == output_form::text && s.kind == input_kind::cmd)
        return print_to_standard_output(quarvel::asn::cmd_of_str(*bytes), quarvel::pp_cmd);
    auto rendered = render(s, *bytes);
    if (!rendered) return std::unexpected(rendered.error());
    return write_standard_output(*rendered);
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

}  // namespace dump
