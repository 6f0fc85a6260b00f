#include "stream.hpp"

#include <cerrno>
#include <unistd.h>
#include <variant>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/pp.hpp>
#include <quarvel_internal/releasing_decode.hpp>

#include "capture.hpp"
#include "cli/read_file.hpp"
#include "cli/terminal_text.hpp"
#include "json.hpp"
#include "output.hpp"
#include "summary.hpp"

namespace dump {

namespace {

using value = std::variant<quarvel::state, quarvel::cmd, quarvel::execution_record>;

// Decodes one value of the kind. A record tells `done` which prefixes of the bytes it holds copies of, so
// that a mapped file's pages can go as the decode goes on.
quarvel::result<value> decode(input_kind kind, std::string_view bytes, const cli::prefix_done& done) {
    const auto held = [](auto decoded) -> quarvel::result<value> {
        if (!decoded) return std::unexpected(std::move(decoded.error()));
        return value(std::move(*decoded));
    };
    switch (kind) {
        case input_kind::state: return held(quarvel::asn::state_of_str(bytes));
        case input_kind::exec: return held(quarvel::asn::exec_of_str_releasing(bytes, done));
        case input_kind::cmd: break;
    }
    return held(quarvel::asn::cmd_of_str(bytes));
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

std::string text_of(const quarvel::state& v) { return printed([&](quarvel::formatter& f) { quarvel::pp_state(f, v); }); }
std::string text_of(const quarvel::cmd& v) { return printed([&](quarvel::formatter& f) { quarvel::pp_cmd(f, v); }); }
std::string text_of(const quarvel::execution_record& v) { return exec_summary(v); }

std::string encoding_of(const quarvel::state& v) { return quarvel::asn::state_to_str(v); }
std::string encoding_of(const quarvel::cmd& v) { return quarvel::asn::cmd_to_str(v); }
std::string encoding_of(const quarvel::execution_record& v) { return quarvel::asn::exec_to_str(v); }

// Where a frame begins, as the lines and messages of a capture name it.
struct frame_place {
    std::uint64_t number = 0, offset = 0;
    std::string text() const { return "frame " + std::to_string(number) + " at offset " + std::to_string(offset); }
};

// One value in the form the settings ask for; in a capture, with its frame line, its frame object or its
// length prefix.
void write_value(output& out, const settings& s, const value& decoded, const frame_place* frame) {
    std::visit(
        [&](const auto& v) {
            switch (s.form) {
                case output_form::text:
                    if (frame) {
                        out.write(frame->text());
                        out.put('\n');
                    }
                    out.write(text_of(v));
                    return;
                case output_form::json:
                    if (frame) {
                        out.write("{\"frame\":" + std::to_string(frame->number) +
                                  ",\"offset\":" + std::to_string(frame->offset) + ",\"value\":");
                    }
                    write_json(out, v, json_options{s.contents});
                    if (frame) out.put('}');
                    out.put('\n');
                    return;
                case output_form::encoding: {
                    const std::string bytes = encoding_of(v);
                    if (frame) {
                        const auto prefix = quarvel::frame_prefix(static_cast<std::int64_t>(bytes.size()));
                        out.write(std::string_view(prefix.data(), prefix.size()));
                    }
                    out.write(bytes);
                    return;
                }
            }
        },
        decoded);
}

// One value read from the whole file (a regular file is mapped, and a record's pages go as it is decoded).
quarvel::result<void> write_one(output& out, const settings& s, const std::string& file) {
    quarvel::result<value> decoded = std::unexpected(std::string());
    auto read = cli::with_whole_file(file, [&](std::string_view bytes, const cli::prefix_done& done) {
        decoded = decode(s.kind, bytes, done);
    });
    if (!read) return read;
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    write_value(out, s, *decoded, nullptr);
    return {};
}

// Each frame is written as soon as it has been read and decoded; the first bad one ends the run, and so
// does an output that failed.
quarvel::result<void> write_frames(output& out, const settings& s, const std::string& file) {
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
    reader.before_read = [&] { out.flush(); };
    const cli::prefix_done keep_all = [](std::size_t) {};
    while (out.error() == 0) {
        const auto next = next_frame(reader);
        const frame_place place{reader.frame_number, reader.frame_offset};
        if (!next) {
            if (!next.error().in_frame) return std::unexpected(cli::file_failure(file, next.error().error_number));
            return std::unexpected(place.text() + ": " + next.error().message);
        }
        if (!*next) return {};
        // A state's decode may warn on standard error: what was written before it goes first.
        if (s.kind == input_kind::state) out.flush();
        const auto decoded = decode(s.kind, reader.payload, keep_all);
        if (!decoded) return std::unexpected(place.text() + ": " + decoded.error());
        write_value(out, s, *decoded, &place);
    }
    return {};
}

}  // namespace

bool streamed(const settings& s) { return s.framed || s.form == output_form::json; }

quarvel::result<void> run_streamed(const settings& s, const std::string& file) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    output out(STDOUT_FILENO);
    auto done = s.framed ? write_frames(out, s, file) : write_one(out, s, file);
    // An output that failed is incomplete whatever the input held: that is said first, or, when the
    // reader went away, nothing is.
    if (auto written = out.finish(); !written) return written;
    // Decoders' messages may quote the input, and so may a frame's error line: as `run` says them.
    if (!done) return std::unexpected(cli::terminal_message(std::move(done.error())));
    return done;
}

}  // namespace dump
