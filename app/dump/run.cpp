#include "run.hpp"

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <unistd.h>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/posix.hpp>

#include "capture.hpp"
#include "cli/read_file.hpp"
#include "json.hpp"
#include "summary.hpp"

namespace dump {

namespace {

quarvel::result<void> standard_output_failure() {
    return std::unexpected(std::string("standard output: ") + quarvel::posix::describe_error(errno != 0 ? errno : EIO));
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

// The text form as a formatter with the usual margin lays it out, followed by one line end.
template <class Print>
std::string printed(Print&& print_value) {
    std::string text;
    {
        quarvel::formatter f(text);
        print_value(f);
        f.line_end();
    }
    return text;
}

template <class T, class Encode, class Text, class Json>
quarvel::result<std::string> render_value(quarvel::result<T> decoded, const settings& s, Encode&& encode,
                                          Text&& text, Json&& json) {
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    switch (s.form) {
        case output_form::encoding: return encode(*decoded);
        case output_form::json: return json(*decoded, json_options{s.contents});  // without its line feed
        case output_form::text: break;
    }
    return text(*decoded);
}

// Decodes one value of the kind and renders it as the settings ask.
quarvel::result<std::string> render(const settings& s, std::string_view bytes) {
    switch (s.kind) {
        case input_kind::state:
            return render_value(quarvel::asn::state_of_str(bytes), s, quarvel::asn::state_to_str,
                                [](const quarvel::state& v) {
                                    return printed([&](quarvel::formatter& f) { quarvel::pp_state(f, v); });
                                },
                                json_of_state);
        case input_kind::cmd:
            return render_value(quarvel::asn::cmd_of_str(bytes), s, quarvel::asn::cmd_to_str,
                                [](const quarvel::cmd& v) {
                                    return printed([&](quarvel::formatter& f) { quarvel::pp_cmd(f, v); });
                                },
                                json_of_cmd);
        case input_kind::exec:
            return render_value(quarvel::asn::exec_of_str(bytes), s, quarvel::asn::exec_to_str, exec_summary,
                                json_of_exec);
    }
    return std::string();
}

// Each frame is written as soon as it has been read and decoded; the first bad one ends the run.
quarvel::result<void> dump_capture(const settings& s, const std::string& file) {
    const auto fd = cli::open_file_or_stdin(file);
    if (!fd) return std::unexpected(fd.error());
    struct closer {
        int fd;
        bool owned;
        ~closer() {
            if (owned) ::close(fd);
        }
    } const close_at_end{*fd, file != "-"};

    capture_reader reader;
    reader.fd = *fd;
    for (;;) {
        const auto next = next_frame(reader);
        const auto where = [&] {
            return "frame " + std::to_string(reader.frame_number) + " at offset " +
                   std::to_string(reader.frame_offset);
        };
        if (!next) {
            if (!next.error().in_frame) return std::unexpected(cli::file_failure(file, next.error().error_number));
            return std::unexpected(where() + ": " + next.error().message);
        }
        if (!*next) return {};
        auto rendered = render(s, reader.payload);
        if (!rendered) return std::unexpected(where() + ": " + rendered.error());
        std::string out;
        switch (s.form) {
            case output_form::text: out = where() + "\n" + *rendered; break;
            case output_form::json:
                out = "{\"frame\":" + std::to_string(reader.frame_number) +
                      ",\"offset\":" + std::to_string(reader.frame_offset) + ",\"value\":" + *rendered + "}\n";
                break;
            case output_form::encoding: {
                const auto prefix = quarvel::frame_prefix(static_cast<std::int64_t>(rendered->size()));
                out.assign(prefix.begin(), prefix.end());
                out += *rendered;
                break;
            }
        }
        if (auto w = write_standard_output(out); !w) return w;
    }
}

}  // namespace

quarvel::result<void> run(const settings& s, const std::string& file) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    if (s.framed) return dump_capture(s, file);
    const auto bytes = cli::read_whole_file(file);
    if (!bytes) return std::unexpected(bytes.error());
    if (s.form == output_form::text && s.kind == input_kind::state)
        return print_to_standard_output(quarvel::asn::state_of_str(*bytes), quarvel::pp_state);
    if (s.form == output_form::text && s.kind == input_kind::cmd)
        return print_to_standard_output(quarvel::asn::cmd_of_str(*bytes), quarvel::pp_cmd);
    auto rendered = render(s, *bytes);
    if (!rendered) return std::unexpected(rendered.error());
    if (s.form == output_form::json) *rendered += '\n';
    return write_standard_output(*rendered);
}

}  // namespace dump
