#include "stream.hpp"

#include <cerrno>
#include <expected>
#include <unistd.h>
#include <variant>

#include <quarvel/asn.hpp>
#include <quarvel/format.hpp>
#include <quarvel/framing.hpp>
#include <quarvel/pp.hpp>
#include <der/element.hpp>

#include "capture.hpp"
#include "cli/read_file.hpp"
#include "cli/terminal_text.hpp"
#include "decode.hpp"
#include "der_listing.hpp"
#include "json.hpp"
#include "output.hpp"
#include "summary.hpp"

namespace dump {

namespace {

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
std::string text_of(const quarvel::execution_record_view& v) { return exec_summary(v); }

// Where a frame begins, as the lines and messages of a capture name it.
struct frame_place {
    std::uint64_t number = 0, offset = 0;
    std::string text() const { return "frame " + std::to_string(number) + " at offset " + std::to_string(offset); }
};

// One value in the form the settings ask for; in a capture, with its frame line, its frame object or its
// length prefix; in a run over several FILEs (`file` set), its JSON object names the FILE.
void write_value(output& out, const settings& s, const value& decoded, const frame_place* frame,
                 const std::string* file) {
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
                case output_form::json: {
                    const bool wrapped = frame != nullptr || file != nullptr;
                    if (wrapped) out.put('{');
                    if (file) {
                        out.write("\"file\":");
                        write_json_text(out, *file);
                        out.put(',');
                    }
                    if (frame) {
                        out.write("\"frame\":" + std::to_string(frame->number) +
                                  ",\"offset\":" + std::to_string(frame->offset) + ",");
                    }
                    if (wrapped) out.write("\"value\":");
                    write_json(out, v, json_options{s.contents});
                    if (wrapped) out.put('}');
                    out.put('\n');
                    return;
                }
                case output_form::encoding: {
                    const std::string bytes = encoding_of(decoded);
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

// Why a FILE's values stopped: its open or read failed, and the message names it ("NAME: REASON"), or its
// contents are at fault (a decoder's message, a bad frame's), and the message does not.
struct file_fault {
    bool read = false;
    std::string message;
};

using file_result = std::expected<void, file_fault>;

std::unexpected<file_fault> read_fault(std::string message) {
    return std::unexpected(file_fault{true, std::move(message)});
}
std::unexpected<file_fault> contents_fault(std::string message) {
    return std::unexpected(file_fault{false, std::move(message)});
}

// How a listing of elements is written for these settings: `named` is the FILE in a run over several.
der_listing listing_for(const settings& s, const std::string* named) {
    der_listing how;
    how.json = s.form == output_form::json;
    if (named) how.file = *named;
    return how;
}

// One value read from the whole file (a regular file is mapped, and a record's pages go as it is decoded),
// or the listing of its elements.
file_result write_one(output& out, const settings& s, const std::string& file, const std::string* named) {
    if (s.kind == input_kind::der) {
        der::tape headers;
        quarvel::result<void> listed;
        auto read = cli::with_whole_file(
            file, [&](std::string_view bytes) { listed = list_der(out, headers, bytes, listing_for(s, named)); });
        if (!read) return read_fault(std::move(read.error()));
        if (!listed) return contents_fault(std::move(listed.error()));
        return {};
    }
    // A state's decode may warn on standard error: what was written before it goes first.
    if (s.kind == input_kind::state) out.flush();
    // A record refers to the file's bytes: it is written while they are there.
    quarvel::result<void> written;
    auto read = cli::with_whole_file(file, [&](std::string_view bytes) {
        const auto decoded = decode(s.kind, bytes);
        if (!decoded) {
            written = std::unexpected(decoded.error());
            return;
        }
        write_value(out, s, *decoded, nullptr, named);
    });
    if (!read) return read_fault(std::move(read.error()));
    if (!written) return contents_fault(std::move(written.error()));
    return {};
}

// Each frame is written as soon as it has been read and decoded; the first bad one ends the FILE, and an
// output that failed ends it too.
file_result write_frames(output& out, const settings& s, const std::string& file, const std::string* named) {
    const auto fd = cli::open_file_or_stdin(file);
    if (!fd) return read_fault(fd.error());
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
    der::tape headers;  // for listings: its storage kept from one frame to the next
    while (out.error() == 0) {
        const auto next = next_frame(reader);
        const frame_place place{reader.frame_number, reader.frame_offset};
        if (!next) {
            if (!next.error().in_frame) return read_fault(cli::file_failure(file, next.error().error_number));
            return contents_fault(place.text() + ": " + next.error().message);
        }
        if (!*next) return {};
        // The payload follows the frame's length prefix.
        const std::uint64_t payload_offset = reader.frame_offset + quarvel::frame_prefix_size;
        if (s.kind == input_kind::der) {
            if (s.form == output_form::text) {
                out.write(place.text());
                out.put('\n');
            }
            der_listing how = listing_for(s, named);
            how.base = payload_offset;
            how.frame = reader.frame_number;
            auto listed = list_der(out, headers, reader.payload, how);
            if (!listed) return contents_fault(place.text() + ": " + listed.error());
            continue;
        }
        // A state's decode may warn on standard error: what was written before it goes first.
        if (s.kind == input_kind::state) out.flush();
        const auto decoded = decode(s.kind, reader.payload, payload_offset);
        if (!decoded) return contents_fault(place.text() + ": " + decoded.error());
        write_value(out, s, *decoded, &place, named);
    }
    return {};
}

// One FILE's values: `named` is the FILE in a run over several, null for one FILE alone.
file_result write_file(output& out, const settings& s, const std::string& file, const std::string* named) {
    return s.framed ? write_frames(out, s, file, named) : write_one(out, s, file, named);
}

quarvel::result<void> refuse_a_terminal(const settings& s) {
    if (s.form == output_form::encoding && ::isatty(STDOUT_FILENO) == 1)
        return std::unexpected(std::string("refusing to write binary data to a terminal"));
    return {};
}

// "==> NAME <==" as head and tail write it, after an empty line unless it is the first.
void write_heading(output& out, const std::string& file, bool first) {
    std::string heading = first ? "==> " : "\n==> ";
    cli::append_terminal_text(heading, file);
    heading += " <==\n";
    out.write(heading);
}

}  // namespace

bool streamed(const settings& s) { return s.framed || s.form == output_form::json || s.kind == input_kind::der; }

quarvel::result<void> run_streamed(const settings& s, const std::string& file) {
    if (auto refused = refuse_a_terminal(s); !refused) return refused;
    output out(STDOUT_FILENO);
    auto done = write_file(out, s, file, nullptr);
    // An output that failed is incomplete whatever the input held: that is said first, or, when the
    // reader went away, nothing is.
    if (auto written = out.finish(); !written) return written;
    // Decoders' messages may quote the input, and so may a frame's error line: as `run` says them.
    if (!done) return std::unexpected(cli::terminal_message(std::move(done.error().message)));
    return {};
}

quarvel::result<void> run_streamed(const settings& s, const std::vector<std::string>& files,
                                   const error_report& report) {
    if (auto refused = refuse_a_terminal(s); !refused) return refused;
    output out(STDOUT_FILENO);
    bool failed = false;
    for (std::size_t i = 0; i < files.size() && out.error() == 0; ++i) {
        const std::string& file = files[i];
        if (s.form == output_form::text) write_heading(out, file, i == 0);
        auto done = write_file(out, s, file, &file);
        if (done) continue;
        // The message follows what was written before it, this FILE's frames before a bad one included.
        out.flush();
        if (out.error() != 0) break;
        failed = true;
        // A read failure names its FILE already; the name quoted here is escaped whole, line feeds too.
        report(done.error().read ? std::move(done.error().message)
                                 : cli::terminal_text(file) + ": " + done.error().message);
    }
    if (auto written = out.finish(); !written) return written;
    // Each failure has been said; the status says there was one.
    if (failed) return std::unexpected(std::string());
    return {};
}

}  // namespace dump
