#include "der_listing.hpp"

#include <charconv>
#include <cstddef>
#include <string>

#include <der/element.hpp>
#include <der/primitives.hpp>

#include "json.hpp"
#include "text/terminal_text.hpp"

namespace dump {

namespace {

// Octets of contents a preview shows at most.
constexpr std::size_t text_preview = 40;
constexpr std::size_t hex_preview = 16;
// Octets of input a fault's message dumps at most: a fault in a huge input still makes a short line.
constexpr std::size_t dumped_octets = 64;

void append_number(std::string& out, std::uint64_t n) {
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}

// Where to cut `text` at most `limit` octets in: before a UTF-8 sequence that would be cut in half, when
// its lead octet is within reach.
std::size_t cut_at_character(std::string_view text, std::size_t limit) {
    for (std::size_t back = 0; back < 4 && back <= limit; ++back) {
        const auto octet = static_cast<unsigned char>(text[limit - back]);
        if ((octet & 0xC0) == 0x80) continue;
        return back > 0 && octet >= 0xC0 ? limit - back : limit;
    }
    return limit;
}

// The preview of a primitive's contents into `out` (left empty when there is none).
void make_preview(std::string& out, der::tag tag, std::string_view contents) {
    out.clear();
    if (contents.empty() || tag == der::tags::null) return;
    if (tag == der::tags::integer) {
        if (const auto n = der::read_integer(contents)) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, *n).ptr;
            out.append(digits, end);
            return;
        }
    } else if (tag == der::tags::utf8_string || tag == der::tags::utc_time || tag == der::tags::generalized_time) {
        const std::size_t shown = contents.size() <= text_preview ? contents.size()
                                                                  : cut_at_character(contents, text_preview);
        text::append_quoted_terminal_text(out, contents.substr(0, shown));
        if (shown < contents.size()) out += "...";
        return;
    }
    static constexpr char hex[] = "0123456789abcdef";
    const std::size_t shown = contents.size() < hex_preview ? contents.size() : hex_preview;
    for (std::size_t i = 0; i < shown; ++i) {
        const auto octet = static_cast<unsigned char>(contents[i]);
        out += hex[octet >> 4];
        out += hex[octet & 0x0F];
    }
    if (shown < contents.size()) out += "...";
}

// The start of a JSON object: "file" and "frame" first when there are, then "offset". The file's name
// is written straight to `out` (as any text is); the rest goes onto `line`, which is empty until then.
void open_object(output::buffer& out, std::string& line, const der_listing& how, std::uint64_t offset) {
    line += '{';
    if (how.file) {
        out.write("{\"file\":");
        write_json_text(out, *how.file);
        line = ",";
    }
    if (how.frame) {
        line += "\"frame\":";
        append_number(line, *how.frame);
        line += ',';
    }
    line += "\"offset\":";
    append_number(line, offset);
}

}  // namespace

std::string one_line(std::string message) {
    std::string out;
    out.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '\n') {
            out += message[i];
            continue;
        }
        out += ' ';
        while (i + 1 < message.size() && message[i + 1] == ' ') ++i;
    }
    return out;
}

namespace {

// The error line that ends a listing, and the error returned.
quarvel::result<void> fault_at(output::buffer& out, const der_listing& how, std::uint64_t offset, std::string message) {
    const std::string shown = text::terminal_message(one_line(std::move(message)));
    std::string line;
    if (how.json) {
        open_object(out, line, how, offset);
        line += ",\"error\":";
        out.write(line);
        write_json_text(out, shown);
        out.write("}\n");
    } else {
        append_number(line, offset);
        line += ": error: ";
        out.write(line);
        out.write(shown);
        out.put('\n');
    }
    std::string error = "at offset ";
    append_number(error, offset);
    error += ": ";
    error += shown;
    return std::unexpected(std::move(error));
}

// One element's line: `announced` is the length its header announces when the end of the input cuts it.
void write_element_line(output::buffer& out, const der_listing& how, const der::header_view& h,
                        std::optional<std::uint64_t> announced, std::string& line, std::string& preview) {
    const der::element& e = h.value;
    const bool constructed = e.form == der::form::constructed;
    if (constructed) preview.clear();
    else make_preview(preview, e.tag, e.contents);
    line.clear();
    if (how.json) {
        open_object(out, line, how, how.base + h.offset);
        line += ",\"depth\":";
        append_number(line, h.depth);
        line += ",\"tag\":\"";
        line += der::tag_text(e.tag);
        line += constructed ? "\",\"form\":\"constructed\",\"header\":" : "\",\"form\":\"primitive\",\"header\":";
        append_number(line, h.header_size);
        line += ",\"length\":";
        append_number(line, announced.value_or(e.contents.size()));
        if (announced) {
            line += ",\"cut\":";
            append_number(line, e.contents.size());
        }
        if (!preview.empty()) {
            line += ",\"preview\":";
            out.write(line);
            write_json_text(out, preview);
            line.clear();
        }
        line += "}\n";
    } else {
        append_number(line, how.base + h.offset);
        line += ": ";
        line.append(2 * h.depth, ' ');
        line += der::tag_text(e.tag);
        line += ' ';
        line += der::form_word(e.form);
        line += ", header ";
        append_number(line, h.header_size);
        line += ", length ";
        append_number(line, announced.value_or(e.contents.size()));
        if (announced) {
            line += ", cut: ";
            append_number(line, e.contents.size());
            line += " of ";
            append_number(line, *announced);
            line += " octets";
        }
        if (!preview.empty()) {
            line += ": ";
            line += preview;
        }
        line += '\n';
    }
    out.write(line);
}

}  // namespace

namespace {

// Tells `done` of each MiB that a walk over the input goes past.
struct walk_progress {
    const std::function<void(std::size_t)>* done;
    std::size_t next = step;
    static constexpr std::size_t step = std::size_t{1} << 20;

    void at(std::size_t offset) {
        if (done == nullptr || offset < next) return;
        (*done)(offset);
        next = offset + step;
    }
};

}  // namespace

quarvel::result<void> list_der(output::buffer& out, std::string_view input, const der_listing& how,
                               const std::function<void(std::size_t)>* done) {
    std::string line, preview;
    std::size_t end = 0;  // where the first element ends
    const auto list_one = [&](const der::header_view& h, std::optional<std::uint64_t> announced) {
        const der::element& e = h.value;
        if (h.depth == 0) end = static_cast<std::size_t>(e.contents.data() - input.data()) + e.contents.size();
        write_element_line(out, how, h, announced, line, preview);
    };
    const auto after_element = [&]() -> quarvel::result<void> {
        if (end < input.size()) return fault_at(out, how, how.base + end, "trailing bytes");
        return {};
    };
    // Whether the end cuts the input's element is told by its first header alone: cut short itself, or
    // announcing more contents than follow it. Either way the input is listed as its headers are read, in
    // one walk that holds only the elements open.
    const der::header_start root = der::read_header_start(input);
    const bool ends_inside = root.fault ? root.fault == der::header_fault::index_out_of_bounds
                                        : root.fields.length > input.size() - root.fields.size;
    walk_progress listing{done};
    if (!ends_inside) {
        const std::optional<der::reader_fault> fault = der::walk_headers(input, [&](const der::header_view& h) {
            listing.at(h.offset);
            list_one(h, std::nullopt);
        });
        if (fault) return fault_at(out, how, how.base + fault->offset, der::reader_message(*fault, input, dumped_octets));
        return after_element();
    }
    // Each element the end cuts is marked; the cut is said at the innermost one, with the reader's message.
    const std::optional<der::cut_site> cut =
        der::walk_to_cut(input, [&](const der::header_view& h, std::optional<std::uint64_t> announced) {
            listing.at(h.offset);
            list_one(h, announced);
        });
    const std::optional<der::reader_fault> fault = der::first_fault(input);
    return fault_at(out, how, how.base + cut->offset, der::reader_message(*fault, input, dumped_octets));
}

}  // namespace dump
