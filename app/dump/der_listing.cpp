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

// The reader lays a long octet dump out over several lines; a listing keeps each fault on one line, so
// every line feed and the indentation after it become one space.
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

}  // namespace

quarvel::result<void> list_der(output::buffer& out, der::tape& headers, std::string_view input, const der_listing& how) {
    const std::optional<der::reader_fault> fault = der::check_headers(headers, input);
    std::size_t end = 0;  // where the first element ends
    std::string line, preview;
    der::each_header(headers, [&](const der::header_view& h) {
        const der::element& e = h.value;
        const std::size_t contents_at = static_cast<std::size_t>(e.contents.data() - input.data());
        if (h.depth == 0) end = contents_at + e.contents.size();
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
            append_number(line, e.contents.size());
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
            append_number(line, e.contents.size());
            if (!preview.empty()) {
                line += ": ";
                line += preview;
            }
            line += '\n';
        }
        out.write(line);
    });
    if (fault) return fault_at(out, how, how.base + fault->offset, der::reader_message(*fault, input, dumped_octets));
    if (end < input.size()) return fault_at(out, how, how.base + end, "trailing bytes");
    return {};
}

}  // namespace dump
