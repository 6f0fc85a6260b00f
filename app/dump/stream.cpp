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
#include "decode.hpp"
#include "der_listing.hpp"
#include "file_input/read_file.hpp"
#include "hint.hpp"
#include "summary.hpp"
#include "json.hpp"
#include "output/buffer.hpp"
#include "printed_texts.hpp"

namespace dump {

namespace {

// The text form as a formatter with the usual margin lays it out, followed by one line end, straight into
// the buffer: the text of a large state is never held whole beside the value it prints.
template <class T>
void write_printed(output::buffer& out, const T& v, void (*print_value)(quarvel::formatter&, const T&)) {
    if (out.error() != 0) return;  // nothing more is written after a failure
    quarvel::formatter f(out);
    print_value(f, v);
    f.line_end();
}

// The text form is the value's last use: its texts are made safe for a terminal where they lie.
void write_text(output::buffer& out, quarvel::state& v) {
    escape_printed_texts(v);
    write_printed(out, v, quarvel::pp_state);
}
void write_text(output::buffer& out, quarvel::cmd& v) {
    escape_printed_texts(v);
    write_printed(out, v, quarvel::pp_cmd);
}
void write_text(output::buffer& out, const quarvel::execution_record_view& v) { out.write(exec_summary(v)); }

// Where a frame begins, as the lines and messages of a capture name it.
struct frame_place {
    std::uint64_t number = 0, offset = 0;
    std::string text() const { return "frame " + std::to_string(number) + " at offset " + std::to_string(offset); }
};

// The start of a value's line of JSON: in a capture or a run over several FILEs, the object that holds the
// value opened, with its frame or FILE; says whether it did.
bool open_json_value(output::buffer& out, const frame_place* frame, const std::string* file) {
    const bool wrapped = frame != nullptr || file != nullptr;
    if (wrapped) out.put('{');
    if (file) {
        out.write("\"file\":");
        write_json_text(out, *file);
        out.put(',');
    }
    if (frame) {
        out.write("\"frame\":" + std::to_string(frame->number) + ",\"offset\":" + std::to_string(frame->offset) + ",");
    }
    if (wrapped) out.write("\"value\":");
    return wrapped;
}
void close_json_value(output::buffer& out, bool wrapped) {
    if (wrapped) out.put('}');
    out.put('\n');
}

// One value in the form the settings ask for; in a capture, with its frame line, its frame object or its
// length prefix; in a run over several FILEs (`file` set), its JSON object names the FILE. This is the
// value's last use: the text form changes its texts.
void write_value(output::buffer& out, const settings& s, value& decoded, const frame_place* frame,
                 const std::string* file) {
    std::visit(
        [&](auto& v) {
            switch (s.form) {
                case output_form::text:
                    if (frame) {
                        out.write(frame->text());
                        out.put('\n');
                    }
                    write_text(out, v);
                    return;
                case output_form::json: {
                    const bool wrapped = open_json_value(out, frame, file);
                    write_json(out, v, json_options{s.contents});
                    close_json_value(out, wrapped);
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

// A file's state, in the form the settings ask for, read again item by item: the bytes printed are those of
// the whole value (the items go into one formatter, with pp_state's separator, so its margin breaks the
// lines where it would break the whole list), while only one item is held at a time. False when the items
// stopped short, their octets changed since the check.
bool write_state_items(output::buffer& out, const settings& s, const quarvel::asn::checked_state& state,
                       const std::string* file) {
    using quarvel::state_item;
    bool whole = true;
    switch (s.form) {
        case output_form::text: {
            struct printed {
                const quarvel::asn::checked_state& items;
                bool& whole;
            };
            write_printed(out, printed{state, whole}, +[](quarvel::formatter& f, const printed& p) {
                bool first = true;
                p.whole = quarvel::asn::each_state_item(p.items, [&](state_item& item) {
                    if (!first) quarvel::asn::pp_state_separator(f);
                    first = false;
                    escape_printed_texts(item);
                    quarvel::pp_state_item(f, item);
                });
            });
            break;
        }
        case output_form::json: {
            const bool wrapped = open_json_value(out, nullptr, file);
            out.put('[');
            bool first = true;
            whole = quarvel::asn::each_state_item(state, [&](const state_item& item) {
                if (!first) out.put(',');
                first = false;
                write_json(out, item);
            });
            out.put(']');
            close_json_value(out, wrapped);
            break;
        }
        case output_form::encoding: {
            // The list's length is that of the items as they are written again, counted by the check: not
            // the file's, since a retired item is left out and an old form is written in the current one.
            out.write(quarvel::asn::state_header(state.encoded_items_size));
            std::string element;  // reused: no allocation per item once it is large enough
            whole = quarvel::asn::each_state_item(state, [&](const state_item& item) {
                element.clear();
                quarvel::asn::append_state_item(element, item);
                out.write(element);
            });
            break;
        }
    }
    return whole;
}

// What a broken record holds whole, in the form the settings ask for, then the place of its fault.
void write_salvage(output::buffer& out, const settings& s, const quarvel::asn::salvaged_record& record,
                   const refusal& fault, const std::string* file) {
    if (s.form == output_form::json) {
        if (file) {
            out.write("{\"file\":");
            write_json_text(out, *file);
            out.write(",\"value\":");
        }
        write_json(out, record, json_options{s.contents}, fault.offset, fault.path);
        if (file) out.put('}');
        out.put('\n');
        return;
    }
    out.write(salvage_summary(record));
    out.write("cut " + quarvel::asn::where(quarvel::asn::decode_error{{}, static_cast<std::size_t>(fault.offset), fault.path}) + "\n");
}

std::unexpected<file_fault> read_fault(std::string message) {
    std::string error = message;
    return std::unexpected(file_fault{true, std::move(message), std::move(error), std::nullopt, {}, false});
}
std::unexpected<file_fault> contents_fault(std::string message) {
    std::string error = message;
    return std::unexpected(file_fault{false, std::move(message), std::move(error), std::nullopt, {}, false});
}
// A decoder's refusal, after `before` (a frame's place) when there is one.
std::unexpected<file_fault> refused(const refusal& r, const std::string& before = {}) {
    return std::unexpected(file_fault{false, before + r.text(), before + r.message, r.offset, r.path, false});
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
file_result write_one(output::buffer& out, const settings& s, const std::string& file, const std::string* named) {
    if (s.kind == input_kind::der) {
        quarvel::result<void> listed;
        // Each walk of the listing reads the file from its start to its end, once: pages behind it go.
        auto read = file_input::with_whole_file(
            file,
            [&](std::string_view bytes, const file_input::prefix_done& done) {
                listed = list_der(out, bytes, listing_for(s, named), &done);
            },
            0);
        if (!read) return read_fault(std::move(read.error()));
        if (!listed) return contents_fault(std::move(listed.error()));
        return {};
    }
    // A state's decode may warn on standard error: what was written before it goes first.
    if (s.kind == input_kind::state) out.flush();
    // A record refers to the file's bytes: it is written while they are there.
    std::expected<void, refusal> written;
    quarvel::result<void> unchanged;
    std::string hint;  // what else the file reads as, when it is refused
    auto read = file_input::with_whole_file(file, [&](std::string_view bytes, const file_input::prefix_done&,
                                                      const file_input::source_check& source) {
        const auto refused_here = [&](refusal&& r) {
            if (s.salvage) write_salvage(out, s, quarvel::asn::salvage_exec(bytes), r, named);
            written = std::unexpected(std::move(r));
            hint = other_kind_hint(s.kind, bytes, file);
        };
        // Items that no longer read as the check read them are octets that changed under the mapping, as
        // those of a write that found its pages gone.
        int lost = 0;
        if (s.kind == input_kind::state) {
            // A large state is never held whole: checked whole, then written item by item.
            auto checked = check_state(bytes, s.form == output_form::encoding);
            if (!checked) return refused_here(std::move(checked.error()));
            if (!write_state_items(out, s, *checked, named)) lost = EFAULT;
        } else {
            auto decoded = decode(s.kind, bytes);
            if (!decoded) return refused_here(std::move(decoded.error()));
            write_value(out, s, *decoded, nullptr, named);
        }
        // A write straight from the file's pages that found them gone (EFAULT) is no failure of the output:
        // the file changed, and that is what is said.
        unchanged = source(lost != 0 ? lost : out.error());
        if (!unchanged && out.error() == EFAULT) out.restart();
    });
    if (!read) return read_fault(std::move(read.error()));
    if (!unchanged) return read_fault(std::move(unchanged.error()));
    if (!written) {
        auto fault = refused(written.error());
        fault.error().message += hint;
        fault.error().salvaged = s.salvage;
        return fault;
    }
    return {};
}

// Each frame is written as soon as it has been read and decoded; the first bad one ends the FILE, and an
// output that failed ends it too.
file_result write_frames(output::buffer& out, const settings& s, const std::string& file, const std::string* named) {
    const auto fd = file_input::open_file_or_stdin(file);
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
    while (out.error() == 0) {
        const auto next = next_frame(reader);
        const frame_place place{reader.frame_number, reader.frame_offset};
        if (!next) {
            if (!next.error().in_frame) return read_fault(file_input::file_failure(file, next.error().error_number));
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
            auto listed = list_der(out, reader.payload, how);
            if (!listed) return contents_fault(place.text() + ": " + listed.error());
            continue;
        }
        // A state's decode may warn on standard error: what was written before it goes first.
        if (s.kind == input_kind::state) out.flush();
        auto decoded = decode(s.kind, reader.payload, payload_offset);
        if (!decoded) return refused(decoded.error(), place.text() + ": ");
        write_value(out, s, *decoded, &place, named);
    }
    return {};
}

}  // namespace

file_result write_file(output::buffer& out, const settings& s, const std::string& file, const std::string* named) {
    return s.framed ? write_frames(out, s, file, named) : write_one(out, s, file, named);
}

}  // namespace dump
